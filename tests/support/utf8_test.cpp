// The one UTF-8 policy: well-formed sequences (and surrogates in their three-byte form) decode,
// every other byte reads as U+FFFD; counting, cutting, repairing and encoding follow the same rule.
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

TEST(Utf8, IllFormedBytesReadAsReplacementCharacters) {
  constexpr char32_t R = 0xFFFD;
  EXPECT_EQ(CodePoints("Z\xFCrich"), (CP{'Z', R, 'r', 'i', 'c', 'h'}));
  EXPECT_EQ(CodePoints("\x80\x9F"), (CP{R, R}));
  // Overlong forms: each byte on its own.
  EXPECT_EQ(CodePoints("\xC0\xAF"), (CP{R, R}));
  EXPECT_EQ(CodePoints("\xE0\x9F\xBF"), (CP{R, R, R}));
  EXPECT_EQ(CodePoints("\xF0\x8F\xBF\xBF"), (CP{R, R, R, R}));
  // Values above U+10FFFF and bytes no sequence starts with.
  EXPECT_EQ(CodePoints("\xF4\x90\x80\x80"), (CP{R, R, R, R}));
  EXPECT_EQ(CodePoints("\xF8\xFF"), (CP{R, R}));
  // A cut sequence: the lead byte alone, then what follows decodes normally.
  EXPECT_EQ(CodePoints("\xE6\x97"), (CP{R, R}));
  EXPECT_EQ(CodePoints("\xC3" "A\xC3\xA4"), (CP{R, 'A', 0xE4}));
  // A surrogate in its three-byte form is one character: the surrogate.
  EXPECT_EQ(CodePoints("\xED\xA0\x80x\xED\xBF\xBF"), (CP{0xD800, 'x', 0xDFFF}));
}

TEST(Utf8, CountingAndCuttingFollowThePolicy) {
  const std::string_view text = "Z\xFCri\xC3\xA4\xF0\x9F\x98\x80\xE6\x97";
  EXPECT_EQ(CharacterCount(text), 8u);  // Z ? r i ä 😀 ? ?
  EXPECT_EQ(Advance(text, 0, 5), 6u);
  EXPECT_EQ(Advance(text, 6, 1), 10u);
  EXPECT_EQ(Advance(text, 10, 1), 11u);
  EXPECT_EQ(Advance(text, 0, 100), text.size());
}

TEST(Utf8, RepairedTextIsWellFormedAndKeepsGoodText) {
  const std::string good = "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80\xED\xA0\x80";
  EXPECT_TRUE(IsWellFormed(good));
  EXPECT_EQ(Repaired(good), good);
  EXPECT_FALSE(IsWellFormed("Z\xFCrich"));
  EXPECT_EQ(Repaired("Z\xFCrich \x80" "5 \xC3\xA9"), "Z\uFFFDrich \uFFFD" "5 \u00E9");
  const std::string repaired = Repaired("\xC0\xAF\xFF\xE6\x97");
  EXPECT_EQ(repaired, "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_TRUE(IsWellFormed(repaired));
}

TEST(Utf8, LegacyTextReadsAsWindows1252) {
  EXPECT_EQ(ReadAsWindows1252("Z\xFCrich \x80\x8A\x9F"), "Z\u00FCrich \u20AC\u0160\u0178");
  // The five bytes Windows-1252 leaves undefined keep their Latin-1 value.
  EXPECT_EQ(ReadAsWindows1252("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");
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
  EXPECT_EQ(out, "\xED\xA0\x80\xEF\xBF\xBD");
}

}  // namespace
}  // namespace tabrix::utf8
