// UTF-8 decoding and encoding for every part of the program that reads text character by
// character (formula text functions, ODBC wide text, text files, column fitting, number formats,
// definition files, field chunks), with one policy for bytes that are not UTF-8.
//
// Policy for bad bytes: a well-formed sequence is the shortest form of a code point up to
// U+10FFFF that is not a surrogate (U+D800..U+DFFF). A byte that does not begin a well-formed
// sequence (a stray continuation byte, a truncated or overlong sequence, an encoded surrogate,
// a value above U+10FFFF, bytes 0xF8..0xFF) is one character on its own: the Windows-1252
// character of that byte, so legacy 8-bit text keeps its letters ("Z\xFCrich" reads "Zürich",
// "\x80" reads "€"). The five bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// read as the Latin-1 code point of the same value. Decoding goes on with the next byte.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tabrix::utf8 {

// The Windows-1252 character of a byte 0x80..0xFF (see the policy above).
char32_t FromWindows1252(unsigned char byte);

// Decodes the character at s[i] (i < s.size()) and moves i past it: past the whole sequence
// when it is well-formed, past the one byte otherwise.
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

// Appends the UTF-8 form of a code point; surrogates and values above U+10FFFF, which have
// none, are written as U+FFFD.
void Append(std::string& out, char32_t cp);

// Well-formed UTF-8 of the text: the text itself when it is already, otherwise each bad byte
// replaced by the UTF-8 form of its Windows-1252 character.
std::string Repaired(std::string_view s);

}  // namespace tabrix::utf8
