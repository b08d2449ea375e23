// Conversions from database values to Variants shared by the adapters.
//
// Dates: a date, time or timestamp becomes a Variant::Date holding the spreadsheet's serial
// (1900 date system): days since 1899-12-30 plus the time as a fraction of a day, one less for
// dates before 1900-03-01 because the spreadsheet counts a 1900-02-29 that never existed. A time
// of day alone is the fraction (0 <= serial < 1). Dates before 1900-01-01 have no serial; the
// adapters then keep the value as it came (ISO text, or the stored number).
//
// Exact numbers (integers and fixed-point decimals): a Number when the value has at most 15
// significant digits (a double holds every such value and gives its digits back); otherwise
// the decimal text, so that no digit of an identifier or an amount is lost on its way to a cell.
#pragma once

#include <cstdint>
#include <string_view>

#include "tabrix/variant.h"

namespace tabrix::platform {

inline constexpr int kExactDigits = 15;

// Serial of a civil date and time; false when the date is not valid or before 1900-01-01.
bool SerialFromDateTime(int year, int month, int day, int hour, int minute, double second,
                        double& serial);

// ISO 8601 text: "YYYY-MM-DD", "YYYY-MM-DD hh:mm[:ss[.fff]]" (or "T" between date and time),
// or a time of day "hh:mm[:ss[.fff]]"; a trailing "Z" or "+hh:mm"/"-hh:mm" is accepted and
// ignored (the wall-clock time is kept). False when the text is not such a value.
bool SerialFromIsoText(std::string_view text, double& serial);

// SQLite's numeric date forms: a Julian day number, and Unix time in seconds.
bool SerialFromJulianDay(double julianDay, double& serial);
bool SerialFromUnixTime(double seconds, double& serial);

// An exact number given as decimal text ("-123.4500", "1E+3"): a Number within 15 significant
// digits, otherwise the text unchanged. Text that is not a decimal number stays text.
Variant ExactNumberToVariant(std::string_view text);
Variant IntegerToVariant(std::int64_t value);

// Boolean texts: "1", "t", "true", "y", "yes", "on" and "0", "f", "false", "n", "no", "off"
// (any case). False when the text is neither.
bool BooleanFromText(std::string_view text, bool& value);

}  // namespace tabrix::platform
