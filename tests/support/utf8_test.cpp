// The one UTF-8 policy: well-formed sequences decode, every other byte reads as its
// Windows-1252 character; counting, cutting, repairing and encoding follow the same rule.
#include "support/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tabrix::utf8 {
namespace {

std::vector<char32_t> CodePoints(std::string_view text) {
  std::vector<char32_t> out;
  for (std::size_t i = 0; i < text.size();) out.push_back(Decode(text, i));
  return out;
}

using CP = std::vector<char32_t>;

TEST(Utf8, WellFormedSequencesAtTheirBoundaries) {
  EXPECT_EQ(CodePoints("a\xC2\x80\xDF\xBF"), (CP{'a', 0x80, 0x7FF}));
  EXPECT_EQ(CodePoints("\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF"),
            (CP{0x800, 0xD7FF, 0xE000, 0xFFFF}));
  EXPECT_EQ(CodePoints("\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"), (CP{0x10000, 0x10FFFF}));
}

TEST(Utf8, IllFormedBytesReadAsWindows1252) {
  // Legacy 8-bit text keeps its letters.
  EXPECT_EQ(CodePoints("Z\xFCrich"), (CP{'Z', 0xFC, 'r', 'i', 'c', 'h'}));
  EXPECT_EQ(CodePoints("\x80\x8A\x9F"), (CP{0x20AC, 0x160, 0x178}));
  // The five bytes Windows-1252 leaves undefined keep their Latin-1 value.
  EXPECT_EQ(CodePoints("\x81\x8D\x8F\x90\x9D"), (CP{0x81, 0x8D, 0x8F, 0x90, 0x9D}));
  // Overlong forms: each byte on its own.
  EXPECT_EQ(CodePoints("\xC0\xAF"), (CP{0xC0, 0xAF}));
  EXPECT_EQ(CodePoints("\xC1\xBF"), (CP{0xC1, 0xBF}));
  EXPECT_EQ(CodePoints("\xE0\x9F\xBF"), (CP{0xE0, 0x178, 0xBF}));
  EXPECT_EQ(CodePoints("\xF0\x8F\xBF\xBF"), (CP{0xF0, 0x8F, 0xBF, 0xBF}));
  // Encoded surrogates and values above U+10FFFF.
  EXPECT_EQ(CodePoints("\xED\xA0\x80"), (CP{0xED, 0xA0, 0x20AC}));
  EXPECT_EQ(CodePoints("\xF4\x90\x80\x80"), (CP{0xF4, 0x90, 0x20AC, 0x20AC}));
  EXPECT_EQ(CodePoints("\xF8\xFF"), (CP{0xF8, 0xFF}));
  // A cut sequence: the lead byte alone, then what follows decodes normally.
  EXPECT_EQ(CodePoints("\xE6\x97"), (CP{0xE6, 0x2014}));
  EXPECT_EQ(CodePoints("\xE6\x97x"), (CP{0xE6, 0x2014, 'x'}));
  EXPECT_EQ(CodePoints("\xC3" "A\xC3\xA4"), (CP{0xC3, 'A', 0xE4}));
}

TEST(Utf8, CountingAndCuttingFollowThePolicy) {
  const std::string_view text = "Z\xFCri\xC3\xA4\xF0\x9F\x98\x80\xE6\x97";
  EXPECT_EQ(CharacterCount(text), 8u);  // Z ü r i ä 😀 æ —
  EXPECT_EQ(Advance(text, 0, 5), 6u);
  EXPECT_EQ(Advance(text, 6, 1), 10u);
  EXPECT_EQ(Advance(text, 10, 1), 11u);
  EXPECT_EQ(Advance(text, 0, 100), text.size());
}

TEST(Utf8, RepairedTextIsWellFormedAndKeepsGoodText) {
  const std::string good = "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80";
  EXPECT_EQ(Repaired(good), good);
  EXPECT_EQ(Repaired("Z\xFCrich \x80" "5 \xC3\xA9"), "Z\u00FCrich \u20AC" "5 \u00E9");
  const std::string repaired = Repaired("\xED\xA0\x80\xC0\xAF\xFF");
  EXPECT_EQ(Repaired(repaired), repaired);
  EXPECT_EQ(CharacterCount(repaired), 6u);
}

TEST(Utf8, EncoderWritesEveryScalarValueAndReplacesTheRest) {
  std::string out;
  for (char32_t cp : {char32_t{0x7F}, char32_t{0x80}, char32_t{0x7FF}, char32_t{0x800},
                      char32_t{0xFFFF}, char32_t{0x10000}, char32_t{0x10FFFF}})
    Append(out, cp);
  EXPECT_EQ(CodePoints(out), (CP{0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0x10000, 0x10FFFF}));
  out.clear();
  Append(out, 0xD800);
  Append(out, 0x110000);
  EXPECT_EQ(out, "\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace tabrix::utf8
