// Rendering of cell values under number format codes.
//
// A code is compiled once into sections of tokens. Numbers are rounded on their decimal digits
// (15 significant digits, half away from zero), as the application does, so 2.675 under "0.00"
// shows 2.68 although the binary double is slightly below it.
#include "xlsx/number_format/number_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/utf8.h"

namespace tabrix::xlsx {
namespace {

// ---------------------------------------------------------------------------------------------
// Built-in formats

constexpr std::array<std::string_view, 50> kBuiltin = {
    "General",                                                   // 0
    "0",                                                         // 1
    "0.00",                                                      // 2
    "#,##0",                                                     // 3
    "#,##0.00",                                                  // 4
    "\"$\"#,##0_);\\(\"$\"#,##0\\)",                             // 5
    "\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)",                        // 6
    "\"$\"#,##0.00_);\\(\"$\"#,##0.00\\)",                       // 7
    "\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)",                  // 8
    "0%",                                                        // 9
    "0.00%",                                                     // 10
    "0.00E+00",                                                  // 11
    "# ?/?",                                                     // 12
    "# ?\?/?\?",                                                 // 13
    "m/d/yyyy",                                                  // 14
    "d-mmm-yy",                                                  // 15
    "d-mmm",                                                     // 16
    "mmm-yy",                                                    // 17
    "h:mm AM/PM",                                                // 18
    "h:mm:ss AM/PM",                                             // 19
    "h:mm",                                                      // 20
    "h:mm:ss",                                                   // 21
    "m/d/yyyy h:mm",                                             // 22
    "", "", "", "", "", "", "", "", "", "", "", "", "", "",      // 23-36
    "#,##0 ;(#,##0)",                                            // 37
    "#,##0 ;[Red](#,##0)",                                       // 38
    "#,##0.00;(#,##0.00)",                                       // 39
    "#,##0.00;[Red](#,##0.00)",                                  // 40
    "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)",             // 41
    "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)",  // 42
    "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)",     // 43
    "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)",  // 44
    "mm:ss",                                                     // 45
    "[h]:mm:ss",                                                 // 46
    "mmss.0",                                                    // 47
    "##0.0E+0",                                                  // 48
    "@",                                                         // 49
};

constexpr std::array<std::string_view, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<std::string_view, 7> kDayNames = {
    "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

inline char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool StartsWithNoCase(std::string_view s, std::size_t i, std::string_view word) {
  if (s.size() - i < word.size()) return false;
  for (std::size_t k = 0; k < word.size(); ++k)
    if (Lower(s[i + k]) != Lower(word[k])) return false;
  return true;
}

// Length in bytes of the character starting at s[i] (at least 1, never past the end).
std::size_t CharLength(std::string_view s, std::size_t i) { return utf8::Advance(s, i, 1) - i; }

// ---------------------------------------------------------------------------------------------
// Decimal digits of a number

// |value| written with `decimals` digits after the point, rounded half away from zero on the
// 15-significant-digit decimal form. `integer` has no leading zeros ("" for 0).
void FixedDigits(double value, int decimals, std::string& integer, std::string& fraction) {
  integer.clear();
  fraction.assign(static_cast<std::size_t>(decimals), '0');
  value = std::fabs(value);
  if (value == 0 || !std::isfinite(value)) return;
  char buffer[40];
  *std::to_chars(buffer, buffer + sizeof buffer - 1, value, std::chars_format::scientific, 14)
       .ptr = '\0';
  std::string digits;  // d1 d2 ... d15, value = d1.d2... x 10^exponent
  digits.reserve(16);
  const char* p = buffer;
  for (; *p && *p != 'e'; ++p)
    if (IsDigit(*p)) digits.push_back(*p);
  int exponent = std::atoi(p + 1);
  // Keep the digits up to `decimals` places after the point.
  long keep = static_cast<long>(exponent) + 1 + decimals;
  if (keep < 0) return;
  if (keep < static_cast<long>(digits.size())) {
    bool up = digits[static_cast<std::size_t>(keep)] >= '5';
    digits.resize(static_cast<std::size_t>(keep));
    if (up) {
      long i = keep - 1;
      for (; i >= 0; --i) {
        if (digits[static_cast<std::size_t>(i)] == '9') {
          digits[static_cast<std::size_t>(i)] = '0';
        } else {
          ++digits[static_cast<std::size_t>(i)];
          break;
        }
      }
      if (i < 0) {
        digits.insert(digits.begin(), '1');
        ++exponent;
      }
    }
  }
  // Place the point: integer digits are those before position exponent + 1.
  const long intCount = static_cast<long>(exponent) + 1;
  for (long i = 0; i < intCount; ++i)
    integer.push_back(i < static_cast<long>(digits.size()) ? digits[static_cast<std::size_t>(i)]
                                                           : '0');
  for (int k = 0; k < decimals; ++k) {
    long i = intCount + k;
    if (i >= 0 && i < static_cast<long>(digits.size()))
      fraction[static_cast<std::size_t>(k)] = digits[static_cast<std::size_t>(i)];
  }
  std::size_t nonZero = integer.find_first_not_of('0');
  integer.erase(0, nonZero == std::string::npos ? integer.size() : nonZero);
}

// Significant digits and decimal exponent of |value| rounded to `count` significant digits:
// value ~ 0.d1d2... is not used; value = d1.d2d3... x 10^exponent.
void SignificantDigits(double value, int count, std::string& digits, int& exponent) {
  char buffer[48];
  count = std::max(1, std::min(count, 15));
  *std::to_chars(buffer, buffer + sizeof buffer - 1, std::fabs(value),
                 std::chars_format::scientific, 14)
       .ptr = '\0';
  std::string all;
  const char* p = buffer;
  for (; *p && *p != 'e'; ++p)
    if (IsDigit(*p)) all.push_back(*p);
  exponent = std::atoi(p + 1);
  bool up = static_cast<int>(all.size()) > count && all[static_cast<std::size_t>(count)] >= '5';
  all.resize(static_cast<std::size_t>(count));
  if (up) {
    int i = count - 1;
    for (; i >= 0; --i) {
      if (all[static_cast<std::size_t>(i)] == '9') {
        all[static_cast<std::size_t>(i)] = '0';
      } else {
        ++all[static_cast<std::size_t>(i)];
        break;
      }
    }
    if (i < 0) {
      all.insert(all.begin(), '1');
      all.pop_back();
      ++exponent;
    }
  }
  digits = std::move(all);
}

void AppendExponent(std::string& out, int exponent, int minDigits, bool plusSign) {
  if (exponent < 0)
    out.push_back('-');
  else if (plusSign)
    out.push_back('+');
  std::string e = std::to_string(std::abs(exponent));
  if (static_cast<int>(e.size()) < minDigits) out.append(minDigits - e.size(), '0');
  out += e;
}

std::string GeneralOf(double value) {
  if (std::isnan(value)) return "#NUM!";
  if (value == 0) return "0";
  if (std::fabs(value) < 1e11 && value == std::trunc(value)) {
    char buffer[24];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer,
                                             static_cast<std::int64_t>(value)).ptr);
  }
  std::string out;
  if (value < 0) out.push_back('-');
  const double a = std::fabs(value);
  std::string digits;
  int exponent;
  SignificantDigits(a, 15, digits, exponent);
  if (exponent >= -4 && exponent <= 10) {
    // Fixed notation within 11 characters (sign not counted).
    const int decimals = exponent >= 0 ? std::max(0, 9 - exponent) : 9;
    std::string integer, fraction;
    FixedDigits(a, decimals, integer, fraction);
    if (integer.size() <= 11) {
      while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
      out += integer.empty() ? "0" : integer;
      if (!fraction.empty()) out += "." + fraction;
      return out;
    }
  }
  // Scientific: up to six significant digits.
  SignificantDigits(a, 6, digits, exponent);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  out.push_back(digits[0]);
  if (digits.size() > 1) {
    out.push_back('.');
    out.append(digits, 1);
  }
  out.push_back('E');
  AppendExponent(out, exponent, 2, true);
  return out;
}

// ---------------------------------------------------------------------------------------------
// Dates

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t yy = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

struct DateParts {
  int Year = 1900, Month = 1, Day = 0, Weekday = 0;
};

DateParts DateOfSerialDay(std::int64_t day, bool date1904) {
  DateParts parts;
  if (date1904) {
    CivilFromDays(DaysFromCivil(1904, 1, 1) + day, parts.Year, parts.Month, parts.Day);
    parts.Weekday = static_cast<int>((day + 1462 + 6) % 7);
    return parts;
  }
  parts.Weekday = static_cast<int>((day + 6) % 7);
  if (day == 0) return parts;  // 0 January 1900
  if (day == 60) {             // the application's 29 February 1900
    parts.Month = 2;
    parts.Day = 29;
    return parts;
  }
  const std::int64_t base = day < 60 ? DaysFromCivil(1899, 12, 31) : DaysFromCivil(1899, 12, 30);
  CivilFromDays(base + day, parts.Year, parts.Month, parts.Day);
  return parts;
}

// ---------------------------------------------------------------------------------------------
// Compiled sections

enum class Kind : std::uint8_t {
  Literal,
  Digit,      // 0 # ? (Placeholder)
  Point,
  Comma,      // grouping or scaling comma, decided after the section is read
  Percent,
  Exponent,   // E+ / E-
  Slash,      // fraction bar
  Denominator,  // fixed denominator digits
  General,
  Text,       // @
  Year, Month, Minute, Day, Hour, Second, SubSecond, AmPm,
  ElapsedHours, ElapsedMinutes, ElapsedSeconds,
};

enum class Zone : std::uint8_t { Integer, Fraction, ExponentDigits, Numerator, DenominatorDigits };

struct Token {
  Kind What = Kind::Literal;
  char Placeholder = 0;  // '0', '#', '?' for digits; for AmPm: 'A' (AM/PM), 'a'/'P' (A/P case)
  Zone Where = Zone::Integer;
  int Count = 0;         // letters of a date token; digits of a fixed denominator value
  std::string Text;      // literal text
};

struct Section {
  std::vector<Token> Tokens;
  bool HasCondition = false;
  char Op[3] = {0, 0, 0};
  double Operand = 0;
  bool IsDate = false;
  bool HasText = false;      // contains @
  bool HasNumber = false;    // contains digit placeholders or General
  bool HasGeneral = false;
  // Number layout
  int Percent = 0;
  int Scale = 0;             // scaling commas (each divides by 1000)
  bool Grouping = false;
  int IntegerDigits = 0, FractionDigits = 0, ExponentDigits = 0;
  bool HasExponent = false, ExponentPlus = false;
  bool HasFraction = false;
  int NumeratorDigits = 0, DenominatorDigits = 0, FixedDenominator = 0;
  std::string IntegerHolders, FractionHolders;  // placeholder characters, in order
  int SubSecondDigits = 0;
  bool TwelveHour = false;
};

bool MatchesCondition(const Section& s, double v) {
  const std::string_view op(s.Op);
  if (op == "<") return v < s.Operand;
  if (op == "<=") return v <= s.Operand;
  if (op == ">") return v > s.Operand;
  if (op == ">=") return v >= s.Operand;
  if (op == "=") return v == s.Operand;
  if (op == "<>") return v != s.Operand;
  return true;
}

// Splits a code into sections at ";" outside quotes, escapes and brackets.
std::vector<std::string_view> SplitSections(std::string_view code) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (c == '"') {
      std::size_t close = code.find('"', i + 1);
      i = close == std::string_view::npos ? code.size() : close;
    } else if (c == '\\' || c == '_' || c == '*') {
      if (i + 1 < code.size()) i += CharLength(code, i + 1);
    } else if (c == '[') {
      std::size_t close = code.find(']', i + 1);
      i = close == std::string_view::npos ? code.size() : close;
    } else if (c == ';') {
      parts.push_back(code.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(code.substr(start));
  return parts;
}

// Does the section show a date or time?
bool SectionIsDate(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') {
      std::size_t close = s.find('"', i + 1);
      if (close == std::string_view::npos) return false;
      i = close;
    } else if (c == '\\' || c == '_' || c == '*') {
      if (i + 1 < s.size()) i += CharLength(s, i + 1);
    } else if (c == '[') {
      std::size_t close = s.find(']', i + 1);
      if (close == std::string_view::npos) return false;
      std::string_view inner = s.substr(i + 1, close - i - 1);
      bool elapsed = !inner.empty();
      for (char k : inner) elapsed = elapsed && (Lower(k) == Lower(inner[0]));
      if (elapsed && (Lower(inner[0]) == 'h' || Lower(inner[0]) == 'm' || Lower(inner[0]) == 's'))
        return true;
      i = close;
    } else if (StartsWithNoCase(s, i, "general")) {
      i += 6;
    } else {
      const char l = Lower(c);
      if (l == 'y' || l == 'm' || l == 'd' || l == 'h' || l == 's') return true;
      if (StartsWithNoCase(s, i, "am/pm") || StartsWithNoCase(s, i, "a/p")) return true;
    }
  }
  return false;
}

void AddLiteral(Section& section, std::string_view text) {
  if (!section.Tokens.empty() && section.Tokens.back().What == Kind::Literal) {
    section.Tokens.back().Text.append(text);
    return;
  }
  Token t;
  t.Text.assign(text);
  section.Tokens.push_back(std::move(t));
}

void AddToken(Section& section, Kind kind, int count = 0, char placeholder = 0) {
  Token t;
  t.What = kind;
  t.Count = count;
  t.Placeholder = placeholder;
  section.Tokens.push_back(std::move(t));
}

// Reads "[...]" at s[i] == '['; returns the index after "]".
std::size_t ReadBracket(std::string_view s, std::size_t i, Section& section) {
  std::size_t close = s.find(']', i + 1);
  if (close == std::string_view::npos) close = s.size();
  std::string_view inner = s.substr(i + 1, close - i - 1);
  const std::size_t next = std::min(close + 1, s.size());
  if (inner.empty()) return next;
  const char first = inner[0];
  if (first == '<' || first == '>' || first == '=') {
    std::size_t k = 1;
    if (k < inner.size() && (inner[k] == '=' || inner[k] == '>')) ++k;
    section.HasCondition = true;
    for (std::size_t q = 0; q < k && q < 2; ++q) section.Op[q] = inner[q];
    section.Operand = std::strtod(std::string(inner.substr(k)).c_str(), nullptr);
    return next;
  }
  if (first == '$') {  // [$€-407]: currency text, then an optional locale
    std::size_t dash = inner.find('-');
    AddLiteral(section, inner.substr(1, dash == std::string_view::npos ? std::string_view::npos
                                                                       : dash - 1));
    return next;
  }
  const char l = Lower(first);
  bool same = true;
  for (char k : inner) same = same && Lower(k) == l;
  if (same && (l == 'h' || l == 'm' || l == 's')) {
    AddToken(section,
             l == 'h' ? Kind::ElapsedHours : l == 'm' ? Kind::ElapsedMinutes : Kind::ElapsedSeconds,
             static_cast<int>(inner.size()));
    return next;
  }
  return next;  // colour, locale or calendar: no effect on the text
}

Section CompileSection(std::string_view s) {
  Section section;
  section.IsDate = SectionIsDate(s);
  bool afterSeconds = false;
  std::size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c == '"') {
      std::size_t close = s.find('"', i + 1);
      if (close == std::string_view::npos) close = s.size();
      AddLiteral(section, s.substr(i + 1, close - i - 1));
      i = std::min(close + 1, s.size());
      continue;
    }
    if (c == '\\') {
      if (i + 1 < s.size()) {
        std::size_t n = CharLength(s, i + 1);
        AddLiteral(section, s.substr(i + 1, n));
        i += 1 + n;
      } else {
        ++i;
      }
      continue;
    }
    if (c == '_') {  // space as wide as the next character
      if (i + 1 < s.size()) {
        AddLiteral(section, " ");
        i += 1 + CharLength(s, i + 1);
      } else {
        ++i;
      }
      continue;
    }
    if (c == '*') {  // fill with the next character: no width in plain text
      i += i + 1 < s.size() ? 1 + CharLength(s, i + 1) : 1;
      continue;
    }
    if (c == '[') {
      i = ReadBracket(s, i, section);
      continue;
    }
    if (StartsWithNoCase(s, i, "general")) {
      AddToken(section, Kind::General);
      section.HasGeneral = section.HasNumber = true;
      i += 7;
      continue;
    }
    if (c == '@') {
      AddToken(section, Kind::Text);
      section.HasText = true;
      ++i;
      continue;
    }
    if (section.IsDate) {
      const char l = Lower(c);
      if (StartsWithNoCase(s, i, "am/pm")) {
        AddToken(section, Kind::AmPm, 0, 'A');
        section.TwelveHour = true;
        i += 5;
        continue;
      }
      if (StartsWithNoCase(s, i, "a/p")) {
        AddToken(section, Kind::AmPm, 0, c == 'a' ? 'a' : 'P');
        section.TwelveHour = true;
        i += 3;
        continue;
      }
      if (l == 'y' || l == 'm' || l == 'd' || l == 'h' || l == 's') {
        std::size_t j = i;
        while (j < s.size() && Lower(s[j]) == l) ++j;
        const int count = static_cast<int>(j - i);
        Kind kind = l == 'y' ? Kind::Year : l == 'm' ? Kind::Month : l == 'd' ? Kind::Day
                  : l == 'h' ? Kind::Hour : Kind::Second;
        AddToken(section, kind, count);
        afterSeconds = kind == Kind::Second;
        i = j;
        continue;
      }
      if (c == '.' && afterSeconds && i + 1 < s.size() && s[i + 1] == '0') {
        std::size_t j = i + 1;
        while (j < s.size() && s[j] == '0') ++j;
        const int count = std::min(3, static_cast<int>(j - i - 1));
        AddToken(section, Kind::SubSecond, count);
        section.SubSecondDigits = std::max(section.SubSecondDigits, count);
        i = j;
        continue;
      }
      AddLiteral(section, s.substr(i, CharLength(s, i)));
      i += CharLength(s, i);
      continue;
    }
    if (c == '0' || c == '#' || c == '?') {
      AddToken(section, Kind::Digit, 0, c);
      section.HasNumber = true;
      ++i;
      continue;
    }
    if (c == '.') {
      bool hasPoint = false;
      for (const Token& t : section.Tokens) hasPoint = hasPoint || t.What == Kind::Point;
      if (hasPoint)
        AddLiteral(section, ".");
      else
        AddToken(section, Kind::Point);
      ++i;
      continue;
    }
    if (c == ',') {
      AddToken(section, Kind::Comma);
      ++i;
      continue;
    }
    if (c == '%') {
      AddToken(section, Kind::Percent);
      ++section.Percent;
      ++i;
      continue;
    }
    if ((c == 'E' || c == 'e') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-') &&
        !section.HasExponent) {
      AddToken(section, Kind::Exponent, 0, s[i + 1]);
      section.HasExponent = true;
      section.ExponentPlus = s[i + 1] == '+';
      i += 2;
      continue;
    }
    if (c == '/' && !section.HasFraction && !section.Tokens.empty() &&
        section.Tokens.back().What == Kind::Digit && i + 1 < s.size() &&
        (s[i + 1] == '0' || s[i + 1] == '#' || s[i + 1] == '?' || IsDigit(s[i + 1]))) {
      AddToken(section, Kind::Slash);
      section.HasFraction = true;
      ++i;
      if (IsDigit(s[i]) && s[i] != '0') {  // fixed denominator "?/8", "?/16"
        std::size_t j = i;
        int value = 0;
        while (j < s.size() && IsDigit(s[j]) && value < 100000000) value = value * 10 + (s[j++] - '0');
        AddToken(section, Kind::Denominator, static_cast<int>(j - i));
        section.FixedDenominator = value;
        i = j;
      }
      continue;
    }
    AddLiteral(section, s.substr(i, CharLength(s, i)));
    i += CharLength(s, i);
  }
  if (section.IsDate || !section.HasNumber) return section;

  // Zones of the digit placeholders.
  Zone zone = Zone::Integer;
  std::vector<Token>& tokens = section.Tokens;
  for (std::size_t k = 0; k < tokens.size(); ++k) {
    Token& t = tokens[k];
    if (t.What == Kind::Point && zone == Zone::Integer) zone = Zone::Fraction;
    if (t.What == Kind::Exponent) zone = Zone::ExponentDigits;
    if (t.What == Kind::Slash) {
      // The digit group right before the bar is the numerator.
      for (std::size_t b = k; b-- > 0 && tokens[b].What == Kind::Digit;)
        tokens[b].Where = Zone::Numerator;
      zone = Zone::DenominatorDigits;
    }
    if (t.What == Kind::Digit) t.Where = zone;
  }
  // Commas between integer placeholders group thousands; commas after the last integer
  // placeholder scale by 1000 each; any others are literal.
  for (std::size_t k = 0; k < tokens.size(); ++k) {
    if (tokens[k].What != Kind::Comma) continue;
    bool digitBefore = false, digitAfter = false;
    for (std::size_t b = 0; b < k; ++b)
      digitBefore = digitBefore ||
                    (tokens[b].What == Kind::Digit && tokens[b].Where == Zone::Integer);
    std::size_t a = k + 1;
    while (a < tokens.size() && tokens[a].What == Kind::Comma) ++a;
    for (std::size_t b = a; b < tokens.size(); ++b) {
      if (tokens[b].What == Kind::Point || tokens[b].What == Kind::Exponent) break;
      digitAfter = digitAfter ||
                   (tokens[b].What == Kind::Digit && tokens[b].Where == Zone::Integer);
    }
    if (digitBefore && digitAfter) {
      section.Grouping = true;
      tokens[k].What = Kind::Literal;  // written by the integer part itself
      tokens[k].Text.clear();
    } else if (digitBefore) {
      ++section.Scale;
      tokens[k].What = Kind::Literal;
      tokens[k].Text.clear();
    } else {
      tokens[k].What = Kind::Literal;
      tokens[k].Text = ",";
    }
  }
  for (const Token& t : tokens) {
    if (t.What != Kind::Digit) continue;
    switch (t.Where) {
      case Zone::Integer:
        ++section.IntegerDigits;
        section.IntegerHolders.push_back(t.Placeholder);
        break;
      case Zone::Fraction:
        ++section.FractionDigits;
        section.FractionHolders.push_back(t.Placeholder);
        break;
      case Zone::ExponentDigits: ++section.ExponentDigits; break;
      case Zone::Numerator: ++section.NumeratorDigits; break;
      case Zone::DenominatorDigits: ++section.DenominatorDigits; break;
    }
  }
  return section;
}

// ---------------------------------------------------------------------------------------------
// Rendering a number section

std::string Group(const std::string& digits) {
  std::string out;
  const std::size_t n = digits.size();
  out.reserve(n + n / 3);
  for (std::size_t i = 0; i < n; ++i) {
    out.push_back(digits[i]);
    const std::size_t left = n - 1 - i;
    if (left > 0 && left % 3 == 0 && IsDigit(digits[i]) && IsDigit(digits[i + 1]))
      out.push_back(',');
  }
  return out;
}

// Best fraction num/den of x in [0, 1) with den < 10^digits (or the fixed denominator).
void ApproximateFraction(double x, int maxDenominator, long& num, long& den) {
  long bestNum = 0, bestDen = 1;
  double bestError = x;
  // Continued fractions over the bounded denominator.
  long p0 = 0, q0 = 1, p1 = 1, q1 = 0;
  double r = x;
  for (int iter = 0; iter < 64; ++iter) {
    const double a = std::floor(r);
    const long ai = static_cast<long>(a);
    long p2 = ai * p1 + p0, q2 = ai * q1 + q0;
    if (q2 > maxDenominator) {
      // Best semiconvergent within the bound.
      long k = (maxDenominator - q0) / q1;
      long ps = k * p1 + p0, qs = k * q1 + q0;
      if (qs > 0 && std::fabs(x - static_cast<double>(ps) / qs) < bestError) {
        bestNum = ps;
        bestDen = qs;
      }
      break;
    }
    const double error = std::fabs(x - static_cast<double>(p2) / q2);
    if (error < bestError || bestDen == 1) {
      bestError = error;
      bestNum = p2;
      bestDen = q2;
    }
    p0 = p1; q0 = q1; p1 = p2; q1 = q2;
    const double frac = r - a;
    if (frac < 1e-12) break;
    r = 1 / frac;
  }
  num = bestNum;
  den = bestDen;
}

// Digits of a numerator (padded on the left) or denominator (on the right) under their
// placeholders: missing digits show as "0" under '0', a blank under '?', nothing under '#'.
std::string PadDigits(const std::string& digits, const Section& section, Zone zone,
                      bool leftPad) {
  std::string holders;
  for (const Token& t : section.Tokens)
    if (t.What == Kind::Digit && t.Where == zone) holders.push_back(t.Placeholder);
  if (digits.size() >= holders.size()) return digits;
  const std::size_t missing = holders.size() - digits.size();
  std::string pad;
  for (std::size_t k = 0; k < missing; ++k) {
    const char p = leftPad ? holders[k] : holders[digits.size() + k];
    if (p == '0') pad.push_back('0');
    else if (p == '?') pad.push_back(' ');
  }
  return leftPad ? pad + digits : digits + pad;
}

std::string RenderNumber(const Section& section, double value, bool negative) {
  std::string out;
  if (negative) out.push_back('-');
  double a = std::fabs(value);
  if (section.Percent > 0) a *= 100;
  for (int p = 0; p < section.Scale; ++p) a /= 1000;

  if (section.HasGeneral && section.IntegerDigits == 0 && section.FractionDigits == 0) {
    for (const Token& t : section.Tokens) {
      if (t.What == Kind::General) out += GeneralOf(a);
      else if (t.What == Kind::Literal) out += t.Text;
      else if (t.What == Kind::Percent) out.push_back('%');
    }
    return out;
  }

  std::string integer, fraction;
  int exponent = 0;
  long whole = 0, num = 0, den = 1;
  if (section.HasExponent) {
    const int intHolders = std::max(1, section.IntegerDigits);
    int e10 = 0;
    std::string digits;
    if (a != 0) {
      SignificantDigits(a, 15, digits, e10);
      bool engineering = false;
      for (const Token& t : section.Tokens)
        engineering = engineering || (t.What == Kind::Digit && t.Where == Zone::Integer &&
                                      t.Placeholder == '#');
      auto exponentFor = [&](int e) {
        if (engineering && intHolders > 1) {
          int q = e >= 0 ? e / intHolders : -((-e + intHolders - 1) / intHolders);
          return q * intHolders;
        }
        return e - (intHolders - 1);
      };
      exponent = exponentFor(e10);
      double mantissa = a / std::pow(10.0, exponent);
      FixedDigits(mantissa, section.FractionDigits, integer, fraction);
      // Rounding may carry into another digit (9.99 -> 10.0): recompute once.
      if (static_cast<int>(integer.size()) > e10 - exponent + 1) {
        exponent = exponentFor(e10 + 1);
        mantissa = a / std::pow(10.0, exponent);
        FixedDigits(mantissa, section.FractionDigits, integer, fraction);
      }
    } else {
      fraction.assign(static_cast<std::size_t>(section.FractionDigits), '0');
    }
  } else if (section.HasFraction) {
    const bool hasWhole = section.IntegerDigits > 0;
    double rest = a;
    if (hasWhole) {
      whole = static_cast<long>(std::floor(a));
      rest = a - static_cast<double>(whole);
    }
    if (section.FixedDenominator > 0) {
      den = section.FixedDenominator;
      num = std::lround(rest * den);
    } else {
      int maxDen = 1;
      for (int k = 0; k < std::max(1, section.DenominatorDigits); ++k) maxDen *= 10;
      ApproximateFraction(rest - std::floor(rest), maxDen - 1, num, den);
      num += static_cast<long>(std::floor(rest)) * den;
    }
    if (hasWhole && num == den) {
      ++whole;
      num = 0;
    }
    if (whole > 0) integer = std::to_string(whole);
    else if (hasWhole && num == 0) integer = "0";  // zero shows as "0" and a blank fraction
  } else {
    FixedDigits(a, section.FractionDigits, integer, fraction);
  }

  // Integer part: each placeholder takes its digit counted from the right, the leftmost one
  // any extra digits; with grouping the whole grouped number goes to the first placeholder.
  std::string grouped;
  if (section.Grouping) {
    std::string digits = integer;
    const auto zeros = static_cast<std::size_t>(
        std::count(section.IntegerHolders.begin(), section.IntegerHolders.end(), '0'));
    if (digits.size() < zeros) digits.insert(0, zeros - digits.size(), '0');
    grouped = Group(digits);
  }
  auto appendIntegerHolder = [&](std::size_t h) {
    if (section.Grouping) {
      if (h == 0) out += grouped;
      return;
    }
    const long index = static_cast<long>(integer.size()) -
                       static_cast<long>(section.IntegerHolders.size()) + static_cast<long>(h);
    if (index >= 0) {
      if (h == 0)
        out.append(integer, 0, static_cast<std::size_t>(index) + 1);
      else
        out.push_back(integer[static_cast<std::size_t>(index)]);
      return;
    }
    const char p = section.IntegerHolders[h];
    if (p == '0') out.push_back('0');
    else if (p == '?') out.push_back(' ');
  };
  // Fraction digits: trailing zeros vanish under '#', turn to blanks under '?'.
  long lastShown = -1;
  for (long k = static_cast<long>(section.FractionHolders.size()) - 1; k >= 0; --k)
    if (fraction[static_cast<std::size_t>(k)] != '0' ||
        section.FractionHolders[static_cast<std::size_t>(k)] == '0') {
      lastShown = k;
      break;
    }
  auto appendFractionHolder = [&](std::size_t k) {
    if (static_cast<long>(k) <= lastShown) out.push_back(fraction[k]);
    else if (section.FractionHolders[k] == '?') out.push_back(' ');
  };
  // Exponent, numerator and denominator texts.
  std::string expSign, expDigits;
  if (section.HasExponent) {
    expDigits = std::to_string(std::abs(exponent));
    if (static_cast<int>(expDigits.size()) < section.ExponentDigits)
      expDigits.insert(0, section.ExponentDigits - expDigits.size(), '0');
    expSign = exponent < 0 ? "E-" : section.ExponentPlus ? "E+" : "E";
  }
  // A whole number under a mixed fraction shows blanks where the fraction would be.
  const bool blankFraction = section.HasFraction && section.IntegerDigits > 0 && num == 0;
  std::string numText, denText;
  if (section.HasFraction) {
    numText = PadDigits(std::to_string(num), section, Zone::Numerator, true);
    denText = section.FixedDenominator > 0
                  ? std::to_string(den)
                  : PadDigits(std::to_string(den), section, Zone::DenominatorDigits, false);
    if (blankFraction) {
      numText.assign(numText.size(), ' ');
      denText.assign(denText.size(), ' ');
    }
  }

  std::size_t intIndex = 0, fracIndex = 0;
  bool numDone = false, denDone = false, expDone = false;
  bool integerAbsorbed = false;
  // Digits of a format without integer placeholders (".00", "E+00") go before the point.
  auto absorbInteger = [&] {
    if (section.IntegerDigits == 0 && !integerAbsorbed) out += integer;
    integerAbsorbed = true;
  };
  for (const Token& t : section.Tokens) {
    switch (t.What) {
      case Kind::Literal:
        out += t.Text;
        break;
      case Kind::Digit:
        switch (t.Where) {
          case Zone::Integer:
            appendIntegerHolder(intIndex++);
            break;
          case Zone::Fraction:
            appendFractionHolder(fracIndex++);
            break;
          case Zone::ExponentDigits:
            if (!expDone) out += expDigits;
            expDone = true;
            break;
          case Zone::Numerator:
            if (!numDone) out += numText;
            numDone = true;
            break;
          case Zone::DenominatorDigits:
            if (!denDone) out += denText;
            denDone = true;
            break;
        }
        break;
      case Kind::Point:
        absorbInteger();
        out.push_back('.');
        break;
      case Kind::Percent:
        out.push_back('%');
        break;
      case Kind::Exponent:
        absorbInteger();
        out += expSign;
        if (section.ExponentDigits == 0) out += expDigits;
        break;
      case Kind::Slash:
        out.push_back(blankFraction ? ' ' : '/');
        break;
      case Kind::Denominator:
        if (!denDone) out += denText;
        denDone = true;
        break;
      case Kind::General:
        out += GeneralOf(a);
        break;
      default:
        break;
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// Rendering a date section

std::string TwoDigits(long v) {
  std::string s = std::to_string(v);
  if (s.size() < 2) s.insert(0, 1, '0');
  return s;
}

std::string RenderDate(const Section& section, double value, bool date1904) {
  if (value < 0 || value >= 2958466.0 || std::isnan(value)) return "########";
  const int sub = section.SubSecondDigits;
  std::int64_t unitsPerSecond = 1;
  for (int k = 0; k < sub; ++k) unitsPerSecond *= 10;
  const std::int64_t unitsPerDay = 86400 * unitsPerSecond;
  const std::int64_t total = static_cast<std::int64_t>(std::llround(value * static_cast<double>(unitsPerDay)));
  const std::int64_t day = total / unitsPerDay;
  std::int64_t rest = total % unitsPerDay;
  const std::int64_t fractionUnits = rest % unitsPerSecond;
  const std::int64_t secondsOfDay = rest / unitsPerSecond;
  const int hour = static_cast<int>(secondsOfDay / 3600);
  const int minute = static_cast<int>(secondsOfDay / 60 % 60);
  const int second = static_cast<int>(secondsOfDay % 60);
  const DateParts date = DateOfSerialDay(day, date1904);

  // Which "m" runs are minutes: after an hour or before a second.
  const std::vector<Token>& tokens = section.Tokens;
  std::vector<bool> isMinute(tokens.size(), false);
  for (std::size_t k = 0; k < tokens.size(); ++k) {
    if (tokens[k].What != Kind::Month || tokens[k].Count > 2) continue;
    for (std::size_t b = k; b-- > 0;) {
      const Kind w = tokens[b].What;
      if (w == Kind::Literal) continue;
      isMinute[k] = w == Kind::Hour || w == Kind::ElapsedHours;
      break;
    }
    for (std::size_t a = k + 1; !isMinute[k] && a < tokens.size(); ++a) {
      const Kind w = tokens[a].What;
      if (w == Kind::Literal) continue;
      isMinute[k] = w == Kind::Second || w == Kind::ElapsedSeconds;
      break;
    }
  }

  std::string out;
  for (std::size_t k = 0; k < tokens.size(); ++k) {
    const Token& t = tokens[k];
    switch (t.What) {
      case Kind::Literal: out += t.Text; break;
      case Kind::Year:
        if (t.Count <= 2) out += TwoDigits(date.Year % 100);
        else out += std::to_string(date.Year);
        break;
      case Kind::Month:
        if (isMinute[k]) {
          out += t.Count >= 2 ? TwoDigits(minute) : std::to_string(minute);
        } else if (t.Count == 1) {
          out += std::to_string(date.Month);
        } else if (t.Count == 2) {
          out += TwoDigits(date.Month);
        } else {
          std::string_view name = kMonthNames[static_cast<std::size_t>(date.Month - 1)];
          if (t.Count == 3) out += name.substr(0, 3);
          else if (t.Count == 5) out += name.substr(0, 1);
          else out += name;
        }
        break;
      case Kind::Day:
        if (t.Count == 1) out += std::to_string(date.Day);
        else if (t.Count == 2) out += TwoDigits(date.Day);
        else if (t.Count == 3) out += kDayNames[static_cast<std::size_t>(date.Weekday)].substr(0, 3);
        else out += kDayNames[static_cast<std::size_t>(date.Weekday)];
        break;
      case Kind::Hour: {
        int h = hour;
        if (section.TwelveHour) {
          h %= 12;
          if (h == 0) h = 12;
        }
        out += t.Count >= 2 ? TwoDigits(h) : std::to_string(h);
        break;
      }
      case Kind::Second:
        out += t.Count >= 2 ? TwoDigits(second) : std::to_string(second);
        break;
      case Kind::SubSecond: {
        std::string digits = std::to_string(fractionUnits);
        if (static_cast<int>(digits.size()) < sub) digits.insert(0, sub - digits.size(), '0');
        out.push_back('.');
        out += digits.substr(0, static_cast<std::size_t>(t.Count));
        break;
      }
      case Kind::AmPm: {
        const bool pm = hour >= 12;
        if (t.Placeholder == 'A') out += pm ? "PM" : "AM";
        else if (t.Placeholder == 'a') out += pm ? "p" : "a";
        else out += pm ? "P" : "A";
        break;
      }
      case Kind::ElapsedHours:
      case Kind::ElapsedMinutes:
      case Kind::ElapsedSeconds: {
        const std::int64_t seconds = total / unitsPerSecond;
        const std::int64_t v = t.What == Kind::ElapsedHours ? seconds / 3600
                               : t.What == Kind::ElapsedMinutes ? seconds / 60 : seconds;
        std::string digits = std::to_string(v);
        if (static_cast<int>(digits.size()) < t.Count)
          digits.insert(0, t.Count - digits.size(), '0');
        out += digits;
        break;
      }
      case Kind::Text:
        break;
      default:
        break;
    }
  }
  return out;
}

std::string RenderText(const Section& section, std::string_view text) {
  std::string out;
  for (const Token& t : section.Tokens) {
    if (t.What == Kind::Literal) out += t.Text;
    else if (t.What == Kind::Text) out.append(text);
  }
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Public interface

struct NumberFormat::Compiled {
  std::vector<Section> Sections;
  bool General = false;
  bool Date1904 = false;
  int TextSection = -1;  // index of the section for text values, -1 for none
};

std::string_view BuiltinFormatCode(int id) {
  if (id < 0 || id >= static_cast<int>(kBuiltin.size())) return {};
  return kBuiltin[static_cast<std::size_t>(id)];
}

bool IsDateFormat(std::string_view code) {
  for (std::string_view section : SplitSections(code))
    if (SectionIsDate(section)) return true;
  return false;
}

bool IsDateFormatId(int id) { return (id >= 14 && id <= 22) || (id >= 45 && id <= 47); }

NumberFormat::NumberFormat(std::string_view code, bool date1904)
    : compiled_(std::make_unique<Compiled>()) {
  compiled_->Date1904 = date1904;
  std::string_view trimmed = code;
  if (trimmed.empty() || (trimmed.size() == 7 && StartsWithNoCase(trimmed, 0, "general"))) {
    compiled_->General = true;
    return;
  }
  std::vector<std::string_view> parts = SplitSections(code);
  if (parts.size() > 4) parts.resize(4);
  for (std::string_view part : parts) compiled_->Sections.push_back(CompileSection(part));
  for (std::size_t k = 0; k < compiled_->Sections.size(); ++k) {
    const Section& s = compiled_->Sections[k];
    if (s.HasText && !s.HasNumber && !s.IsDate) {
      compiled_->TextSection = static_cast<int>(k);
      break;
    }
  }
  if (compiled_->TextSection < 0 && compiled_->Sections.size() == 4) compiled_->TextSection = 3;
}

NumberFormat::~NumberFormat() = default;
NumberFormat::NumberFormat(NumberFormat&&) noexcept = default;
NumberFormat& NumberFormat::operator=(NumberFormat&&) noexcept = default;

std::string NumberFormat::Format(double value) const {
  const Compiled& c = *compiled_;
  if (c.General || c.Sections.empty()) return GeneralOf(value);
  if (!std::isfinite(value)) return "#NUM!";
  // Number sections: all but a trailing text-only one.
  int count = static_cast<int>(c.Sections.size());
  if (c.TextSection >= 0 && c.TextSection == count - 1 && count > 1) --count;
  const Section* chosen = nullptr;
  bool minus = false;
  const bool conditional = c.Sections[0].HasCondition ||
                           (count > 1 && c.Sections[1].HasCondition);
  if (conditional) {
    if (c.Sections[0].HasCondition ? MatchesCondition(c.Sections[0], value) : value >= 0) {
      chosen = &c.Sections[0];
    } else if (count > 1 && (!c.Sections[1].HasCondition || MatchesCondition(c.Sections[1], value))) {
      chosen = &c.Sections[1];
    } else if (count > 2) {
      chosen = &c.Sections[2];
    } else {
      return "########";  // no section fits: the application fills the cell with #
    }
    // Only the first section adds a minus, and not when it is meant for negatives anyway
    // ("[<0]"); the others show the magnitude.
    const std::string_view op(chosen->Op);
    const bool forNegatives = chosen->HasCondition && (op == "<" || op == "<=") &&
                              chosen->Operand <= 0;
    minus = value < 0 && chosen == &c.Sections[0] && !forNegatives && chosen->HasNumber;
  } else if (count == 1) {
    chosen = &c.Sections[0];
    minus = value < 0;
  } else if (value > 0 || (value == 0 && count == 2)) {
    chosen = &c.Sections[0];
  } else if (value < 0) {
    chosen = &c.Sections[1];
  } else {
    chosen = &c.Sections[2];
  }
  if (chosen->IsDate) return RenderDate(*chosen, minus ? value : std::fabs(value), c.Date1904);
  if (chosen->HasText && !chosen->HasNumber) return GeneralOf(value);  // a text-only format
  if (!chosen->HasNumber) {
    std::string out = minus ? "-" : "";
    for (const Token& t : chosen->Tokens)
      if (t.What == Kind::Literal) out += t.Text;
      else if (t.What == Kind::Percent) out.push_back('%');
    return out;
  }
  return RenderNumber(*chosen, value, minus);
}

std::string NumberFormat::FormatText(std::string_view text) const {
  const Compiled& c = *compiled_;
  if (c.TextSection < 0) return std::string(text);
  return RenderText(c.Sections[static_cast<std::size_t>(c.TextSection)], text);
}

std::string NumberFormat::FormatBoolean(bool value) const { return xlsx::FormatBoolean(value); }

bool NumberFormat::IsDate() const {
  for (const Section& s : compiled_->Sections)
    if (s.IsDate) return true;
  return false;
}

std::string FormatNumber(double value, std::string_view code, bool date1904) {
  return NumberFormat(code, date1904).Format(value);
}

std::string FormatText(std::string_view text, std::string_view code) {
  return NumberFormat(code).FormatText(text);
}

std::string FormatBoolean(bool value) { return value ? "TRUE" : "FALSE"; }

std::string FormatGeneral(double value) { return GeneralOf(value); }

}  // namespace tabrix::xlsx
