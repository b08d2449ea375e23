// Lexical layer shared by the definition file, the function script and the list parameters.
// Positions are 1-based character indexes (bytes of UTF-8 text), advanced by reference.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tabrix {

// One run parameter: the name that stands in texts, its title and the value put in its place.
struct ParameterEntry {
  std::string Name;
  std::string Title;
  std::string Value;
};

// Blank characters: space, tab, line feed, carriage return.
bool IsBlankChar(char c);

void SkipBlanks(std::string_view line, int& position);
// Next token: a word (quoted runs included), a comparison operator of one or two of "=<>",
// one of "(", ")", ",", the comment opener "/*", or "" when only blanks remain.
std::string GetToken(std::string_view line, int& position, bool keepQuotes);
// Removes one pair of enclosing quotes (both " or both ').
std::string StripQuotes(std::string_view token);
// Searches "*/" from position; sets inComment and leaves position after it when found.
void SkipToCommentEnd(std::string_view line, int& position, bool& inComment);
// Cuts at the first NUL, then removes trailing blanks.
std::string TrimTextEnd(std::string_view text);
// Replaces parameter names by their values (the first matching row wins), then TrimTextEnd.
std::string SubstituteParameters(std::string_view text, std::span<const ParameterEntry> parameters);
// Removes comments (quoted runs kept), then substitutes parameters.
std::string PrepareStatementText(std::string_view text, bool& inComment,
                                 std::span<const ParameterEntry> parameters);

}  // namespace tabrix
