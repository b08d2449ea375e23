// Serial dates of the 1900 date system as the spreadsheet application counts them: day 1 is
// 1900-01-01, and 1900 is taken as a leap year (serial 60 is the non-existent 1900-02-29), so
// serials from 61 on count days since 1899-12-30.
#pragma once

#include <cstdint>
#include <optional>

namespace tabrix::xlsx::eval {

struct CivilDate {
  std::int32_t year = 1900, month = 1, day = 1;
};

// DATE(year, month, day) with the application's rules: years 0-1899 are taken as 1900 + year,
// months and days outside their range roll over into the neighbouring months and years.
// nullopt for a year outside 0..9999 or a result before serial 0.
std::optional<double> DateSerial(double year, double month, double day);

// The calendar date of the whole part of a serial (0 is "1900-01-00", 60 is 1900-02-29);
// nullopt for negative serials or serials after 9999-12-31.
std::optional<CivilDate> SerialToDate(double serial);

// The serial of a real calendar date (for reading typed dates).
double CivilToSerial(std::int32_t year, std::int32_t month, std::int32_t day);

// The serial of the current local date and time.
double NowSerial();

}  // namespace tabrix::xlsx::eval
