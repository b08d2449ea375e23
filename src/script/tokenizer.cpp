// Tokens, comments and parameter substitution of definition-file and script lines.
#include "script/tokenizer.h"

#include <cstddef>


namespace tabrix {

namespace {

bool IsOperatorChar(char c) { return c == '=' || c == '<' || c == '>'; }

bool IsQuoteChar(char c) { return c == '"' || c == '\''; }

// Length of the line as a position bound (positions are 1-based).
int LineLength(std::string_view line) { return static_cast<int>(line.size()); }

// Character at a 1-based position; the caller checks the bound.
char At(std::string_view line, int position) { return line[static_cast<std::size_t>(position - 1)]; }

}  // namespace

bool IsBlankChar(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

void SkipBlanks(std::string_view line, int& position) {
  if (position < 1) position = 1;
  while (position <= LineLength(line) && IsBlankChar(At(line, position))) ++position;
}

std::string GetToken(std::string_view line, int& position, bool keepQuotes) {
  SkipBlanks(line, position);
  std::string token;
  const int length = LineLength(line);
  while (position <= length) {
    const char c = At(line, position);
    if (IsBlankChar(c)) return token;

    if (IsOperatorChar(c)) {
      if (token.empty()) {
        token += c;
        ++position;
        if (position <= length && IsOperatorChar(At(line, position))) {
          token += At(line, position);
          ++position;
        }
      }
      return token;
    }

    if (c == '(' || c == ')' || c == ',') {
      if (token.empty()) {
        token += c;
        ++position;
      }
      return token;
    }

    if (IsQuoteChar(c)) {
      const char quote = c;
      if (keepQuotes) token += quote;
      ++position;
      // The run ends on a lone quote of its kind; a doubled quote stays two characters.
      while (position <= length) {
        const char d = At(line, position);
        if (d != quote) {
          token += d;
          ++position;
          continue;
        }
        if (position < length && At(line, position + 1) == quote) {
          token += quote;
          token += quote;
          position += 2;
          continue;
        }
        if (keepQuotes) token += quote;
        break;
      }
      ++position;  // over the closing quote (or past the end of an unclosed run)
      continue;
    }

    if (c == '/' && position < length && At(line, position + 1) == '*') {
      if (token.empty()) {
        token = "/*";
        position += 2;
      }
      return token;
    }

    token += c;
    ++position;
  }
  return token;
}

std::string StripQuotes(std::string_view token) {
  if (token.size() >= 2 && IsQuoteChar(token.front()) && token.back() == token.front())
    return std::string(token.substr(1, token.size() - 2));
  return std::string(token);
}

void SkipToCommentEnd(std::string_view line, int& position, bool& inComment) {
  inComment = true;
  if (position < 1) position = 1;
  const std::size_t from = static_cast<std::size_t>(position - 1);
  const std::size_t found = from <= line.size() ? line.find("*/", from) : std::string_view::npos;
  if (found == std::string_view::npos) {
    position = LineLength(line) + 1;
    return;
  }
  position = static_cast<int>(found) + 3;  // the character after the "/"
  inComment = false;
}

std::string TrimTextEnd(std::string_view text) {
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  std::size_t end = text.size();
  while (end > 0 && IsBlankChar(text[end - 1])) --end;
  return std::string(text.substr(0, end));
}

std::string SubstituteParameters(std::string_view text, std::span<const ParameterEntry> parameters) {
  if (parameters.empty()) return std::string(text);

  std::string result;
  result.reserve(text.size());
  std::size_t position = 0;
  while (position < text.size()) {
    bool replaced = false;
    for (const ParameterEntry& parameter : parameters) {
      if (parameter.Name.empty()) continue;
      if (text.compare(position, parameter.Name.size(), parameter.Name) == 0) {
        result += parameter.Value;
        position += parameter.Name.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) result += text[position++];
  }
  return TrimTextEnd(result);
}

std::string PrepareStatementText(std::string_view text, bool& inComment,
                                 std::span<const ParameterEntry> parameters) {
  inComment = false;
  std::string result;
  result.reserve(text.size());
  std::size_t position = 0;
  while (position < text.size()) {
    const char c = text[position];
    if (IsQuoteChar(c)) {
      // Quoted run copied unchanged: doubled quotes stay inside it.
      result += c;
      ++position;
      while (position < text.size()) {
        const char d = text[position];
        if (d == c) {
          if (position + 1 < text.size() && text[position + 1] == c) {
            result += c;
            result += c;
            position += 2;
            continue;
          }
          result += c;
          ++position;
          break;
        }
        result += d;
        ++position;
      }
      continue;
    }
    if (c == '/' && position + 1 < text.size() && text[position + 1] == '*') {
      const std::size_t end = text.find("*/", position + 2);
      if (end == std::string_view::npos) {
        inComment = true;
        break;
      }
      position = end + 2;
      continue;
    }
    result += c;
    ++position;
  }
  return SubstituteParameters(TrimTextEnd(result), parameters);
}

}  // namespace tabrix
