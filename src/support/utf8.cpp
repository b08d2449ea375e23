// UTF-8 decoding (bad bytes read as U+FFFD) and encoding; Windows-1252 text to UTF-8.
#include "support/utf8.h"

namespace tabrix::utf8 {
namespace {

// Windows-1252 characters of the bytes 0x80..0x9F (the undefined five keep their value).
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

inline bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the well-formed sequence at s[i] (lead byte >= 0x80), 0 when there is none.
std::size_t SequenceLength(std::string_view s, std::size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  const std::size_t left = s.size() - i;
  auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  if (c >= 0xC2 && c <= 0xDF) return left >= 2 && IsContinuation(at(1)) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (left < 3) return 0;
    // The second-byte range excludes overlong forms (E0); surrogates (ED A0..BF) count as
    // characters of their own (see the policy).
    const unsigned char low = c == 0xE0 ? 0xA0 : 0x80;
    const unsigned char high = 0xBF;
    return at(1) >= low && at(1) <= high && IsContinuation(at(2)) ? 3 : 0;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (left < 4) return 0;
    // Overlong forms (F0) and values above U+10FFFF (F4) are excluded the same way.
    const unsigned char low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
    return at(1) >= low && at(1) <= high && IsContinuation(at(2)) && IsContinuation(at(3)) ? 4
                                                                                           : 0;
  }
  return 0;
}

}  // namespace

char32_t FromWindows1252(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F ? kWindows1252High[byte - 0x80] : byte;
}

char32_t DecodeSlow(std::string_view s, std::size_t& i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  const std::size_t length = c < 0x80 ? 1 : SequenceLength(s, i);
  if (length == 0) {
    ++i;
    return kReplacement;
  }
  char32_t cp = length == 1 ? c : c & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k)
    cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  i += length;
  return cp;
}

std::size_t CharacterCount(std::string_view s) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < s.size(); ++count) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    const std::size_t length = SequenceLength(s, i);
    i += length == 0 ? 1 : length;
  }
  return count;
}

std::size_t Advance(std::string_view s, std::size_t from, std::size_t count) {
  std::size_t i = from;
  for (; i < s.size() && count > 0; --count) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const std::size_t length = c < 0x80 ? 1 : SequenceLength(s, i);
    i += length == 0 ? 1 : length;
  }
  return i;
}

void Append(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp <= 0x10FFFF) {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out += "\xEF\xBF\xBD";
  }
}

bool IsWellFormed(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    const std::size_t length = SequenceLength(s, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string Repaired(std::string_view s) {
  if (IsWellFormed(s)) return std::string(s);
  std::string out;
  out.reserve(s.size() + 16);
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const std::size_t length = c < 0x80 ? 1 : SequenceLength(s, i);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(s.substr(i, length));
      i += length;
    }
  }
  return out;
}

std::string ReadAsWindows1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (char b : bytes) Append(out, FromWindows1252(static_cast<unsigned char>(b)));
  return out;
}

}  // namespace tabrix::utf8
