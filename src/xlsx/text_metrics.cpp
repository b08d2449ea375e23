// Font metrics: digit widths of common fonts, and text widths from per-character advance
// widths of a Helvetica-like sans serif scaled to the font by the ratio of digit widths.
#include "xlsx/text_metrics.h"

#include <algorithm>
#include <cstdint>

#include "support/utf8.h"
#include "xlsx/cell_address.h"

namespace tabrix::xlsx {

namespace {

// Advance widths of ASCII 32..126 in thousandths of an em.
constexpr short kAdvance[95] = {
    278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278,  // space .. /
    556, 556, 556, 556, 556, 556, 556, 556, 556, 556,                                // 0 .. 9
    278, 278, 584, 584, 584, 556, 1015,                                              // : .. @
    667, 667, 722, 722, 667, 611, 778, 722, 278, 500, 667, 556, 833,                 // A .. M
    722, 778, 667, 778, 722, 667, 611, 722, 667, 944, 667, 667, 611,                 // N .. Z
    278, 278, 278, 469, 556, 333,                                                    // [ .. `
    556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833,                 // a .. m
    556, 556, 556, 556, 333, 500, 278, 556, 500, 722, 500, 500, 500,                 // n .. z
    334, 260, 334, 584};                                                             // { .. ~


// Width of one line of UTF-8 text in ems of the reference face.
double TextEms(std::string_view line) {
  double ems = 0;
  for (std::size_t i = 0; i < line.size();) {
    auto c = static_cast<unsigned char>(line[i]);
    if (c < 0x80) {
      ems += (c >= 32 && c <= 126) ? kAdvance[c - 32] / 1000.0 : 0;
      ++i;
      continue;
    }
    const char32_t cp = utf8::Decode(line, i);
    // East Asian ideographs and kana are square; other letters about as wide as a digit.
    ems += (cp >= 0x1100 && (cp <= 0x115F || (cp >= 0x2E80 && cp <= 0xA4CF) || (cp >= 0xAC00 && cp <= 0xD7A3) ||
                             (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFF00 && cp <= 0xFF60)))
               ? 1.0
               : 0.556;
  }
  return ems;
}

}  // namespace

// Width of a digit as a fraction of the font size, for the fonts templates commonly use.
double DigitWidthEm(const std::string& font) {
  struct Entry {
    const char* name;
    double em;
  };
  static const Entry kFonts[] = {
      {"Calibri", 0.5068},        {"Carlito", 0.5068},        {"Calibri Light", 0.5068},
      {"Arial", 0.556},           {"Liberation Sans", 0.556}, {"Helvetica", 0.556},
      {"Arial Narrow", 0.456},    {"Times New Roman", 0.5},   {"Liberation Serif", 0.5},
      {"Cambria", 0.5557},        {"Caladea", 0.5557},        {"Verdana", 0.6362},
      {"Tahoma", 0.5459},         {"Segoe UI", 0.5591},       {"Courier New", 0.6001},
      {"Liberation Mono", 0.6001}, {"DejaVu Sans", 0.6362},   {"Aptos", 0.5371},
      {"Aptos Narrow", 0.4629},   {"Georgia", 0.6143},        {"Trebuchet MS", 0.5239},
      {"MS Sans Serif", 0.556},   {"Consolas", 0.5498},
  };
  for (const Entry& entry : kFonts)
    if (NamesEqual(font, entry.name)) return entry.em;
  return 0.5068;
}

double TextWidthPixels(std::string_view text, const std::string& font, double points, bool bold,
                       double digitEmOfFont) {
  double widest = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    widest = std::max(widest, TextEms(text.substr(start, end - start)));
    start = end + 1;
  }
  (void)font;
  // Scale the reference face to the font by digit width (0.556 em in the reference face).
  double pixelsPerEm = points * 96.0 / 72.0;
  // A few per cent more, so that text in faces with wider narrow letters still fits.
  return widest * pixelsPerEm * (digitEmOfFont / 0.556) * (bold ? 1.05 : 1.0) * 1.04;
}

}  // namespace tabrix::xlsx
