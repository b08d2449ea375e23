// File-format codes of the object model (Workbook.FileFormat, SaveAs): which package or text
// format the engine opens and writes.
#pragma once

#include <cstdint>

namespace tabrix::xlsx {

inline constexpr std::int32_t kFormatCsv = 6;
inline constexpr std::int32_t kFormatText = -4158;
inline constexpr std::int32_t kFormatFormattedText = 36;  // fixed-width text (.prn)
inline constexpr std::int32_t kFormatXlsx = 51;
inline constexpr std::int32_t kFormatXlsm = 52;
inline constexpr std::int32_t kFormatXltm = 53;
inline constexpr std::int32_t kFormatXltx = 54;

}  // namespace tabrix::xlsx
