// Rendering of cell values under number format codes.
#include "platform/xlsx/number_format.h"

namespace tabrix::xlsx {

// Skeleton: the renderer lands next.
struct NumberFormat::Compiled {
  std::string code;
};

std::string_view BuiltinFormatCode(int id) { return id == 0 ? "General" : ""; }
bool IsDateFormat(std::string_view) { return false; }
bool IsDateFormatId(int id) { return (id >= 14 && id <= 22) || (id >= 45 && id <= 47); }
NumberFormat::NumberFormat(std::string_view code, bool)
    : compiled_(std::make_unique<Compiled>(Compiled{std::string(code)})) {}
NumberFormat::~NumberFormat() = default;
NumberFormat::NumberFormat(NumberFormat&&) noexcept = default;
NumberFormat& NumberFormat::operator=(NumberFormat&&) noexcept = default;
std::string NumberFormat::Format(double value) const { return FormatGeneral(value); }
std::string NumberFormat::FormatText(std::string_view text) const { return std::string(text); }
std::string NumberFormat::FormatBoolean(bool value) const { return xlsx::FormatBoolean(value); }
bool NumberFormat::IsDate() const { return false; }
std::string FormatNumber(double value, std::string_view code, bool date1904) {
  return NumberFormat(code, date1904).Format(value);
}
std::string FormatText(std::string_view text, std::string_view code) {
  return NumberFormat(code).FormatText(text);
}
std::string FormatBoolean(bool value) { return value ? "TRUE" : "FALSE"; }
std::string FormatGeneral(double value) { return std::to_string(value); }

}  // namespace tabrix::xlsx
