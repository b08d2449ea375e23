// The lexical layer: tokens, quotes, comments and parameter substitution.
#include "script/tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tabrix {
namespace {

std::vector<std::string> AllTokens(std::string_view line, bool keepQuotes = false) {
  std::vector<std::string> tokens;
  int position = 1;
  for (int guard = 0; guard < 100; ++guard) {
    std::string token = GetToken(line, position, keepQuotes);
    tokens.push_back(token);
    if (token.empty()) break;
  }
  return tokens;
}

using Tokens = std::vector<std::string>;

TEST(GetToken, BlanksOperatorsQuotesAndComments) {
  const struct {
    const char* line;
    bool keepQuotes;
    Tokens tokens;  // without the final empty token
  } cases[] = {
      {"  a,b\t(c)\r\n", false, {"a", ",", "b", "(", "c", ")"}},
      // Operators take at most two characters.
      {"a<=b", false, {"a", "<=", "b"}},
      {"a = = b", false, {"a", "=", "=", "b"}},
      {"x<>=y", false, {"x", "<>", "=", "y"}},
      {"=<", false, {"=<"}},
      // Quoted runs keep blanks and special characters; doubled quotes stay two characters; the
      // other kind of quote is an ordinary character inside a run.
      {"\"Sheet 1\"", false, {"Sheet 1"}},
      {"\"Sheet 1\"", true, {"\"Sheet 1\""}},
      {"'a=(b,c)/*d'", false, {"a=(b,c)/*d"}},
      {"'it''s'", false, {"it''s"}},
      {"'it''s'", true, {"'it''s'"}},
      {"\"it's\" x", false, {"it's", "x"}},
      // A quoted run continues the word.
      {"ab\"c d\"e", false, {"abc de"}},
      {"ab\"c d\"e", true, {"ab\"c d\"e"}},
      {"'Sales 2'!B4,C5", true, {"'Sales 2'!B4", ",", "C5"}},
      // An unclosed quote takes the rest of the line; a doubled quote at the end does not close.
      {"a \"b c, d", false, {"a", "b c, d"}},
      {"a \"b c, d", true, {"a", "\"b c, d"}},
      {"'x''", false, {"x''"}},
      // The comment opener is a token of its own; a lone slash is not.
      {"a/b", false, {"a/b"}},
      {"a/*b", false, {"a", "/*", "b"}},
      {"/", false, {"/"}},
  };
  for (const auto& c : cases) {
    Tokens expected = c.tokens;
    expected.push_back("");
    EXPECT_EQ(AllTokens(c.line, c.keepQuotes), expected) << c.line << (c.keepQuotes ? " (quotes kept)" : "");
  }
}

TEST(StripQuotes, RemovesOnlyOneMatchingPair) {
  EXPECT_EQ(StripQuotes("\"abc\""), "abc");
  EXPECT_EQ(StripQuotes("'a''b'"), "a''b");
  EXPECT_EQ(StripQuotes("\"\""), "");
  EXPECT_EQ(StripQuotes("\""), "\"");
  EXPECT_EQ(StripQuotes("\"abc'"), "\"abc'");
  EXPECT_EQ(StripQuotes("\"\"x\"\""), "\"x\"");
  EXPECT_EQ(StripQuotes("abc"), "abc");
}

// A parameter table for substitution: the rows of one test.
class WithParameters : public ::testing::Test {
 protected:
  void Set(std::vector<std::pair<std::string, std::string>> parameters) {
    table_.clear();
    for (const auto& [name, value] : parameters) table_.push_back(ParameterEntry{name, "", value});
  }
  std::string SubstituteParameters(std::string_view text) const { return tabrix::SubstituteParameters(text, table_); }
  std::string PrepareStatementText(std::string_view text, bool& inComment) const {
    return tabrix::PrepareStatementText(text, inComment, table_);
  }

  std::vector<ParameterEntry> table_;
};

TEST_F(WithParameters, SubstitutionRules) {
  // The first matching entry in table order wins.
  Set({{"%Y%", "7"}, {"%Y", "x"}});
  EXPECT_EQ(SubstituteParameters("%Y%"), "7");
  Set({{"%Y", "x"}, {"%Y%", "7"}});
  EXPECT_EQ(SubstituteParameters("%Y%"), "x%");
  // Values are not scanned again; quotes do not matter; names match with case; empty names never.
  Set({{"%A%", "%B%"}, {"%B%", "b"}, {"", "never"}, {"%year%", "2009"}});
  EXPECT_EQ(SubstituteParameters("x=%A% and '%B%' %YEAR% %year%"), "x=%B% and 'b' %YEAR% 2009");
}

TEST_F(WithParameters, TrailingBlanksGoOnlyWhenParametersExist) {
  Set({});
  EXPECT_EQ(SubstituteParameters("a b \t\r\n"), "a b \t\r\n");
  Set({{"%P%", "p"}});
  EXPECT_EQ(SubstituteParameters("a b \t\r\n"), "a b");
  // The text ends at a NUL character.
  EXPECT_EQ(SubstituteParameters(std::string("ab \0cd", 6)), "ab");
  // A value that ends in blanks loses them too at the end of the text.
  Set({{"%P%", "p  "}});
  EXPECT_EQ(SubstituteParameters("x %P%"), "x p");
}

// Comments in whole statements, single-quoted text and lines are in statement_parser_test.
TEST_F(WithParameters, PrepareStatementTextRemovesCommentsOutsideQuotes) {
  bool inComment = true;
  EXPECT_EQ(PrepareStatementText("SELECT \"a/*b\" FROM t", inComment), "SELECT \"a/*b\" FROM t");
  EXPECT_FALSE(inComment);
  EXPECT_EQ(PrepareStatementText("SELECT 'it''s /* x' /*c*/ FROM t", inComment), "SELECT 'it''s /* x'  FROM t");
  EXPECT_EQ(PrepareStatementText("a/b /**/c /* open", inComment), "a/b c");
  EXPECT_TRUE(inComment);
}

TEST_F(WithParameters, PrepareStatementTextSubstitutesAfterCommentRemoval) {
  Set({{"%Year%", "2009"}});
  bool inComment = false;
  // The name is assembled only after the comment between its halves is removed.
  EXPECT_EQ(PrepareStatementText("WHERE year = %Ye/* c */ar% /* tail", inComment),
            "WHERE year = 2009");
  EXPECT_TRUE(inComment);
  // Parameters inside a quoted string are replaced as well.
  EXPECT_EQ(PrepareStatementText("WHERE y = '%Year%'", inComment), "WHERE y = '2009'");
}

}  // namespace
}  // namespace tabrix
