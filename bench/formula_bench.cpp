// Throughput of formula reference moving and number formatting, each against a baseline
// measured in the same run (copying the same texts; printf of the same numbers).
//
// Usage: formula_bench [formulas]   (default 200000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "xlsx/formula_references.h"
#include "xlsx/number_format/number_format.h"

using namespace tabrix::xlsx;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

volatile std::size_t sink = 0;

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 200000;
  // Formulas as a report template has them: row totals, running sums, lookups, sheet-qualified.
  std::vector<std::string> formulas;
  formulas.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const int r = 5 + i;
    switch (i % 4) {
      case 0: formulas.push_back("SUM(E" + std::to_string(r) + ":H" + std::to_string(r) + ")"); break;
      case 1: formulas.push_back("IF(C" + std::to_string(r) + ">0,D" + std::to_string(r) + "/C" +
                                 std::to_string(r) + ",\"n/a\")"); break;
      case 2: formulas.push_back("VLOOKUP(B" + std::to_string(r) + ",'Price list'!$A$2:$D$500,3,0)*$B$2");
              break;
      default: formulas.push_back("SUM($F$5:F" + std::to_string(r) + ")+Data!Q" + std::to_string(r)); break;
    }
  }
  std::size_t bytes = 0;
  for (const auto& f : formulas) bytes += f.size();

  // Baseline: copy every formula text once.
  auto start = Clock::now();
  for (const auto& f : formulas) {
    std::string copy(f);
    sink = sink + copy.size();
  }
  const double copyTime = Seconds(start);

  // Pre-check only.
  start = Clock::now();
  for (const auto& f : formulas) sink = sink + static_cast<std::size_t>(MeasureReferences(f).MaxRow);
  const double measureTime = Seconds(start);

  // A row insertion in the middle: half of the formulas change.
  const SheetEdit edit = SheetEdit::InsertRows(5 + count / 2, 1);
  const FormulaContext context{"Report", true};
  std::string out;
  std::size_t changed = 0;
  start = Clock::now();
  for (const auto& f : formulas) changed += ShiftFormula(f, edit, context, out) ? 1 : 0;
  const double shiftTime = Seconds(start);

  // Copy translation of every formula.
  start = Clock::now();
  for (const auto& f : formulas) sink = sink + (TranslateFormula(f, 1, 0, out) ? 1 : 0);
  const double translateTime = Seconds(start);

  // Parsed form: parse once, move 10 times. The first parse pays for fresh memory pages; the
  // second reuses them, as a long-running process does.
  std::vector<ParsedFormula> parsed;
  double coldParseTime = 0, parseTime = 0;
  for (int pass = 0; pass < 2; ++pass) {
    parsed.clear();
    parsed.shrink_to_fit();
    start = Clock::now();
    parsed.reserve(formulas.size());
    for (const auto& f : formulas) parsed.emplace_back(f);
    (pass == 0 ? coldParseTime : parseTime) = Seconds(start);
  }
  start = Clock::now();
  for (int k = 0; k < 10; ++k)
    for (auto& p : parsed) p.Shift(edit, context);
  const double parsedShiftTime = Seconds(start) / 10;

  std::printf("formulas: %d (%.1f MB), %zu changed by the insertion\n", count, bytes / 1e6, changed);
  std::printf("  copy texts (baseline) %8.1f ms\n", copyTime * 1e3);
  std::printf("  MeasureReferences     %8.1f ms  %5.1fx baseline  %6.2f M formulas/s\n",
              measureTime * 1e3, measureTime / copyTime, count / measureTime / 1e6);
  std::printf("  ShiftFormula          %8.1f ms  %5.1fx baseline  %6.2f M formulas/s\n",
              shiftTime * 1e3, shiftTime / copyTime, count / shiftTime / 1e6);
  std::printf("  TranslateFormula      %8.1f ms  %5.1fx baseline  %6.2f M formulas/s\n",
              translateTime * 1e3, translateTime / copyTime, count / translateTime / 1e6);
  std::printf("  ParsedFormula parse   %8.1f ms  %5.1fx baseline (first time: %.1f ms)\n",
              parseTime * 1e3, parseTime / copyTime, coldParseTime * 1e3);
  std::printf("  ParsedFormula::Shift  %8.1f ms  %5.1fx baseline (per edit)\n",
              parsedShiftTime * 1e3, parsedShiftTime / copyTime);

  // Number formats: 1,000,000 values.
  const int values = 1000000;
  char buffer[64];
  start = Clock::now();
  for (int i = 0; i < values; ++i) {
    int n = std::snprintf(buffer, sizeof buffer, "%.2f", i * 1.37);
    sink = sink + static_cast<std::size_t>(n);
  }
  const double printfTime = Seconds(start);
  const char* codes[] = {"General", "#,##0.00", "0.0%", "m/d/yyyy h:mm", "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)"};
  std::printf("number formats: %d values\n  printf %%.2f (baseline) %8.1f ms\n", values,
              printfTime * 1e3);
  for (const char* code : codes) {
    const NumberFormat format(code);
    start = Clock::now();
    for (int i = 0; i < values; ++i) sink = sink + format.Format(i * 1.37).size();
    const double t = Seconds(start);
    std::printf("  %-22.22s %8.1f ms  %5.1fx baseline  %6.2f M values/s\n", code, t * 1e3,
                t / printfTime, values / t / 1e6);
  }
  return 0;
}
