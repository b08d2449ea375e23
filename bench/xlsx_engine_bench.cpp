// Benchmarks of the native workbook engine.
//
//   xlsx_engine_bench write [cells]     cells written into a sheet and saved to .xlsx; peak memory
//   xlsx_engine_bench insert [records]  single-row insertions into a growing table with a formula
//                                       on every row (as the grouped report inserts per record),
//                                       shown at 1/4, 1/2 and all of the records
//   xlsx_engine_bench pictures [records] the same with a merged pair and a picture per record
//   xlsx_engine_bench texts [rounds]    1,000 cells given a new text each round (a long fill that
//                                       replaces texts): string table size and peak memory
//   xlsx_engine_bench open [rows]       a rows x 8 workbook (numbers, texts, a formula column)
//                                       written in a child process, then opened: time and peak
//                                       memory of the open alone
//
// Each run prints a baseline measured in the same run: zlib (level 1) compression of the saved
// sheet XML for `write`, and for `insert` the time of the same loop without the insertions.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "xlsx/xlsx_workbook.h"
#include "tabrix/platform/spreadsheet.h"

using namespace tabrix;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU time of the process: the machine is shared, so wall-clock time shows other work too.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

std::string TempFile(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("tabrix-bench-" + std::to_string(::getpid()) + "-" + name)).string();
}

int Write(long cells) {
  const int columns = 10;
  const long rows = cells / columns;
  auto application = platform::CreateSpreadsheetApplication();
  auto book = xlsx::XlsxWorkbook::CreateBlank(application, "Data");
  auto sheet = book->WorksheetAt(1);
  auto start = Clock::now();
  double cpuStart = CpuSeconds();
  // Half numbers, a date, texts from a list of 5000 names and one unique text per row.
  for (long r = 1; r <= rows; ++r) {
    auto row = static_cast<std::int32_t>(r);
    sheet->SetValue(row, 1, Variant(static_cast<double>(r)));
    sheet->SetValue(row, 2, Variant("customer " + std::to_string(r % 5000)));
    sheet->SetValue(row, 3, Variant(r * 0.25));
    sheet->SetValue(row, 4, Variant::Date(45000 + static_cast<double>(r % 365)));
    sheet->SetValue(row, 5, Variant("order " + std::to_string(r)));
    sheet->SetValue(row, 6, Variant(static_cast<double>(r % 97)));
    sheet->SetValue(row, 7, Variant(r % 2 == 0));
    sheet->SetValue(row, 8, Variant(r * 1.5));
    sheet->SetValue(row, 9, Variant("region " + std::to_string(r % 12)));
    sheet->SetValue(row, 10, Variant(static_cast<double>(r) / 7));
  }
  double fill = Seconds(start);
  double fillCpu = CpuSeconds() - cpuStart;
  std::string path = TempFile("write.xlsx");
  auto saveStart = Clock::now();
  double saveCpuStart = CpuSeconds();
  book->SaveAs(path, 51);
  double save = Seconds(saveStart);
  double saveCpu = CpuSeconds() - saveCpuStart;
  double total = fill + save;
  auto size = std::filesystem::file_size(path);
  // Baseline: compressing the saved sheet XML alone (what any .xlsx writer must at least do).
  std::string xml = xlsx::ReadZipFile(path).data["xl/worksheets/sheet1.xml"];
  std::filesystem::remove(path);
  auto baselineStart = Clock::now();
  double baselineCpuStart = CpuSeconds();
  uLongf bound = compressBound(static_cast<uLong>(xml.size()));
  std::string compressed(bound, '\0');
  compress2(reinterpret_cast<Bytef*>(compressed.data()), &bound, reinterpret_cast<const Bytef*>(xml.data()),
            static_cast<uLong>(xml.size()), 1);
  double baseline = Seconds(baselineStart);
  double baselineCpu = CpuSeconds() - baselineCpuStart;

  std::printf("write: %ld cells (%ld rows x %d columns)\n", rows * columns, rows, columns);
  std::printf("  wall: fill %.3f s, save %.3f s, total %.3f s -> %.0f cells/s written and saved\n", fill, save,
              total, rows * columns / total);
  std::printf("  cpu:  fill %.3f s, save %.3f s, total %.3f s -> %.0f cells/s written and saved\n", fillCpu,
              saveCpu, fillCpu + saveCpu, rows * columns / (fillCpu + saveCpu));
  std::printf("  file %.1f MB, sheet XML %.1f MB\n", size / 1e6, xml.size() / 1e6);
  std::printf("  baseline: zlib level 1 of the sheet XML %.3f s wall, %.3f s cpu; save / baseline = %.2f (cpu)\n",
              baseline, baselineCpu, saveCpu / baselineCpu);
  std::printf("  peak memory %.0f MB\n", PeakMegabytes());
  return 0;
}

int Insert(int records) {
  auto application = platform::CreateSpreadsheetApplication();
  auto book = xlsx::XlsxWorkbook::CreateBlank(application, "Data");
  auto& sheet = dynamic_cast<xlsx::XlsxWorksheet&>(*book->WorksheetAt(1));
  // Template: header row 4, block row 5 with a formula, reserved row 6, total row 7.
  sheet.SetValue(4, 1, Variant("Item"));
  sheet.SetFormula(5, 4, "B5*C5");
  sheet.SetFormula(6, 4, "B6*C6");
  sheet.SetFormula(7, 4, "SUM(D5:D6)");
  sheet.SetFormula(7, 5, "D7/2");
  const platform::CellRect block{5, 1, 5, 4};
  auto run = [&](bool insert, int from, int to) {
    auto start = Clock::now();
    for (int i = from; i < to; ++i) {
      std::int32_t row = 6 + i;  // the new record goes below the previous one
      if (insert) {
        sheet.InsertCells(platform::CellRect{row, 1, row, platform::kMaxColumns}, platform::kShiftDown);
        sheet.CopyCells(block, row, 1);
      }
      sheet.SetValue(row, 1, Variant("item"));
      sheet.SetValue(row, 2, Variant(static_cast<double>(i)));
      sheet.SetValue(row, 3, Variant(2.0));
    }
    return Seconds(start);
  };
  std::printf("insert: %d single-row insertions, each followed by a copy of the record block\n", records);
  double elapsed = 0;
  int done = 0;
  for (int mark : {records / 4, records / 2, records}) {
    elapsed += run(true, done, mark);
    done = mark;
    std::printf("  after %6d insertions: %.3f s (%.1f us per insertion)\n", mark, elapsed, elapsed * 1e6 / mark);
  }
  std::printf("  total formula text: D%d = %s\n", 7 + records, sheet.GetFormula(7 + records, 4).c_str());
  auto other = xlsx::XlsxWorkbook::CreateBlank(application, "Data");
  double baseline = 0;
  {
    auto& plain = dynamic_cast<xlsx::XlsxWorksheet&>(*other->WorksheetAt(1));
    auto start = Clock::now();
    for (int i = 0; i < records; ++i) {
      plain.SetValue(6 + i, 1, Variant("item"));
      plain.SetValue(6 + i, 2, Variant(static_cast<double>(i)));
      plain.SetValue(6 + i, 3, Variant(2.0));
    }
    baseline = Seconds(start);
  }
  std::printf("  baseline: the same values written without insertions %.3f s\n", baseline);
  std::string path = TempFile("insert.xlsx");
  auto saveStart = Clock::now();
  book->SaveAs(path, 51);
  std::printf("  save %.3f s; peak memory %.0f MB\n", Seconds(saveStart), PeakMegabytes());
  std::filesystem::remove(path);
  return 0;
}

// A grouped-report-like loop where every record also merges two cells and gets a picture.
int Pictures(int records) {
  auto application = platform::CreateSpreadsheetApplication();
  auto book = xlsx::XlsxWorkbook::CreateBlank(application, "Data");
  auto& sheet = dynamic_cast<xlsx::XlsxWorksheet&>(*book->WorksheetAt(1));
  // A 4x4 PNG (filter bytes and RGB pixels, deflated by zlib).
  std::string picture = TempFile("pixel.png");
  {
    std::string raw;
    for (int y = 0; y < 4; ++y) raw += std::string(1, '\0') + std::string(12, '\x7f');
    uLongf bound = compressBound(static_cast<uLong>(raw.size()));
    std::string idat(bound, '\0');
    compress2(reinterpret_cast<Bytef*>(idat.data()), &bound, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), 9);
    idat.resize(bound);
    auto chunk = [](const std::string& type, const std::string& data) {
      std::string out;
      std::uint32_t length = static_cast<std::uint32_t>(data.size());
      for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>(length >> (8 * i)));
      out += type + data;
      std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(out.data() + 4), static_cast<uInt>(out.size() - 4)));
      for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>(crc >> (8 * i)));
      return out;
    };
    std::string header("\0\0\0\x04\0\0\0\x04\x08\x02\0\0\0", 13);
    std::string png = "\x89PNG\r\n\x1a\n" + chunk("IHDR", header) + chunk("IDAT", idat) + chunk("IEND", "");
    FILE* f = std::fopen(picture.c_str(), "wb");
    std::fwrite(png.data(), 1, png.size(), f);
    std::fclose(f);
  }
  sheet.SetFormula(5, 4, "B5*C5");
  sheet.Merge(platform::CellRect{5, 5, 5, 6});
  sheet.SetFormula(7, 4, "SUM(D5:D6)");
  const platform::CellRect block{5, 1, 5, 6};
  std::printf("pictures: %d records, each an inserted row, a block copy with a merged pair and a picture\n", records);
  auto start = Clock::now();
  double cpuStart = CpuSeconds();
  int done = 0;
  for (int mark : {records / 4, records / 2, records}) {
    for (int i = done; i < mark; ++i) {
      std::int32_t row = 6 + i;
      sheet.InsertCells(platform::CellRect{row, 1, row, platform::kMaxColumns}, platform::kShiftDown);
      sheet.CopyCells(block, row, 1);
      sheet.SetValue(row, 2, Variant(static_cast<double>(i)));
      auto shape = sheet.AddPicture(picture, false, true, sheet.CellLeft(7), sheet.CellTop(row), 10, 10);
      shape->ScaleHeight(1, true);
      shape->ScaleWidth(1, true);
      shape->SetPlacement(platform::kPlacementMove);
    }
    done = mark;
    std::printf("  after %6d records: %.3f s wall, %.3f s cpu (%.1f us cpu per record)\n", mark, Seconds(start),
                CpuSeconds() - cpuStart, (CpuSeconds() - cpuStart) * 1e6 / mark);
  }
  std::string path = TempFile("pictures.xlsx");
  double saveStart = CpuSeconds();
  book->SaveAs(path, 51);
  std::printf("  save %.3f s cpu; merged areas %zu; peak memory %.0f MB\n", CpuSeconds() - saveStart,
              sheet.Merges().size(), PeakMegabytes());
  std::filesystem::remove(path);
  std::filesystem::remove(picture);
  return 0;
}

}  // namespace

int Texts(long rounds) {
  auto application = platform::CreateSpreadsheetApplication();
  auto book = xlsx::XlsxWorkbook::CreateBlank(application, "Data");
  auto sheet = book->WorksheetAt(1);
  const int cells = 1000;
  auto start = Clock::now();
  std::size_t largest = 0;
  for (long round = 0; round < rounds; ++round) {
    for (int i = 1; i <= cells; ++i)
      sheet->SetValue(i, 1, Variant("text " + std::to_string(round) + " of cell " + std::to_string(i)));
    largest = std::max(largest, book->Strings().Size());
  }
  double elapsed = Seconds(start);
  std::printf("texts: %d cells given a new text %ld times (%ld texts)\n", cells, rounds, cells * rounds);
  std::printf("  %.3f s (%.2f us per text); string table at most %zu entries, %zu at the end; peak memory %.0f MB\n",
              elapsed, elapsed * 1e6 / (cells * rounds), largest, book->Strings().Size(), PeakMegabytes());
  return 0;
}

// Opening a large workbook: the writer runs in a child process, so the peak memory reported is
// the open's own.
int Open(long rows) {
  std::string path = TempFile("open.xlsx");
  const pid_t child = ::fork();
  if (child == 0) {
    auto application = platform::CreateSpreadsheetApplication();
    auto book = xlsx::XlsxWorkbook::CreateBlank(application, "Data");
    auto& sheet = dynamic_cast<xlsx::XlsxWorksheet&>(*book->WorksheetAt(1));
    for (long r = 1; r <= rows; ++r) {
      auto row = static_cast<std::int32_t>(r);
      sheet.SetValue(row, 1, Variant(static_cast<double>(r)));
      sheet.SetValue(row, 2, Variant("customer " + std::to_string(r % 5000)));
      sheet.SetValue(row, 3, Variant("order " + std::to_string(r)));
      sheet.SetValue(row, 4, Variant::Date(45000 + static_cast<double>(r % 365)));
      sheet.SetValue(row, 5, Variant(static_cast<double>(r % 97)));
      sheet.SetValue(row, 6, Variant(r * 0.25));
      sheet.SetValue(row, 7, Variant("region " + std::to_string(r % 12)));
      const std::string digits = std::to_string(r);
      sheet.SetFormula(row, 8, "E" + digits + "*F" + digits, Variant((r % 97) * (r * 0.25)));
    }
    book->SaveAs(path, 51);
    std::_Exit(0);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "writing the workbook failed\n");
    return 1;
  }
  const double before = PeakMegabytes();
  auto application = platform::CreateSpreadsheetApplication();
  auto start = Clock::now();
  double cpuStart = CpuSeconds();
  auto book = application->OpenWorkbook(path, true);
  double open = Seconds(start);
  double openCpu = CpuSeconds() - cpuStart;
  auto sheet = book->WorksheetAt(1);
  const auto last = static_cast<std::int32_t>(rows);
  const bool right = sheet->GetValue(last, 3).Text() == "order " + std::to_string(rows) &&
                     sheet->CellFormula(last, 8).value_or("") == "=E" + std::to_string(rows) + "*F" + std::to_string(rows);
  std::printf("open: %ld rows x 8 columns (numbers, texts, dates, a formula column), file %.1f MB\n", rows,
              std::filesystem::file_size(path) / 1e6);
  std::printf("  open %.3f s wall, %.3f s cpu; peak memory %.0f MB (%.0f MB before the open); last row %s\n", open,
              openCpu, PeakMegabytes(), before, right ? "read back" : "WRONG");
  std::filesystem::remove(path);
  return right ? 0 : 1;
}

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "write";
  if (mode == "write") return Write(argc > 2 ? std::atol(argv[2]) : 1000000);
  if (mode == "insert") return Insert(argc > 2 ? std::atoi(argv[2]) : 20000);
  if (mode == "pictures") return Pictures(argc > 2 ? std::atoi(argv[2]) : 20000);
  if (mode == "texts") return Texts(argc > 2 ? std::atol(argv[2]) : 5000);
  if (mode == "open") return Open(argc > 2 ? std::atol(argv[2]) : 1000000);
  std::fprintf(stderr, "usage: %s write [cells] | insert [records] | pictures [records] | texts [rounds] | open [rows]\n", argv[0]);
  return 2;
}
