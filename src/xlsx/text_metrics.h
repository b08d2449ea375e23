// Font metrics the engine lays text out with: the digit width of a font (column widths are
// counted in digits) and the width of displayed text (column fitting, text output).
#pragma once

#include <string>
#include <string_view>

namespace tabrix::xlsx {

// Width of a digit as a fraction of the font size ("Calibri" 0.507, "Arial" 0.556, ...).
double DigitWidthEm(const std::string& font);
// Pixels (96 dpi) the widest line of the text takes in that font.
double TextWidthPixels(std::string_view text, const std::string& font, double points, bool bold,
                       double digitEmOfFont);

}  // namespace tabrix::xlsx
