// The one UTF-8 decoder and encoder of the program: formula text functions, ODBC wide text, text
// files, column fitting, number formats, definition files, database text and workbook XML all
// read text character by character through it, with one policy for bytes that are not UTF-8.
//
// Policy: a well-formed sequence is the shortest form of a code point up to U+10FFFF. A surrogate
// code point (U+D800..U+DFFF) in its three-byte form (ED A0..BF xx, as UTF-16 sources such as
// SQLite hand over a lone surrogate) is one character too, the surrogate itself, so that it can
// be kept or escaped where it ends up. A byte that does not begin either (a stray continuation
// byte, a truncated or overlong sequence, a value above U+10FFFF, bytes 0xF8..0xFF) is one
// character on its own: U+FFFD, the replacement character. Decoding goes on with the next byte.
// Legacy 8-bit files are another matter: ReadAsWindows1252 reads a whole file in that code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tabrix::utf8 {

inline constexpr char32_t kReplacement = 0xFFFD;

// Decodes the character at s[i] (i < s.size()) and moves i past it: past the whole sequence
// when it is well-formed, past the one byte otherwise (which reads as U+FFFD).
char32_t DecodeSlow(std::string_view s, std::size_t& i);
inline char32_t Decode(std::string_view s, std::size_t& i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) {
    ++i;
    return c;
  }
  return DecodeSlow(s, i);
}

// Number of characters of the text, and the byte index `count` characters after `from`
// (clipped to the end), under the same policy.
std::size_t CharacterCount(std::string_view s);
std::size_t Advance(std::string_view s, std::size_t from, std::size_t count);

// Appends the UTF-8 form of a code point; a surrogate gets its three-byte form (see the policy),
// values above U+10FFFF are written as U+FFFD.
void Append(std::string& out, char32_t cp);

// True when every byte of the text belongs to a character of the policy (no U+FFFD from a bad
// byte would be read).
bool IsWellFormed(std::string_view s);

// The text with each bad byte replaced by U+FFFD; the text itself when it is well-formed.
std::string Repaired(std::string_view s);

// The Windows-1252 character of a byte (the five bytes that code page leaves undefined, 0x81,
// 0x8D, 0x8F, 0x90 and 0x9D, read as the Latin-1 code point of the same value).
char32_t FromWindows1252(unsigned char byte);
// UTF-8 text of 8-bit text in the Windows-1252 code page.
std::string ReadAsWindows1252(std::string_view bytes);

}  // namespace tabrix::utf8
