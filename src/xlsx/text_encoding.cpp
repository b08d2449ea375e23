// Text file layouts by format code, and UTF-8 text re-encoded into their code pages through the
// byte tables ICU's converters give.
#include "xlsx/text_encoding.h"

#include <unicode/ucnv.h>

#include <array>
#include <memory>
#include <stdexcept>
#include <unordered_map>

#include "support/utf8.h"
#include "xlsx/utf16.h"

namespace tabrix::xlsx {

namespace {

// The byte of each non-ASCII character of an 8-bit code page (the lower half is ASCII in all of
// them), read from ICU's converter once.
class CodePageTable {
 public:
  explicit CodePageTable(const char* converterName) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, decltype(&ucnv_close)> converter(ucnv_open(converterName, &status), &ucnv_close);
    if (U_FAILURE(status)) throw std::runtime_error(std::string("the code page ") + converterName + " is not available");
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
      const char in = static_cast<char>(byte);
      UChar out[2];
      status = U_ZERO_ERROR;
      const std::int32_t length = ucnv_toUChars(converter.get(), out, 2, &in, 1, &status);
      // Bytes without a character of their own read as the substitute (U+FFFD or U+001A).
      if (U_SUCCESS(status) && length == 1 && out[0] != 0xFFFD && out[0] != 0x1A)
        bytes_.emplace(out[0], static_cast<char>(byte));
    }
  }

  std::string Encode(std::string_view utf8) const {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
      const char32_t cp = utf8::Decode(utf8, i);
      if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
        continue;
      }
      const auto found = bytes_.find(cp);
      out.push_back(found != bytes_.end() ? found->second : '?');
    }
    return out;
  }

 private:
  std::unordered_map<char32_t, char> bytes_;
};

const CodePageTable& TableOf(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Oem437: {
      static const CodePageTable table("ibm-437");
      return table;
    }
    case TextEncoding::MacRoman: {
      static const CodePageTable table("macintosh");
      return table;
    }
    default: {
      static const CodePageTable table("windows-1252");
      return table;
    }
  }
}

// UTF-8 that a strict reader accepts: lone surrogates become U+FFFD.
std::string StrictUtf8(std::string_view utf8) {
  // A surrogate's three-byte form is ED A0..BF xx: most texts have none and are taken as they are.
  bool surrogate = false;
  for (std::size_t at = utf8.find('\xED'); at != std::string_view::npos && !surrogate; at = utf8.find('\xED', at + 1))
    surrogate = at + 1 < utf8.size() && static_cast<unsigned char>(utf8[at + 1]) >= 0xA0;
  if (!surrogate) return std::string(utf8);
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t start = i;
    const char32_t cp = utf8::Decode(utf8, i);
    if (cp >= 0xD800 && cp <= 0xDFFF)
      utf8::Append(out, utf8::kReplacement);
    else
      out.append(utf8.substr(start, i - start));
  }
  return out;
}

}  // namespace

std::optional<TextFileFormat> TextFormatOf(std::int32_t format) {
  constexpr const char* kCrLf = "\r\n";
  switch (format) {
    case 6:  // xlCSV
    case 23: return TextFileFormat{',', kCrLf, TextEncoding::Windows1252, false};  // xlCSVWindows
    case 22: return TextFileFormat{',', "\r", TextEncoding::MacRoman, false};      // xlCSVMac
    case 24: return TextFileFormat{',', kCrLf, TextEncoding::Oem437, false};       // xlCSVMSDOS
    case 62: return TextFileFormat{',', kCrLf, TextEncoding::Utf8Bom, false};      // xlCSVUTF8
    case -4158:  // xlCurrentPlatformText
    case 20: return TextFileFormat{'\t', kCrLf, TextEncoding::Windows1252, false};  // xlTextWindows
    case 19: return TextFileFormat{'\t', "\r", TextEncoding::MacRoman, false};      // xlTextMac
    case 21: return TextFileFormat{'\t', kCrLf, TextEncoding::Oem437, false};       // xlTextMSDOS
    case 42: return TextFileFormat{'\t', kCrLf, TextEncoding::Utf16LeBom, false};   // xlUnicodeText
    case 36: return TextFileFormat{' ', kCrLf, TextEncoding::Windows1252, true};    // xlTextPrinter
    default: return std::nullopt;
  }
}

std::string EncodeText(std::string_view utf8, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf8Bom: return "\xEF\xBB\xBF" + StrictUtf8(utf8);
    case TextEncoding::Utf16LeBom: return "\xFF\xFE" + Utf16Le(utf8);
    default: return TableOf(encoding).Encode(utf8);
  }
}

}  // namespace tabrix::xlsx
