// UTF-8 text operations of formula functions.
#include "xlsx/evaluator/unicode_text.h"

#include <locale.h>
#include <wctype.h>

#include <vector>

#include "support/utf8.h"

namespace tabrix::xlsx::eval {
namespace {

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// A UTF-8 locale for case mapping beyond ASCII; null when the system has none.
locale_t CaseLocale() {
  static locale_t locale = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (!l) l = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(nullptr));
    return l;
  }();
  return locale;
}

char32_t MapCase(char32_t cp, bool upper) {
  if (cp < 0x80) return static_cast<char32_t>(upper ? AsciiUpper(static_cast<char>(cp))
                                                    : AsciiLower(static_cast<char>(cp)));
  locale_t l = CaseLocale();
  if (!l) return cp;
  // Excel keeps the sharp s as it is in upper case; so does the C library.
  wint_t mapped = upper ? towupper_l(static_cast<wint_t>(cp), l)
                        : towlower_l(static_cast<wint_t>(cp), l);
  return static_cast<char32_t>(mapped);
}

std::string MapText(std::string_view text, bool upper) {
  std::string out;
  out.reserve(text.size());
  if (IsAscii(text)) {
    for (char c : text) out += upper ? AsciiUpper(c) : AsciiLower(c);
    return out;
  }
  for (std::size_t i = 0; i < text.size();) utf8::Append(out, MapCase(utf8::Decode(text, i), upper));
  return out;
}

std::vector<char32_t> CodePoints(std::string_view text) {
  std::vector<char32_t> out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) out.push_back(MapCase(utf8::Decode(text, i), false));
  return out;
}

}  // namespace

std::size_t CharacterCount(std::string_view text) { return utf8::CharacterCount(text); }

std::string_view CharacterSlice(std::string_view text, std::size_t start, std::size_t count) {
  const std::size_t begin = utf8::Advance(text, 0, start);
  return text.substr(begin, utf8::Advance(text, begin, count) - begin);
}

std::string ToUpperText(std::string_view text) { return MapText(text, true); }
std::string ToLowerText(std::string_view text) { return MapText(text, false); }
std::string FoldCase(std::string_view text) { return MapText(text, false); }

int CompareTextNoCase(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
      unsigned char x = static_cast<unsigned char>(AsciiLower(a[i]));
      unsigned char y = static_cast<unsigned char>(AsciiLower(b[i]));
      if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
  }
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    char32_t x = MapCase(utf8::Decode(a, i), false);
    char32_t y = MapCase(utf8::Decode(b, j), false);
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
  }
  return CompareTextNoCase(a, b) == 0;
}

bool HasWildcards(std::string_view pattern) {
  return pattern.find_first_of("*?~") != std::string_view::npos;
}

bool WildcardMatch(std::string_view pattern, std::string_view text) {
  // Pattern elements: a literal code point, or one of the two wildcards.
  struct Element {
    char32_t cp;
    enum : unsigned char { Literal, Any, Star } kind;
  };
  std::vector<Element> p;
  p.reserve(pattern.size());
  for (std::size_t i = 0; i < pattern.size();) {
    char32_t cp = utf8::Decode(pattern, i);
    if (cp == '~' && i < pattern.size()) {
      p.push_back({MapCase(utf8::Decode(pattern, i), false), Element::Literal});
    } else if (cp == '*') {
      p.push_back({0, Element::Star});
    } else if (cp == '?') {
      p.push_back({0, Element::Any});
    } else {
      p.push_back({MapCase(cp, false), Element::Literal});
    }
  }
  std::vector<char32_t> t = CodePoints(text);
  // Greedy matching with backtracking to the last star.
  std::size_t pi = 0, ti = 0, starP = std::string::npos, starT = 0;
  while (ti < t.size()) {
    if (pi < p.size() && p[pi].kind == Element::Star) {
      starP = pi++;
      starT = ti;
    } else if (pi < p.size() && (p[pi].kind == Element::Any || p[pi].cp == t[ti])) {
      ++pi;
      ++ti;
    } else if (starP != std::string::npos) {
      pi = starP + 1;
      ti = ++starT;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi].kind == Element::Star) ++pi;
  return pi == p.size();
}

}  // namespace tabrix::xlsx::eval
