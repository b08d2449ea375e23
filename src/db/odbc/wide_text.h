// UTF-8 text to and from the 16-bit characters of the ODBC wide-character functions (UTF-16).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>

namespace tabrix::platform::odbc {

using WideString = std::basic_string<SQLWCHAR>;

// Bytes that are not UTF-8 read as U+FFFD (support/utf8.h).
WideString ToWide(std::string_view text);
// `count` 16-bit units; an unpaired surrogate stays a character of its own (support/utf8.h).
std::string FromWide(const SQLWCHAR* text, std::size_t count);
inline std::string FromWide(const WideString& text) { return FromWide(text.data(), text.size()); }

}  // namespace tabrix::platform::odbc
