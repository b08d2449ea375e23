// UTF-16 little-endian bytes of UTF-8 text (sheet protection hashes, Unicode text files).
#pragma once

#include <string>
#include <string_view>

namespace tabrix::xlsx {

std::string Utf16Le(std::string_view utf8);

}  // namespace tabrix::xlsx
