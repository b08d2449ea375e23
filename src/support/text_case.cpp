// Case folding of user texts on ICU, with a fast path for ASCII text.
#include "support/text_case.h"

#include <unicode/stringpiece.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace tabrix {
namespace {

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

char AsciiFolded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string CaseFolded(std::string_view text) {
  std::string out;
  if (IsAscii(text)) {
    out.reserve(text.size());
    for (char c : text) out.push_back(AsciiFolded(c));
    return out;
  }
  icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
  unicode.foldCase(U_FOLD_CASE_DEFAULT);
  unicode.toUTF8String(out);
  return out;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (AsciiFolded(a[i]) != AsciiFolded(b[i])) return false;
    return true;
  }
  return CaseFolded(a) == CaseFolded(b);
}

}  // namespace tabrix
