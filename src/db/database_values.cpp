// Conversions from database values (integers, reals, texts, dates, blobs) to Variants, shared by
// the SQLite and ODBC drivers.
#include "db/database_values.h"

#include <charconv>
#include <cmath>
#include <string>

namespace tabrix::platform {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

constexpr double kUnixEpochSerial = 25569.0;  // 1970-01-01 counted from 1899-12-30

// Serial counted from 1899-12-30 to the spreadsheet's serial; false before 1900-01-01.
bool AdjustForSpreadsheet(double days, double& serial) {
  if (days < 2.0) return false;
  serial = days < 61.0 ? days - 1.0 : days;
  return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads exactly `count` digits at `pos`.
bool ReadDigits(std::string_view text, size_t& pos, int count, int& value) {
  if (pos + static_cast<size_t>(count) > text.size()) return false;
  value = 0;
  for (int k = 0; k < count; ++k) {
    char c = text[pos + static_cast<size_t>(k)];
    if (!IsDigit(c)) return false;
    value = value * 10 + (c - '0');
  }
  pos += static_cast<size_t>(count);
  return true;
}

// "hh:mm[:ss[.fff]]" at pos; seconds include the fraction.
bool ReadTime(std::string_view text, size_t& pos, int& hour, int& minute, double& second) {
  if (!ReadDigits(text, pos, 2, hour)) return false;
  if (pos >= text.size() || text[pos] != ':') return false;
  ++pos;
  if (!ReadDigits(text, pos, 2, minute)) return false;
  second = 0;
  if (pos < text.size() && text[pos] == ':') {
    ++pos;
    int whole;
    if (!ReadDigits(text, pos, 2, whole)) return false;
    second = whole;
    if (pos < text.size() && text[pos] == '.') {
      ++pos;
      double scale = 0.1;
      size_t start = pos;
      while (pos < text.size() && IsDigit(text[pos])) {
        second += (text[pos] - '0') * scale;
        scale /= 10;
        ++pos;
      }
      if (pos == start) return false;
    }
  }
  return hour <= 23 && minute <= 59 && second < 61.0;
}

// Optional time-zone suffix, then the end of the text.
bool AtEndAfterZone(std::string_view text, size_t pos) {
  while (pos < text.size() && text[pos] == ' ') ++pos;
  if (pos < text.size() && (text[pos] == 'Z' || text[pos] == 'z')) {
    ++pos;
  } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    ++pos;
    int hh, mm = 0;
    if (!ReadDigits(text, pos, 2, hh)) return false;
    if (pos < text.size() && text[pos] == ':') ++pos;
    if (pos < text.size()) {
      if (!ReadDigits(text, pos, 2, mm)) return false;
    }
  }
  return pos == text.size();
}

// Significant digits of a decimal text; -1 when the text is not a decimal number.
int SignificantDigits(std::string_view text) {
  size_t i = 0, n = text.size();
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  std::string digits;
  bool any = false, point = false;
  for (; i < n; ++i) {
    char c = text[i];
    if (IsDigit(c)) {
      digits += c;
      any = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!any) return -1;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    size_t start = i;
    while (i < n && IsDigit(text[i])) ++i;
    if (i == start) return -1;
  }
  if (i != n) return -1;
  size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return 0;
  size_t last = digits.find_last_not_of('0');
  return static_cast<int>(last - first + 1);
}

}  // namespace

bool SerialFromDateTime(int year, int month, int day, int hour, int minute, double second,
                        double& serial) {
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second >= 61) return false;
  double days = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month),
                                                  static_cast<unsigned>(day))) +
                kUnixEpochSerial;
  if (!AdjustForSpreadsheet(days, serial)) return false;
  serial += (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  return true;
}

bool SerialFromIsoText(std::string_view text, double& serial) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  size_t pos = 0;
  int hour = 0, minute = 0;
  double second = 0;
  if (text.size() >= 3 && text[2] == ':') {
    if (!ReadTime(text, pos, hour, minute, second) || !AtEndAfterZone(text, pos)) return false;
    serial = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
    return serial < 1.0;
  }
  int year, month, day;
  if (!ReadDigits(text, pos, 4, year)) return false;
  if (pos >= text.size() || text[pos] != '-') return false;
  ++pos;
  if (!ReadDigits(text, pos, 2, month)) return false;
  if (pos >= text.size() || text[pos] != '-') return false;
  ++pos;
  if (!ReadDigits(text, pos, 2, day)) return false;
  if (pos < text.size() && (text[pos] == ' ' || text[pos] == 'T' || text[pos] == 't')) {
    size_t timeStart = pos + 1;
    while (timeStart < text.size() && text[timeStart] == ' ') ++timeStart;
    if (timeStart < text.size() && IsDigit(text[timeStart])) {
      pos = timeStart;
      if (!ReadTime(text, pos, hour, minute, second)) return false;
    }
  }
  if (!AtEndAfterZone(text, pos)) return false;
  return SerialFromDateTime(year, month, day, hour, minute, second, serial);
}

bool SerialFromJulianDay(double julianDay, double& serial) {
  if (!std::isfinite(julianDay)) return false;
  // Julian day 2415018.5 is 1899-12-30 00:00.
  double days = julianDay - 2415018.5;
  double whole = std::floor(days);
  if (!AdjustForSpreadsheet(whole, serial)) return false;
  serial += days - whole;
  return true;
}

bool SerialFromUnixTime(double seconds, double& serial) {
  if (!std::isfinite(seconds)) return false;
  double days = seconds / 86400.0 + kUnixEpochSerial;
  double whole = std::floor(days);
  if (!AdjustForSpreadsheet(whole, serial)) return false;
  serial += days - whole;
  return true;
}

Variant ExactNumberToVariant(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  int digits = SignificantDigits(text);
  if (digits < 0 || digits > kExactDigits) return Variant(text);
  std::string_view parse = text;
  if (!parse.empty() && parse.front() == '+') parse.remove_prefix(1);
  double value = 0;
  auto [end, ec] = std::from_chars(parse.data(), parse.data() + parse.size(), value);
  if (ec != std::errc() || end != parse.data() + parse.size()) return Variant(text);
  return Variant(value);
}

Variant IntegerToVariant(std::int64_t value) {
  constexpr std::int64_t kLimit = 1000000000000000;  // 10^15: 15 digits or fewer below it
  if (value < kLimit && value > -kLimit) return Variant(value);
  char buffer[24];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ExactNumberToVariant(std::string_view(buffer, static_cast<size_t>(end - buffer)));
}

bool BooleanFromText(std::string_view text, bool& value) {
  std::string lower;
  for (char c : text) {
    if (c != ' ') lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  if (lower == "1" || lower == "t" || lower == "true" || lower == "y" || lower == "yes" ||
      lower == "on" || lower == "-1") {
    value = true;
    return true;
  }
  if (lower == "0" || lower == "f" || lower == "false" || lower == "n" || lower == "no" ||
      lower == "off") {
    value = false;
    return true;
  }
  return false;
}

}  // namespace tabrix::platform
