// PDF reports through one long-lived OfficeConverter against the same reports with one
// LibreOffice process per conversion, side by side in one run; the .xlsx run of the same report
// is the baseline that the conversion's cost is measured against.
//
// Usage: converter_bench [reports] [rows]   (default 40 reports of 200 rows, run one after another)
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cpu_time.h"
#include "tabrix/office_converter.h"
#include "tabrix/platform/spreadsheet.h"
#include "tabrix/report_run.h"
#include "xlsx/xlsx_workbook.h"

using namespace tabrix;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

// CPU seconds used so far by the processes of the given groups (the converter's LibreOffice
// processes are not reaped by this process, so their time is read while they run).
double GroupCpuSeconds(const std::vector<int>& groups) {
  double ticks = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    if (!std::isdigit(entry.path().filename().string()[0])) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::size_t paren = text.rfind(')');
    if (paren == std::string::npos) continue;
    std::istringstream fields(text.substr(paren + 2));
    std::string field;
    std::vector<std::string> values;
    while (fields >> field && values.size() < 15) values.push_back(field);
    if (values.size() < 15) continue;
    int group = std::atoi(values[2].c_str());
    for (int g : groups)
      if (g == group) ticks += std::atof(values[11].c_str()) + std::atof(values[12].c_str());
  }
  return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

void Execute(const std::string& database, const std::string& sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open(database.c_str(), &db) != SQLITE_OK || sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr))
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db)), std::exit(1);
  sqlite3_close(db);
}

struct Measure {
  double wall = 0, cpu = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const int reports = argc > 1 ? std::atoi(argv[1]) : 40;
  const int rows = argc > 2 ? std::atoi(argv[2]) : 200;
  fs::path folder = fs::temp_directory_path() / ("converter-bench-" + std::to_string(::getpid()));
  fs::create_directories(folder / "out");

  std::string sql = "CREATE TABLE sales (region TEXT, units INTEGER, amount REAL); BEGIN;";
  for (int r = 0; r < rows; ++r)
    sql += "INSERT INTO sales VALUES ('Region " + std::to_string(r % 17) + "', " + std::to_string(r) + ", " +
           std::to_string(r * 1.25) + ");";
  Execute((folder / "sales.db").string(), sql + "COMMIT;");
  {
    auto book = xlsx::XlsxWorkbook::CreateBlank(platform::CreateSpreadsheetApplication(), "Sales");
    auto sheet = book->WorksheetAt(1);
    sheet->SetValue(1, 1, Variant("Sales by region"));
    sheet->SetValue(3, 1, Variant("Region"));
    sheet->SetValue(3, 2, Variant("Units"));
    sheet->SetValue(3, 3, Variant("Amount"));
    book->SaveAs((folder / "sales.xlsx").string(), 51);
  }
  auto definition = [&](const char* type) {
    fs::path path = folder / (std::string(type) + ".def");
    std::ofstream(path, std::ios::binary)
        << "Foliowright Version 2.0\r\n[Data Source]\r\nName1=Main\r\n"
           "ConnectionString1=Provider=SQLite;Data Source=sales.db\r\n[File]\r\n"
           "ReportTemplateFileName=sales.xlsx\r\nReportFileName=out\\report\r\nReportFileType="
        << type << "\r\n[SQL]\r\n@sales=REPORT(SHEET=Sales RESERVE=1 CELL=A4,B4,C4) "
                   "SELECT region, units, amount FROM sales ORDER BY region, units\r\n";
    return path.string();
  };
  const std::string xlsxDefinition = definition("xlOpenXMLWorkbook"), pdfDefinition = definition("xlTypePDF");
  RunOptions options;

  // Runs the reports one after another; false when one failed.
  auto runAll = [&](const std::string& def, const char* extension, const char* tag, Measure& measure) {
    const double cpu = CpuSeconds();
    const auto start = Clock::now();
    for (int i = 0; i < reports; ++i) {
      options.ReportFile = (folder / "out" / (std::string(tag) + std::to_string(i) + "." + extension)).string();
      RunResult result = RunReport(def, {}, options);
      if (!result.Succeeded()) {
        std::fprintf(stderr, "%s report %d: %s\n", tag, i, result.Error.Description.c_str());
        return false;
      }
    }
    measure.wall = std::chrono::duration<double>(Clock::now() - start).count() / reports;
    measure.cpu = (CpuSeconds() - cpu) / reports;
    return true;
  };

  Measure xlsxRun, singleRun, converterRun;
  bool ok = runAll(xlsxDefinition, "xlsx", "xlsx", xlsxRun) && runAll(pdfDefinition, "pdf", "single", singleRun);
  if (ok) {
    // The converter's start (LibreOffice and its profile) is part of the batch's cost.
    const double cpu = CpuSeconds();
    const auto start = Clock::now();
    options.Converter = OfficeConverter::Create();
    Measure runs;
    ok = runAll(pdfDefinition, "pdf", "converter", runs);
    const double libreOfficeCpu = GroupCpuSeconds(options.Converter->ProcessGroups());
    options.Converter.reset();
    converterRun.wall = std::chrono::duration<double>(Clock::now() - start).count() / reports;
    converterRun.cpu = (CpuSeconds() - cpu + libreOfficeCpu) / reports;
  }
  if (ok) {
    std::printf("%d reports of %d rows, one after another; seconds per report\n", reports, rows);
    std::printf("%-34s %10s %10s %14s %14s\n", "run", "wall", "cpu", "conv. wall", "conv. cpu");
    std::printf("%-34s %10.3f %10.3f %14s %14s\n", ".xlsx (engine, baseline)", xlsxRun.wall, xlsxRun.cpu, "-", "-");
    const double singleWall = singleRun.wall - xlsxRun.wall, singleCpu = singleRun.cpu - xlsxRun.cpu;
    const double batchWall = converterRun.wall - xlsxRun.wall, batchCpu = converterRun.cpu - xlsxRun.cpu;
    std::printf("%-34s %10.3f %10.3f %14.3f %14.3f\n", ".pdf, one LibreOffice per report", singleRun.wall,
                singleRun.cpu, singleWall, singleCpu);
    std::printf("%-34s %10.3f %10.3f %14.3f %14.3f\n", ".pdf, one OfficeConverter", converterRun.wall,
                converterRun.cpu, batchWall, batchCpu);
    std::printf("conversion per report, converter / single: wall %.3f, cpu %.3f\n", batchWall / singleWall,
                batchCpu / singleCpu);
  }
  std::error_code error;
  fs::remove_all(folder, error);
  return ok ? 0 : 1;
}
