// Data-source passwords stored encoded in definition files: Base64 over an RC4-transformed byte
// string keyed with the data source's user name. The key schedule starts j at
// (255 mod key length) + 2 (1 for an empty key), so values from a standard RC4 do not decode.
#pragma once

#include <string>
#include <string_view>

#include "tabrix/password.h"

namespace tabrix {

// Byte strings are held in std::string; text is UTF-8.
std::string DecodeBase64(std::string_view bytes);
// Standard Base64 with "=" padding.
std::string EncodeBase64(std::string_view bytes);
// RC4 keystream XOR; its own inverse.
std::string Rc4Transform(std::string_view bytes, std::string_view key);

// EncodePassword / DecodePassword (tabrix/password.h): RC4 with the user as key, then Base64.

}  // namespace tabrix
