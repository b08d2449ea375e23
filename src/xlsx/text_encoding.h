// How each text file format of SaveAs writes its bytes: field separator, line end and encoding
// (8-bit code pages as the spreadsheet application writes them, UTF-8 and UTF-16 with BOM).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tabrix::xlsx {

enum class TextEncoding {
  Windows1252,  // the Windows (ANSI) code page of Western European systems
  Oem437,       // the MS-DOS (OEM) code page of the same systems
  MacRoman,
  Utf8Bom,
  Utf16LeBom,
};

struct TextFileFormat {
  char separator;       // ',' or '\t'; formatted text pads columns instead
  const char* lineEnd;  // "\r\n", or "\r" for the Macintosh variants
  TextEncoding encoding;
  bool formatted;       // formatted (space-padded) text, .prn
};

// The layout of a text file format code (xlCSV 6, xlTextMac 19, ...); none for other codes.
std::optional<TextFileFormat> TextFormatOf(std::int32_t format);

// The bytes of UTF-8 text in an encoding. A character an 8-bit code page lacks becomes "?"; a
// lone surrogate (support/utf8.h) becomes "?" there and U+FFFD in UTF-8, and stays one code unit
// in UTF-16. The byte order mark is included.
std::string EncodeText(std::string_view utf8, TextEncoding encoding);

}  // namespace tabrix::xlsx
