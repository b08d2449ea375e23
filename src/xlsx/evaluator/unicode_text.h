// UTF-8 text operations that formula functions need: counting and cutting by characters, case
// mapping, case-insensitive comparison and the wildcard patterns of criteria and lookups
// ("*" any run, "?" one character, "~" escapes the next).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tabrix::xlsx::eval {

// Number of characters (code points; a byte that is not UTF-8 is one character, see
// support/utf8.h).
std::size_t CharacterCount(std::string_view text);
// `count` characters from character `start` (0-based); clipped to the text.
std::string_view CharacterSlice(std::string_view text, std::size_t start, std::size_t count);

std::string ToUpperText(std::string_view text);
std::string ToLowerText(std::string_view text);
// Folded for case-insensitive comparison (lower case).
std::string FoldCase(std::string_view text);

// Case-insensitive comparison of two texts: <0, 0, >0.
int CompareTextNoCase(std::string_view a, std::string_view b);
bool EqualsNoCase(std::string_view a, std::string_view b);

// True when the text contains an unescaped wildcard ("*" or "?") or a "~" escape.
bool HasWildcards(std::string_view pattern);
// Case-insensitive match of the whole text against a wildcard pattern.
bool WildcardMatch(std::string_view pattern, std::string_view text);

}  // namespace tabrix::xlsx::eval
