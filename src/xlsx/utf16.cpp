// UTF-16 little-endian bytes of UTF-8 text, on the shared UTF-8 decoder.
#include "xlsx/utf16.h"

#include <cstdint>

#include "support/utf8.h"

namespace tabrix::xlsx {

std::string Utf16Le(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    std::uint32_t cp = utf8::Decode(utf8, i);
    auto unit = [&](std::uint32_t u) {
      out.push_back(static_cast<char>(u & 0xFF));
      out.push_back(static_cast<char>(u >> 8));
    };
    if (cp >= 0x10000) {
      cp -= 0x10000;
      unit(0xD800 + (cp >> 10));
      unit(0xDC00 + (cp & 0x3FF));
    } else {
      unit(cp);
    }
  }
  return out;
}

}  // namespace tabrix::xlsx
