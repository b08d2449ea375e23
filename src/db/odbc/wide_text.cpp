// UTF-8 text to and from the UTF-16 units of the ODBC wide-character functions.
#include "db/odbc/wide_text.h"

#include "support/utf8.h"

namespace tabrix::platform::odbc {

WideString ToWide(std::string_view text) {
  WideString out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = utf8::Decode(text, i);
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<SQLWCHAR>(0xD800 + (c >> 10));
      out += static_cast<SQLWCHAR>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<SQLWCHAR>(c);
    }
  }
  return out;
}

std::string FromWide(const SQLWCHAR* text, std::size_t count) {
  std::string out;
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    utf8::Append(out, c);  // an unpaired surrogate keeps its three-byte form
  }
  return out;
}

}  // namespace tabrix::platform::odbc
