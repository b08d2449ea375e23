// The grouped fill with planned runs (one insertion and one fill per run of records within a
// group) against the record-by-record fill, on decorated templates: every part of the two saved
// packages must be the same, and the planned fill must have made fewer insertions where it runs.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fixtures/office_tools.h"
#include "fixtures/report_files.h"
#include "group/counting_sheet.h"
#include "tabrix/tabrix.h"

namespace tabrix {
namespace {

using namespace testing;

// Three customers with three orders each, of 1 to 4 lines, and a picture (taller than a row) per
// line.
std::string SalesLines() {
  std::string sql =
      "CREATE TABLE lines(customer TEXT, order_no INTEGER, item TEXT, qty INTEGER, amount REAL,"
      " photo TEXT);";
  int order = 0, line = 0;
  for (int c = 1; c <= 3; ++c)
    for (int o = 1; o <= 3; ++o) {
      ++order;
      for (int l = 0; l <= (c + o) % 4; ++l, ++line)
        sql += "INSERT INTO lines VALUES ('C" + std::to_string(c) + "', " + std::to_string(order) +
               ", 'i" + std::to_string(line) + "', " + std::to_string(line % 3 + 1) + ", " +
               std::to_string(line * 2.5) + ", 'p.png');";
    }
  return sql;
}

// Lists the parts that differ between two packages, each with its first differing text.
constexpr const char* kComparePackages = R"PY(
import sys, zipfile
a, b = zipfile.ZipFile(sys.argv[1]), zipfile.ZipFile(sys.argv[2])
names = sorted(set(a.namelist()) | set(b.namelist()))
for name in names:
    x = a.read(name) if name in a.namelist() else b"<missing>"
    y = b.read(name) if name in b.namelist() else b"<missing>"
    if x != y:
        i = next((k for k in range(min(len(x), len(y))) if x[k] != y[k]), min(len(x), len(y)))
        print(name, x[max(0, i - 80):i + 80], "|", y[max(0, i - 80):i + 80])
)PY";

struct TemplateCase {
  const char* name;
  const char* templateName;
  const char* cellList;
  const char* range;
  std::int16_t fillOrder;
  const char* imageList;
  const char* pageBreak;
  std::array<const char*, 4> groups;
  bool planned;  // the planned fill makes fewer insertions
};

const TemplateCase kVariants[] = {
    {"orders", "orders.xlsx", "A3,B4,C5,D5,E5", "", 0, "", "", {"customer", "A3:F7", "order_no", "A4:F6"}, true},
    {"decorated", "orders_decorated.xlsx", "A3,B4,C5,D5,E5", "A5:G5", 0, "", "",
     {"customer", "A3:G7", "order_no", "A4:G6"}, true},
    {"page breaks", "orders_decorated.xlsx", "A3,B4,C5,D5,E5", "A5:G5", 0, "", "3,1G2",
     {"customer", "A3:G7", "order_no", "A4:G6"}, true},
    {"range fill", "orders_decorated.xlsx", "A3,B4,C5,D5,E5", "A5:G5", 2, "", "",
     {"customer", "A3:G7", "order_no", "A4:G6"}, true},
    {"right", "orders_right.xlsx", "C1,D2,E3,E4,E5", "", 1, "", "1G1", {"customer", "C1:G6", "order_no", "D1:F6"}, true},
    // Refused: a line formula reaching outside its row, and pictures.
    {"outside", "orders_outside.xlsx", "A3,B4,C5,D5,E5", "A5:G5", 0, "", "",
     {"customer", "A3:G7", "order_no", "A4:G6"}, false},
    {"pictures", "orders.xlsx", "A3,B4,C5,D5,E5,F5", "", 0, "photo", "", {"customer", "A3:F7", "order_no", "A4:F6"}, false},
};

class PlannedFill : public ::testing::TestWithParam<TemplateCase> {
 protected:
  static void SetUpTestSuite() {
    RunPython(ReadTextFile(std::string(TABRIX_SOURCE_DIR) + "/tests/group/make_group_templates.py"),
              {folder_->Path()});
    ExecuteSql(folder_->File("sales.db"), SalesLines());
    MakePng(folder_->File("p.png"), 300, 300);
  }

  struct Result {
    std::string saved;
    int inserts = 0;
    std::vector<std::pair<std::int32_t, std::int32_t>> progress;
  };

  static Result Fill(const TemplateCase& v, bool byRecord) {
    if (byRecord)
      setenv("TABRIX_GROUP_FILL_BY_RECORD", "1", 1);
    else
      unsetenv("TABRIX_GROUP_FILL_BY_RECORD");
    OpenedTemplate opened = OpenTemplate(folder_->File(v.templateName), "Report");
    // The pictures move and size with their cells and reach over the rows below their own.
    if (*v.imageList) opened.Sheet->SetValue(5, 6, Variant(std::string("MAS")));
    auto sheet = std::make_shared<group_test::CountingSheet>(opened.Sheet);
    ProgressRecorder progress;
    Tabrix tabrix;
    tabrix.SetEventSink(&progress);
    std::int16_t fillOrder = v.fillOrder;
    tabrix.GroupTableReport(
        OpenRecordset(folder_->File("sales.db"), std::string("SELECT customer, order_no, item, qty, amount") +
                                                     (*v.imageList ? ", photo" : "") + " FROM lines ORDER BY rowid"),
        sheet, std::string(v.cellList), std::string(v.range), fillOrder, std::string(v.imageList),
        std::string(v.pageBreak), std::int16_t{0}, std::string(v.groups[0]), std::string(v.groups[1]),
        std::string(v.groups[2]), std::string(v.groups[3]));
    unsetenv("TABRIX_GROUP_FILL_BY_RECORD");
    Result result{folder_->File(std::string(byRecord ? "by_record_" : "planned_") + v.templateName),
                  sheet->inserts, progress.Calls};
    opened.Workbook->SaveAs(result.saved, std::nullopt);
    return result;
  }

  static inline std::unique_ptr<TempFolder> folder_ = std::make_unique<TempFolder>("tabrix-group-plan");
};

TEST_P(PlannedFill, SavesWhatTheRecordByRecordFillSaves) {
  const TemplateCase& v = GetParam();
  const Result byRecord = Fill(v, true);
  const Result planned = Fill(v, false);
  EXPECT_EQ(RunPython(kComparePackages, {byRecord.saved, planned.saved}), "");
  EXPECT_EQ(planned.progress, byRecord.progress);
  if (v.planned)
    EXPECT_LT(planned.inserts, byRecord.inserts);
  else
    EXPECT_EQ(planned.inserts, byRecord.inserts);
}

INSTANTIATE_TEST_SUITE_P(Templates, PlannedFill, ::testing::ValuesIn(kVariants),
                         [](const ::testing::TestParamInfo<TemplateCase>& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (c == ' ') c = '_';
                           return name;
                         });

}  // namespace
}  // namespace tabrix
