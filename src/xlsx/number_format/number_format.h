// The text the spreadsheet application displays for a cell value under an .xlsx number format
// (en-US conventions: "." decimal point, "," thousands separator, English month and day names).
//
// Supported: General; digit placeholders 0 # ?, thousands separators and scaling commas, decimals,
// percent, scientific (0.00E+00), fractions (# ?/?, # ??/??, ?/8), literal text in quotes, "\"
// escapes and the usual unquoted literals ($ - + / ( ) : space), "_x" spacing (one blank) and
// "*x" fill (dropped), [Red]-style colours (ignored) and [<100] conditions (choose the section),
// [$€-407] currency texts, up to four sections positive;negative;zero;text, "@" text, and dates
// and times (yyyy yy mmmm mmm mmmmm mm m dddd ddd dd d hh h mm ss AM/PM A/P, [h] [mm] [ss]
// elapsed, fractional seconds ss.00), serial numbers in the 1900 date system with its
// 1900-02-29 quirk, or the 1904 system.
//
// Everything here is a pure function of its arguments: safe on any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tabrix::xlsx {

// Format code of a built-in number format id (0-49, en-US forms: 14 is "m/d/yyyy"); empty for
// ids without a built-in code.
std::string_view BuiltinFormatCode(int id);

// True when the code shows dates or times (a date/time token outside quotes, escapes and
// brackets other than [h]/[m]/[s]).
bool IsDateFormat(std::string_view code);
// Same for a built-in id (14-22, 45-47).
bool IsDateFormatId(int id);

// A format code compiled once, for rendering many values.
class NumberFormat {
 public:
  explicit NumberFormat(std::string_view code, bool date1904 = false);
  ~NumberFormat();
  NumberFormat(NumberFormat&&) noexcept;
  NumberFormat& operator=(NumberFormat&&) noexcept;

  std::string Format(double value) const;
  std::string FormatText(std::string_view text) const;  // the text section, or the text itself
  std::string FormatBoolean(bool value) const;          // "TRUE" / "FALSE"
  bool IsDate() const;

 private:
  struct Compiled;
  std::unique_ptr<Compiled> compiled_;
};

// One-off forms.
std::string FormatNumber(double value, std::string_view code, bool date1904 = false);
std::string FormatText(std::string_view text, std::string_view code);
std::string FormatBoolean(bool value);

// "General" for a number: up to 11 characters, switching to scientific form (1.23457E+11) when
// the number does not fit, as the application shows it in a standard cell.
std::string FormatGeneral(double value);

}  // namespace tabrix::xlsx
