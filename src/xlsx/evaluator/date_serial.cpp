// Serial dates of the 1900 date system.
#include "xlsx/evaluator/date_serial.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace tabrix::xlsx::eval {
namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (month may be any value 1..12).
std::int64_t DaysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

CivilDate CivilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = yoe + era * 400;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t m = mp + (mp < 10 ? 3 : -9);
  return {static_cast<std::int32_t>(y + (m <= 2)), static_cast<std::int32_t>(m),
          static_cast<std::int32_t>(d)};
}

const std::int64_t kEpoch = DaysFromCivil(1899, 12, 30);  // serial 0 of real dates >= 1900-03-01
constexpr double kLastSerial = 2958465.0;                  // 9999-12-31

}  // namespace

double CivilToSerial(std::int32_t year, std::int32_t month, std::int32_t day) {
  double serial = static_cast<double>(DaysFromCivil(year, month, day) - kEpoch);
  if (serial < 61) serial -= 1;  // before 1900-03-01 the application counts one day less
  return serial;
}

std::optional<double> DateSerial(double year, double month, double day) {
  if (!std::isfinite(year) || !std::isfinite(month) || !std::isfinite(day)) return std::nullopt;
  std::int64_t y = static_cast<std::int64_t>(std::trunc(year));
  std::int64_t m = static_cast<std::int64_t>(std::trunc(month));
  std::int64_t d = static_cast<std::int64_t>(std::trunc(day));
  if (y < 0 || y > 9999) return std::nullopt;
  if (y < 1900) y += 1900;
  // Roll the month into the year.
  std::int64_t m0 = m - 1;
  std::int64_t yearShift = m0 >= 0 ? m0 / 12 : -((-m0 + 11) / 12);
  y += yearShift;
  m0 -= yearShift * 12;
  // Days before the first of the month in the application's calendar (with 1900-02-29).
  std::int64_t first = DaysFromCivil(y, m0 + 1, 1) - kEpoch;
  if (first < 61) first -= 1;
  double serial = static_cast<double>(first + d - 1);
  if (serial < 0 || serial > kLastSerial) return std::nullopt;
  return serial;
}

std::optional<CivilDate> SerialToDate(double serial) {
  if (!std::isfinite(serial) || serial < 0 || serial >= kLastSerial + 1) return std::nullopt;
  std::int64_t whole = static_cast<std::int64_t>(std::floor(serial));
  if (whole == 0) return CivilDate{1900, 1, 0};
  if (whole == 60) return CivilDate{1900, 2, 29};
  if (whole < 60) ++whole;  // counted from 1899-12-31
  return CivilFromDays(kEpoch + whole);
}

double NowSerial() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t seconds = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  double fraction =
      (local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec +
       duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000 / 1000.0) /
      86400.0;
  return CivilToSerial(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) + fraction;
}

}  // namespace tabrix::xlsx::eval
