// Cost of the formats written and read through LibreOffice, against the engine's own .xlsx save
// of the same workbook measured in the same run. A small and a large workbook separate
// LibreOffice's fixed start-up cost from the work that grows with the data.
//
// Usage: office_conversion_bench [rows]   (default 20000 rows of 6 columns for the large one)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "cpu_time.h"
#include "xlsx/xlsx_workbook.h"
#include "tabrix/platform/spreadsheet.h"

using namespace tabrix;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::shared_ptr<platform::Workbook> MakeWorkbook(std::int32_t rows) {
  auto application = platform::CreateSpreadsheetApplication();
  auto book = xlsx::XlsxWorkbook::CreateBlank(application, "Data");
  auto sheet = book->WorksheetAt(1);
  sheet->SetValue(1, 1, Variant("Region"));
  for (std::int32_t r = 2; r <= rows + 1; ++r) {
    sheet->SetValue(r, 1, Variant("Region " + std::to_string(r % 17)));
    for (std::int32_t c = 2; c <= 6; ++c) sheet->SetValue(r, c, Variant(r * 1.25 + c));
  }
  return book;
}

struct Measure {
  double wall, cpu;
};

Measure Time(const std::function<void()>& step) {
  double cpu = CpuSeconds();
  auto start = Clock::now();
  step();
  return {Seconds(start), CpuSeconds() - cpu};
}

}  // namespace

int main(int argc, char** argv) {
  const std::int32_t largeRows = argc > 1 ? std::atoi(argv[1]) : 20000;
  fs::path folder = fs::temp_directory_path() / ("office-bench-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  std::printf("%-28s %8s %10s %9s %10s %9s\n", "workbook / format", "rows", "wall s", "x xlsx", "cpu s", "x xlsx");
  for (std::int32_t rows : {10, largeRows}) {
    auto book = MakeWorkbook(rows);
    const std::string tag = std::to_string(rows);
    Measure native = Time([&] { book->SaveAs((folder / ("native" + tag + ".xlsx")).string(), 51); });
    std::printf("%-28s %8d %10.3f %9s %10.3f %9s\n", ".xlsx (engine, baseline)", rows, native.wall, "1", native.cpu,
                "1");
    struct Target {
      const char* label;
      std::int32_t code;
      const char* extension;
    };
    for (Target target : {Target{".xls  (LibreOffice)", 56, "xls"}, Target{".ods  (LibreOffice)", 60, "ods"},
                          Target{".pdf  (LibreOffice)", 57, "pdf"}}) {
      std::string path = (folder / ("report" + tag + "." + target.extension)).string();
      Measure m = Time([&] { book->SaveAs(path, target.code); });
      std::printf("%-28s %8d %10.3f %9.0f %10.3f %9.0f\n", target.label, rows, m.wall, m.wall / native.wall, m.cpu,
                  m.cpu / native.cpu);
    }
    // Reading the .xls back as a template, against opening the engine's own .xlsx.
    auto application = platform::CreateSpreadsheetApplication();
    Measure openNative =
        Time([&] { application->OpenWorkbook((folder / ("native" + tag + ".xlsx")).string(), true); });
    Measure openXls = Time([&] { application->OpenWorkbook((folder / ("report" + tag + ".xls")).string(), true); });
    std::printf("%-28s %8d %10.3f %9s %10.3f %9s\n", "open .xlsx (engine)", rows, openNative.wall, "1",
                openNative.cpu, "1");
    std::printf("%-28s %8d %10.3f %9.0f %10.3f %9.0f\n", "open .xls (LibreOffice)", rows, openXls.wall,
                openXls.wall / openNative.wall, openXls.cpu, openXls.cpu / openNative.cpu);
  }
  std::error_code error;
  fs::remove_all(folder, error);
  return 0;
}
