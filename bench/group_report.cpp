// Grouped report benchmark: records in three levels (region, customer, order; a header and a
// footer row on every level, footer totals as formulas) filled from SQLite into the native .xlsx
// engine and saved. Prints the phases for each record count, the time per record, and as a
// baseline measured in the same run the same records filled without groups (one insertion and
// one AutoFill for the whole table, so only the values are written per record).
//
// Each template variant adds what real templates carry (a formula referring below the table,
// conditional formats and a hyperlink on header rows, a merged cell and a validation on the
// record row, an array formula on another sheet, records going right, a page break per group, a
// chart over the table, a picture per record, or the first four together). Time grows linearly
// with the record count when the microseconds per record stay level. CPU time is printed beside
// the wall time: on a shared machine it is the steadier of the two.
//
// Usage: group_report [--variant V]... [--repeat K] [--limit S] [--work DIR] [N ...]
//        (defaults: every variant, K = 1, S = 60, N = 10000 50000 100000; "right" runs N / 10)
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cpu_time.h"
#include "tabrix/tabrix.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace tabrix;

namespace {

constexpr const char* kSelect =
    "SELECT region, customer, order_no, order_date, product, qty, price, amount FROM sales "
    "ORDER BY id";
constexpr const char* kSelectPictures =
    "SELECT region, customer, order_no, order_date, product, qty, price, amount,"
    " 'picture.png' AS image FROM sales ORDER BY id";

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
    throw std::runtime_error(std::string("sqlite: ") + sqlite3_errmsg(db));
}

// Deterministic sales: 20 regions, 50 customers each, 1-4 orders per customer, 1-10 lines per
// order, cycling until n lines exist; rows come ordered by region, customer and order.
void MakeSales(const std::string& path, int n) {
  fs::remove(path);
  sqlite3* db = nullptr;
  Check(sqlite3_open(path.c_str(), &db), db);
  Check(sqlite3_exec(db,
                     "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
                     "CREATE TABLE sales(id INTEGER, region TEXT, customer TEXT, order_no INTEGER,"
                     " order_date TEXT, product TEXT, qty INTEGER, price REAL, amount REAL);"
                     "BEGIN;",
                     nullptr, nullptr, nullptr),
        db);
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT INTO sales VALUES (?,?,?,?,?,?,?,?,?)", -1, &insert, nullptr),
        db);
  std::uint32_t seed = 20240601;
  auto next = [&](int lo, int hi) {
    seed = seed * 1664525u + 1013904223u;
    return lo + static_cast<int>((seed >> 8) % static_cast<std::uint32_t>(hi - lo + 1));
  };
  int id = 0, orderNo = 100000;
  for (int cycle = 0; id < n; ++cycle) {
    for (int r = 0; r < 20 && id < n; ++r) {
      const std::string region = std::string("Region ") + static_cast<char>('A' + r);
      for (int c = 0; c < 50 && id < n; ++c) {
        char customer[64];
        std::snprintf(customer, sizeof customer, "Customer %c%02d-%d", 'A' + r, c + 1, cycle);
        for (int o = next(1, 4); o > 0 && id < n; --o) {
          ++orderNo;
          char date[16];
          std::snprintf(date, sizeof date, "2023-%02d-%02d", next(1, 12), next(1, 28));
          for (int l = next(1, 10); l > 0 && id < n; --l) {
            ++id;
            const int qty = next(1, 50);
            const double price = next(100, 50000) / 100.0;
            char product[32];
            std::snprintf(product, sizeof product, "Product %03d", next(1, 200));
            sqlite3_bind_int(insert, 1, id);
            sqlite3_bind_text(insert, 2, region.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 3, customer, -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(insert, 4, orderNo);
            sqlite3_bind_text(insert, 5, date, -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 6, product, -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(insert, 7, qty);
            sqlite3_bind_double(insert, 8, price);
            sqlite3_bind_double(insert, 9, std::round(qty * price * 100.0) / 100.0);
            Check(sqlite3_step(insert), db);
            sqlite3_reset(insert);
          }
        }
      }
    }
  }
  sqlite3_finalize(insert);
  Check(sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr), db);
  sqlite3_close(db);
}

// Writes the template with openpyxl (the system Python): region / customer / order / line, a
// header and a footer row on every level, footer totals that grow with the rows inserted into
// them. The variant decorates it the way real templates are:
//   row 3  region header     A3 [region]
//   row 4  customer header   B4 [customer]
//   row 5  order header      C5 [order]  D5 [date]
//   row 6  line              E6 [product]  F6 [qty]  G6 [price]  H6 [amount]
//   row 7  order footer      C7 "Order total"     I7 =SUM(H6:H7)
//   row 8  customer footer   B8 "Customer total"  I8 =SUM(H4:H8)
//   row 9  region footer     A9 "Region total"    I9 =SUM(H3:H9)
//   row 11 A11 "Grand total" I11 =SUM(H3:H10)
// "right" is the same template turned: levels are columns and records go right.
constexpr const char* kTemplateScript = R"PY(
import sys

from openpyxl import Workbook
from openpyxl.chart import BarChart, Reference
from openpyxl.formatting.rule import CellIsRule
from openpyxl.styles import Font, PatternFill
from openpyxl.worksheet.datavalidation import DataValidation


def main():
    out, variant = sys.argv[1], sys.argv[2]
    picture = sys.argv[3] if len(sys.argv) > 3 else ""
    decorations = set(variant.split("+"))
    if "decorated" in decorations:
        decorations |= {"below", "headers", "merged", "array"}
    wb = Workbook()
    ws = wb.active
    ws.title = "Report"
    ws["A1"] = "Sales by region, customer and order"
    ws["A1"].font = Font(bold=True, size=14)
    header = PatternFill("solid", fgColor="FFDDEBF7")
    if "right" in decorations:
        # Turned: A3 region, B4 customer, C5 order / C6 date, D7..D10 the line fields.
        ws["C1"] = "[region]"
        ws["D2"] = "[customer]"
        ws["E3"] = "[order]"
        ws["E4"] = "[date]"
        for row, text in zip(range(5, 9), ["[product]", "[qty]", "[price]", "[amount]"]):
            ws.cell(row=row, column=6, value=text)
        ws["G3"] = "Order total"
        ws["H2"] = "Customer total"
        ws["I1"] = "Region total"
        ws["K1"] = "Grand total"
        ws["G9"] = "=SUM(F8:G8)"
        ws["H9"] = "=SUM(D8:H8)"
        ws["I9"] = "=SUM(C8:I8)"
        ws["K9"] = "=SUM(C8:J8)"
        wb.save(out)
        return
    ws["A3"] = "[region]"
    ws["B4"] = "[customer]"
    ws["C5"] = "[order]"
    ws["D5"] = "[date]"
    for col, text in zip("EFGH", ["[product]", "[qty]", "[price]", "[amount]"]):
        ws[f"{col}6"] = text
    if "pictures" in decorations:
        ws["D6"] = "[image]"
    ws["G6"].number_format = "#,##0.00"
    ws["H6"].number_format = "#,##0.00"
    ws["C7"] = "Order total"
    ws["B8"] = "Customer total"
    ws["A9"] = "Region total"
    ws["A11"] = "Grand total"
    ws["I7"] = "=SUM(H6:H7)"
    ws["I8"] = "=SUM(H4:H8)"
    ws["I9"] = "=SUM(H3:H9)"
    ws["I11"] = "=SUM(H3:H10)"
    for row in (3, 4, 5):
        for col in "ABCDEFGHI":
            ws[f"{col}{row}"].fill = header
    for row in (7, 8, 9, 11):
        ws[f"A{row}"].font = Font(bold=True)
        ws[f"I{row}"].number_format = "#,##0.00"
    if "below" in decorations:
        # The line's share of the grand total, below the table.
        ws["I6"] = "=H6/$I$11"
        ws["I6"].number_format = "0.00%"
    if "headers" in decorations:
        red = PatternFill("solid", fgColor="FFFFC7CE")
        ws.conditional_formatting.add("A3:I3", CellIsRule(operator="equal", formula=['"Region A"'], fill=red))
        ws.conditional_formatting.add("B4:I4", CellIsRule(operator="greaterThan", formula=["$I$11"], fill=red))
        ws["I3"].hyperlink = "#Report!A11"
    if "merged" in decorations:
        ws.merge_cells("B6:D6")
        validation = DataValidation(type="list", formula1='"1,2,3,4,5,10,20,50"', allow_blank=True)
        ws.add_data_validation(validation)
        validation.add("F6")
    if "array" in decorations:
        summary = wb.create_sheet("Summary")
        summary["A1"] = "Largest line"
        summary["B1"] = "=MAX(Report!H3:H10*1)"
        summary.formula_attributes["B1"] = {"t": "array", "ref": "B1"}
    if "chart" in decorations:
        chart = BarChart()
        chart.add_data(Reference(ws, min_col=8, min_row=3, max_row=10), titles_from_data=False)
        chart.set_categories(Reference(ws, min_col=5, min_row=3, max_row=10))
        ws.add_chart(chart, "K3")
    if picture:
        from PIL import Image
        Image.new("RGB", (8, 8), (200, 40, 40)).save(picture)
    wb.save(out)


if __name__ == "__main__":
    main()
)PY";

void MakeTemplate(const fs::path& work, const std::string& templatePath, const std::string& variant,
                  const std::string& picture) {
  const fs::path script = work / "make_group_template.py";
  {
    std::FILE* file = std::fopen(script.c_str(), "w");
    if (!file) throw std::runtime_error("cannot write " + script.string());
    std::fputs(kTemplateScript, file);
    std::fclose(file);
  }
  const std::string command = "/usr/bin/python3 '" + script.string() + "' '" + templatePath + "' '" +
                              variant + "'" + (picture.empty() ? "" : " '" + picture + "'");
  if (std::system(command.c_str()) != 0) throw std::runtime_error("cannot make the template: " + command);
}

struct Timing {
  double open = 0, query = 0, fill = 0, save = 0;
  double cpu = 0;  // CPU seconds of the whole run
  double Total() const { return open + query + fill + save; }
};

Timing RunReport(const std::string& templatePath, const std::string& database,
                 const std::string& output, const std::string& variant, bool grouped) {
  const bool right = variant == "right";
  const bool pictures = variant == "pictures";
  Timing timing;
  const double cpuStart = CpuSeconds();
  auto start = Clock::now();
  auto application = platform::CreateSpreadsheetApplication();
  auto workbook = application->OpenWorkbook(templatePath, true);
  WorksheetPtr sheet = workbook->WorksheetByName("Report");
  timing.open = Seconds(start);

  start = Clock::now();
  auto connection = platform::CreateConnection();
  connection->Open("Provider=SQLite;Data Source=" + database, "", "");
  RecordsetPtr recordset = platform::CreateRecordset();
  recordset->Open(pictures ? kSelectPictures : kSelect, connection);
  timing.query = Seconds(start);

  start = Clock::now();
  Tabrix tabrix;
  if (!grouped) {
    // Every field on the line row, no groups: the whole table is one insertion and one fill.
    tabrix.GroupTableReport(recordset, sheet, std::string("A6,B6,C6,D6,E6,F6,G6,H6"));
  } else if (right) {
    tabrix.GroupTableReport(recordset, sheet, std::string("C1,D2,E3,E4,F5,F6,F7,F8"),
                            std::string(), std::int16_t{1}, std::string(), std::string(),
                            std::int16_t{0}, std::string("region"), std::string("C1:I9"),
                            std::string("customer"), std::string("D2:H9"),
                            std::string("order_no,order_date"), std::string("E3:G9"));
  } else {
    const std::string cells = pictures ? "A3,B4,C5,D5,E6,F6,G6,H6,D6" : "A3,B4,C5,D5,E6,F6,G6,H6";
    const std::string pageBreak = variant == "pagebreak" ? "1G2" : "";
    tabrix.GroupTableReport(recordset, sheet, cells, std::string(), std::int16_t{0},
                            std::string(pictures ? "image" : ""), pageBreak, std::int16_t{0},
                            std::string("region"), std::string("A3:I9"), std::string("customer"),
                            std::string("A4:I8"), std::string("order_no,order_date"),
                            std::string("A5:I7"));
  }
  timing.fill = Seconds(start);

  start = Clock::now();
  workbook->SaveAs(output, std::nullopt);
  timing.save = Seconds(start);
  timing.cpu = CpuSeconds() - cpuStart;
  return timing;
}

// The fastest of `repeat` runs (and the least CPU time of them): the machine is shared, so
// single runs are noisy.
Timing BestOf(int repeat, const std::string& templatePath, const std::string& database,
              const std::string& output, const std::string& variant, bool grouped) {
  Timing best;
  for (int i = 0; i < repeat; ++i) {
    const Timing timing = RunReport(templatePath, database, output, variant, grouped);
    const double cpu = i == 0 ? timing.cpu : std::min(best.cpu, timing.cpu);
    if (i == 0 || timing.Total() < best.Total()) best = timing;
    best.cpu = cpu;
  }
  return best;
}

const std::vector<std::string> kVariants = {"plain",  "below", "headers", "merged",   "array",
                                            "right",  "pagebreak", "chart", "pictures", "decorated"};

}  // namespace

int main(int argc, char** argv) {
  int repeat = 1;
  double limit = 60;
  fs::path work = fs::temp_directory_path() / "tabrix-bench-group";
  std::vector<int> counts;
  std::vector<std::string> variants;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--work" && i + 1 < argc)
      work = argv[++i];
    else if (arg == "--repeat" && i + 1 < argc)
      repeat = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--limit" && i + 1 < argc)
      limit = std::atof(argv[++i]);
    else if (arg == "--variant" && i + 1 < argc)
      variants.push_back(argv[++i]);
    else
      counts.push_back(std::atoi(arg.c_str()));
  }
  if (counts.empty()) counts = {10000, 50000, 100000};
  if (variants.empty()) variants = kVariants;
  fs::create_directories(work);

  std::printf("grouped report: 3 levels with header and footer rows, footer totals as formulas;"
              " best of %d runs; larger counts skipped once a run takes over %.0f s\n",
              repeat, limit);
  std::printf("%-10s %8s | %6s %6s %6s %6s %7s | %8s %9s %8s | %7s\n", "variant", "records", "open",
              "query", "fill", "save", "total", "us/rec", "fill us/r", "cpu us/r", "flat");
  for (const std::string& variant : variants) {
    // Each variant runs in a process of its own, so that the heap the previous variants left
    // behind does not shape its timings.
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) {
      std::perror("fork");
      return 1;
    }
    if (child > 0) {
      int status = 0;
      waitpid(child, &status, 0);
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
      continue;
    }
    const std::string templatePath = (work / ("group_template_" + variant + ".xlsx")).string();
    MakeTemplate(work, templatePath, variant,
                 variant == "pictures" ? (work / "picture.png").string() : std::string());
    struct PerRecord {
      int records;
      double wall, cpu;  // microseconds per record
    };
    std::vector<PerRecord> perRecord;
    bool skipping = false;
    for (int n : counts) {
      // The sheet has 16,384 columns: records going right stop at 10,000.
      const int records = variant == "right" ? std::max(1, n / 10) : n;
      if (skipping) {
        std::printf("%-10s %8d | skipped (the previous count took over %.0f s)\n", variant.c_str(),
                    records, limit);
        continue;
      }
      const std::string database = (work / ("sales_" + std::to_string(records) + ".db")).string();
      if (!fs::exists(database)) MakeSales(database, records);
      try {
        const Timing grouped =
            BestOf(repeat, templatePath, database,
                   (work / ("grouped_" + variant + ".xlsx")).string(), variant, true);
        double flat = 0;
        if (variant == "plain")
          flat = BestOf(repeat, templatePath, database, (work / "flat.xlsx").string(), variant, false)
                     .Total();
        std::printf("%-10s %8d | %6.2f %6.2f %6.2f %6.2f %7.2f | %8.2f %9.2f %8.2f | %7.2f\n",
                    variant.c_str(), records, grouped.open, grouped.query, grouped.fill,
                    grouped.save, grouped.Total(), grouped.Total() / records * 1e6,
                    grouped.fill / records * 1e6, grouped.cpu / records * 1e6, flat);
        std::fflush(stdout);
        perRecord.push_back(
            PerRecord{records, grouped.Total() / records * 1e6, grouped.cpu / records * 1e6});
        if (grouped.Total() > limit) skipping = true;
      } catch (const AutomationError& e) {
        std::fprintf(stderr, "%s, %d records: %s (%s)\n", variant.c_str(), records,
                     e.Description().c_str(), e.HexNumber().c_str());
        std::fflush(stdout);
        _exit(1);
      }
    }
    if (perRecord.size() >= 2)
      std::printf("%-10s growth %d -> %d: %.2fx us/record (CPU time %.2fx)\n", variant.c_str(),
                  perRecord.front().records, perRecord.back().records,
                  perRecord.back().wall / perRecord.front().wall,
                  perRecord.back().cpu / perRecord.front().cpu);
    std::fflush(stdout);
    _exit(0);
  }
  return 0;
}
