// Data-source passwords as definition files with EncryptPassword=Y store them: the value to write
// as `Password`N for a password and the data source's `User`N, and the way back.
#pragma once

#include <string>
#include <string_view>

namespace tabrix {

// The value to write as `Password`N for `password` with the entry's `User`N as key.
std::string EncodePassword(std::string_view password, std::string_view user);
// The password of an encoded `Password`N value, with the entry's `User`N as key.
std::string DecodePassword(std::string_view value, std::string_view user);

}  // namespace tabrix
