// UTF-8 text operations of formula functions.
#include "xlsx/evaluator/unicode_text.h"

#include <locale.h>
#include <wctype.h>

#include <vector>

namespace tabrix::xlsx::eval {
namespace {

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// Decodes one code point at `i` and advances; malformed bytes decode as themselves.
char32_t Decode(std::string_view s, std::size_t& i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) {
    ++i;
    return c;
  }
  int extra = (c >= 0xF0 && c < 0xF8) ? 3 : (c >= 0xE0) ? 2 : (c >= 0xC0) ? 1 : 0;
  if (extra == 0 || i + static_cast<std::size_t>(extra) >= s.size()) {
    ++i;  // lone continuation byte or truncated sequence
    return c;
  }
  char32_t cp = c & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    unsigned char d = static_cast<unsigned char>(s[i + k]);
    if ((d & 0xC0) != 0x80) {
      ++i;
      return c;
    }
    cp = (cp << 6) | (d & 0x3F);
  }
  i += extra + 1;
  return cp;
}

void Encode(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

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
  for (std::size_t i = 0; i < text.size();) Encode(MapCase(Decode(text, i), upper), out);
  return out;
}

std::vector<char32_t> CodePoints(std::string_view text) {
  std::vector<char32_t> out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) out.push_back(MapCase(Decode(text, i), false));
  return out;
}

}  // namespace

std::size_t CharacterCount(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size();) {
    Decode(text, i);
    ++count;
  }
  return count;
}

std::string_view CharacterSlice(std::string_view text, std::size_t start, std::size_t count) {
  std::size_t i = 0;
  for (std::size_t n = 0; n < start && i < text.size(); ++n) Decode(text, i);
  std::size_t begin = i;
  for (std::size_t n = 0; n < count && i < text.size(); ++n) Decode(text, i);
  return text.substr(begin, i - begin);
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
    char32_t x = MapCase(Decode(a, i), false);
    char32_t y = MapCase(Decode(b, j), false);
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
    char32_t cp = Decode(pattern, i);
    if (cp == '~' && i < pattern.size()) {
      p.push_back({MapCase(Decode(pattern, i), false), Element::Literal});
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
