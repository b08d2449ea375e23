// Clearing secrets (passwords, connection strings with passwords) from memory: the characters
// are overwritten before the string lets its buffer go.
#pragma once

#include <string>

namespace tabrix {

// Overwrites every character of `secret` with zeros the compiler cannot skip, then empties it.
void WipeString(std::string& secret);

}  // namespace tabrix
