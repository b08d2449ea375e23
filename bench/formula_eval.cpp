// What computing the formulas before saving adds to a report run. Each report is run with and
// without the computation, alternately in the same process, and the ratio of the totals is
// printed:
//   growing       the peers' growing-table template: 100,000 records, two totals (SUM);
//   growing+rows  the same table with two formulas per row (ROUND, IF) and totals by SUM,
//                 COUNTIF, AVERAGE, SUMIF and MAX under it;
//   grouped       100,000 records in three levels (region, customer, order) with SUBTOTAL
//                 footers on every level, a grand SUBTOTAL and a SUM over all the footers.
// The computed totals are checked against the database.
//
// Usage: formula_eval [N] [repeats]          (defaults 100000 and 3)
//        formula_eval --recalc FILE [K [save]]  only the computation of FILE's formulas, K times
//                                               (and K saves with and without it)
// Environment: TABRIX_PEERS_DIR (default /work/shared/peers) for make_data.py and
// make_template.py; FORMULA_BENCH_WORK (default $TMPDIR/tabrix-formula-eval).
#include <sqlite3.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "xlsx/formula_recalculation.h"
#include "xlsx/xlsx_application.h"
#include "xlsx/xlsx_workbook.h"
#include "tabrix/tabrix.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace tabrix;

std::string Env(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// CPU time of the process: steadier than the wall clock on a shared machine.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

bool RunPython(const std::string& script, const std::string& arguments) {
  return std::system(("/usr/bin/python3 " + script + " " + arguments + " >/dev/null").c_str()) == 0;
}

// Templates beyond the peers' one, written with openpyxl.
constexpr const char* kTemplates = R"PY(
import sys
from openpyxl import Workbook

def growing(path):
    wb = Workbook()
    ws = wb.active
    ws.title = "Sales"
    ws["A1"] = "Sales report"
    for col, name in enumerate(["Region", "Customer", "Order", "Date", "Product", "Qty", "Price",
                                "Amount", "Check", "Size"], start=1):
        ws.cell(4, col, name)
    for r in (5, 6):
        ws["I%d" % r] = "=ROUND(F%d*G%d,2)" % (r, r)
        ws["J%d" % r] = '=IF(H%d>5000,"large","")' % r
    ws["A7"] = "TOTAL"
    ws["F7"] = "=SUM(F5:F6)"
    ws["H7"] = "=SUM(H5:H6)"
    ws["I7"] = "=SUM(I5:I6)"
    ws["J7"] = '=COUNTIF(J5:J6,"large")'
    ws["H8"] = "=AVERAGE(H5:H6)"
    ws["H9"] = '=SUMIF(A5:A6,"Region A",H5:H6)'
    ws["H10"] = "=MAX(H5:H6)"
    wb.save(path)

def grouped(path):
    wb = Workbook()
    ws = wb.active
    ws.title = "Report"
    ws["A1"] = "Sales by region, customer and order"
    ws["A3"] = "[region]"
    ws["B4"] = "[customer]"
    ws["C5"] = "[order]"
    ws["D5"] = "[date]"
    for col, text in zip("EFGH", ["[product]", "[qty]", "[price]", "[amount]"]):
        ws["%s6" % col] = text
    ws["C7"] = "Order total"
    ws["I7"] = "=SUBTOTAL(9,H6:H7)"
    ws["B8"] = "Customer total"
    ws["I8"] = "=SUBTOTAL(9,H4:H8)"
    ws["A9"] = "Region total"
    ws["I9"] = "=SUBTOTAL(9,H3:H9)"
    ws["A11"] = "Grand total"
    ws["I11"] = "=SUBTOTAL(9,H3:H10)"
    ws["I12"] = "=SUM(I3:I10)/3"
    wb.save(path)

growing(sys.argv[1])
grouped(sys.argv[2])
)PY";

struct Scenario {
  std::string name;
  std::string templatePath;
  std::function<void(RecordsetPtr, WorksheetPtr)> fill;
  std::string sheet;
  std::int32_t totalRowOffset;  // row of the checked total = offset + records
  std::int32_t totalColumn;
};

struct Timing {
  double total = 0, save = 0, cpu = 0, cpuSave = 0, cpuEval = 0;
};

Timing RunOnce(const Scenario& s, long n, const std::string& database, const std::string& output,
               bool compute, double* checkedTotal) {
  const auto start = Clock::now();
  const double cpuStart = CpuSeconds();
  // The computation, when asked for, runs and is timed on its own before SaveAs.
  platform::ApplicationSettings settings;
  settings.Recalculate = false;
  auto application = platform::CreateSpreadsheetApplication(settings);
  auto workbook = application->OpenWorkbook(s.templatePath, true);
  WorksheetPtr sheet = workbook->WorksheetByName(s.sheet);
  auto connection = platform::CreateConnection();
  connection->Open("Provider=SQLite;Data Source=" + database, "", "");
  RecordsetPtr records = platform::CreateRecordset();
  records->Open(
      "SELECT region, customer, order_no, order_date, product, qty, price, amount FROM sales "
      "ORDER BY id",
      connection);
  s.fill(records, sheet);
  const auto saving = Clock::now();
  const double cpuSaving = CpuSeconds();
  Timing t;
  if (compute) {
    // The computation SaveAs does first, timed on its own.
    xlsx::RecalculateFormulas(*dynamic_cast<xlsx::XlsxWorkbook*>(workbook.get()));
    t.cpuEval = CpuSeconds() - cpuSaving;
  }
  workbook->SaveAs(output, std::nullopt);
  t.save = Seconds(saving);
  t.total = Seconds(start);
  t.cpuSave = CpuSeconds() - cpuSaving;
  t.cpu = CpuSeconds() - cpuStart;
  if (checkedTotal)
    *checkedTotal = sheet->GetValue(s.totalRowOffset + static_cast<std::int32_t>(n), s.totalColumn).Number();
  return t;
}

double DatabaseSum(const std::string& database) {
  sqlite3* db = nullptr;
  double sum = 0;
  if (sqlite3_open(database.c_str(), &db) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT SUM(amount) FROM sales", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
      sum = sqlite3_column_double(statement, 0);
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return sum;
}

// Row of the grand total after a grouped fill: below the last filled row.
std::int32_t FindGrandTotalRow(WorksheetPtr sheet) {
  for (std::int32_t row = 1; row < platform::kMaxRows; ++row) {
    Variant v = sheet->GetValue(row, 1);
    if (v.IsText() && v.Text() == "Grand total") return row;
  }
  return 0;
}

}  // namespace

// formula_eval --recalc FILE [K]: only the computation, K times over the formulas of FILE.
int RecalculateFile(const std::string& path, int times, bool save) {
  auto application = platform::CreateSpreadsheetApplication();
  auto workbook = application->OpenWorkbook(path, true);
  auto* book = dynamic_cast<xlsx::XlsxWorkbook*>(workbook.get());
  for (int i = 0; i < times; ++i) {
    const auto start = Clock::now();
    xlsx::RecalculationSummary summary = xlsx::RecalculateFormulas(*book);
    std::printf("%zu formulas computed in %.3f s, %zu left to the reader\n", summary.computed,
                Seconds(start), summary.leftToReader);
  }
  // Saving the same workbook with and without the computation.
  if (!save) return 0;
  const std::string output = (fs::temp_directory_path() / "tabrix-formula-eval-resave.xlsx").string();
  for (int i = 0; i < times; ++i) {
    for (bool compute : {false, true}) {
      dynamic_cast<xlsx::XlsxApplication&>(*application).Settings().Recalculate = compute;
      const auto start = Clock::now();
      workbook->SaveAs(output, std::nullopt);
      std::printf("save %s: %.3f s\n", compute ? "with computation" : "without", Seconds(start));
    }
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--recalc")
    return RecalculateFile(argv[2], argc > 3 ? std::atoi(argv[3]) : 3,
                           argc > 4 && std::string(argv[4]) == "save");
  const long n = argc > 1 ? std::atol(argv[1]) : 100000;
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const std::string peers = Env("TABRIX_PEERS_DIR", "/work/shared/peers");
  const fs::path work = Env("FORMULA_BENCH_WORK", (fs::temp_directory_path() / "tabrix-formula-eval").string());
  fs::create_directories(work);
  const std::string database = (work / ("sales_" + std::to_string(n) + ".db")).string();
  const std::string peerTemplate = (work / "peer_template.xlsx").string();
  const std::string rowsTemplate = (work / "growing_rows.xlsx").string();
  const std::string groupTemplate = (work / "grouped.xlsx").string();
  if (!fs::exists(database)) RunPython(peers + "/make_data.py", std::to_string(n) + " " + work.string());
  RunPython(peers + "/make_template.py", peerTemplate);
  {
    const fs::path script = work / "make_templates.py";
    std::FILE* file = std::fopen(script.c_str(), "w");
    if (file) {
      std::fputs(kTemplates, file);
      std::fclose(file);
    }
    RunPython(script.string(), rowsTemplate + " " + groupTemplate);
  }
  if (!fs::exists(database) || !fs::exists(peerTemplate) || !fs::exists(groupTemplate)) {
    std::fprintf(stderr, "cannot prepare the data and templates in %s\n", work.c_str());
    return 1;
  }
  const double expected = DatabaseSum(database);

  auto growingFill = [](const std::string& range) {
    return [range](RecordsetPtr records, WorksheetPtr sheet) {
      Tabrix().VarTableReport(records, sheet, std::string("A5,B5,C5,D5,E5,F5,G5,H5"), range,
                              static_cast<std::int16_t>(range.empty() ? 0 : 1), std::int16_t{2});
    };
  };
  auto groupedFill = [](RecordsetPtr records, WorksheetPtr sheet) {
    Tabrix().GroupTableReport(records, sheet, std::string("A3,B4,C5,D5,E6,F6,G6,H6"),
                              std::string(), std::int16_t{0}, std::string(), std::string(),
                              std::int16_t{0}, std::string("region"), std::string("A3:I9"),
                              std::string("customer"), std::string("A4:I8"),
                              std::string("order_no,order_date"), std::string("A5:I7"));
  };
  std::vector<Scenario> scenarios = {
      {"growing", peerTemplate, growingFill(""), "Sales", 5, 8},
      {"growing+rows", rowsTemplate, growingFill("A5:J5"), "Sales", 5, 8},
      {"grouped", groupTemplate, groupedFill, "Report", 0, 9},
  };

  std::printf("formula computation before saving, %ld records, best of %d runs each way\n", n, repeats);
  std::printf("(off: formulas left to the reader; on: computed and stored; CPU time of the process,\n"
              " wall clock in brackets)\n");
  std::printf("%-13s | %17s %17s | %17s %17s | %7s %7s | %s\n", "report", "run off", "save off",
              "run on", "save on", "added", "(wall)", "check");
  for (Scenario& s : scenarios) {
    Timing bestOff, bestOn;
    double total = 0;
    try {
      for (int i = 0; i < repeats; ++i) {
        const std::string output = (work / ("out_" + s.name + ".xlsx")).string();
        Timing off = RunOnce(s, n, database, output, false, nullptr);
        if (s.totalRowOffset == 0) {
          // The grouped report's grand total row depends on the groups: find it once.
          auto application = platform::CreateSpreadsheetApplication();
          auto book = application->OpenWorkbook(output, true);
          s.totalRowOffset = FindGrandTotalRow(book->WorksheetByName(s.sheet)) - static_cast<std::int32_t>(n);
        }
        Timing on = RunOnce(s, n, database, output, true, &total);
        if (i == 0 || off.cpu < bestOff.cpu) bestOff = off;
        if (i == 0 || on.cpu < bestOn.cpu) bestOn = on;
      }
    } catch (const AutomationError& e) {
      std::fprintf(stderr, "%s: %s (%s)\n", s.name.c_str(), e.Description().c_str(), e.HexNumber().c_str());
      return 1;
    }
    const bool right = std::fabs(total - expected) <= 1e-9 * std::fabs(expected);
    std::printf("%-13s | %6.3fs (%6.3fs) %6.3fs (%6.3fs) | %6.3fs (%6.3fs) %6.3fs (%6.3fs) | %6.1f%% %6.1f%% | "
                "total %.2f %s\n",
                s.name.c_str(), bestOff.cpu, bestOff.total, bestOff.cpuSave, bestOff.save, bestOn.cpu,
                bestOn.total, bestOn.cpuSave, bestOn.save, (bestOn.cpu / bestOff.cpu - 1) * 100,
                (bestOn.total / bestOff.total - 1) * 100, total, right ? "= database" : "WRONG");
    std::printf("%-13s   of which computing the formulas %.3fs CPU\n", "", bestOn.cpuEval);
    std::fflush(stdout);
  }

  // What the computation covered, from one more grouped and growing+rows run.
  for (const Scenario& s : {scenarios[1], scenarios[2]}) {
    auto application = platform::CreateSpreadsheetApplication();
    auto workbook = application->OpenWorkbook(s.templatePath, true);
    WorksheetPtr sheet = workbook->WorksheetByName(s.sheet);
    auto connection = platform::CreateConnection();
    connection->Open("Provider=SQLite;Data Source=" + database, "", "");
    RecordsetPtr records = platform::CreateRecordset();
    records->Open("SELECT region, customer, order_no, order_date, product, qty, price, amount "
                  "FROM sales ORDER BY id",
                  connection);
    s.fill(records, sheet);
    auto* book = dynamic_cast<xlsx::XlsxWorkbook*>(workbook.get());
    const auto start = Clock::now();
    xlsx::RecalculationSummary summary = xlsx::RecalculateFormulas(*book);
    std::printf("%-13s: %zu formulas computed in %.3f s, %zu left to the reader\n", s.name.c_str(),
                summary.computed, Seconds(start), summary.leftToReader);
  }
  return 0;
}
