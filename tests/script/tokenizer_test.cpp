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

TEST(GetToken, StatementHeaderSplitsIntoWordsOperatorsAndPunctuation) {
  EXPECT_EQ(AllTokens("@1=EXECSQL(CONNECT=db1)"),
            (Tokens{"@1", "=", "EXECSQL", "(", "CONNECT", "=", "db1", ")", ""}));
  EXPECT_EQ(AllTokens("  a,b\t(c)\r\n"), (Tokens{"a", ",", "b", "(", "c", ")", ""}));
}

TEST(GetToken, OperatorsTakeAtMostTwoCharacters) {
  EXPECT_EQ(AllTokens("a<=b"), (Tokens{"a", "<=", "b", ""}));
  EXPECT_EQ(AllTokens("a = = b"), (Tokens{"a", "=", "=", "b", ""}));
  EXPECT_EQ(AllTokens("x==y"), (Tokens{"x", "==", "y", ""}));
  EXPECT_EQ(AllTokens("x<>=y"), (Tokens{"x", "<>", "=", "y", ""}));
  EXPECT_EQ(AllTokens("=<"), (Tokens{"=<", ""}));
}

TEST(GetToken, QuotedRunsKeepBlanksAndSpecialCharacters) {
  EXPECT_EQ(AllTokens("\"Sheet 1\"", false), (Tokens{"Sheet 1", ""}));
  EXPECT_EQ(AllTokens("\"Sheet 1\"", true), (Tokens{"\"Sheet 1\"", ""}));
  EXPECT_EQ(AllTokens("'a=(b,c)/*d'", false), (Tokens{"a=(b,c)/*d", ""}));
  // Doubled quotes stay two characters.
  EXPECT_EQ(AllTokens("'it''s'", false), (Tokens{"it''s", ""}));
  EXPECT_EQ(AllTokens("'it''s'", true), (Tokens{"'it''s'", ""}));
  // The other kind of quote is an ordinary character inside a run.
  EXPECT_EQ(AllTokens("\"it's\" x", false), (Tokens{"it's", "x", ""}));
}

TEST(GetToken, QuotedRunContinuesTheWord) {
  EXPECT_EQ(AllTokens("ab\"c d\"e", false), (Tokens{"abc de", ""}));
  EXPECT_EQ(AllTokens("ab\"c d\"e", true), (Tokens{"ab\"c d\"e", ""}));
  EXPECT_EQ(AllTokens("'Sales 2'!B4,C5", true), (Tokens{"'Sales 2'!B4", ",", "C5", ""}));
}

TEST(GetToken, UnclosedQuoteTakesTheRestOfTheLine) {
  EXPECT_EQ(AllTokens("a \"b c, d", false), (Tokens{"a", "b c, d", ""}));
  EXPECT_EQ(AllTokens("a \"b c, d", true), (Tokens{"a", "\"b c, d", ""}));
  // A doubled quote at the very end does not close the run.
  EXPECT_EQ(AllTokens("'x''", false), (Tokens{"x''", ""}));
}

TEST(GetToken, CommentOpenerIsItsOwnToken) {
  EXPECT_EQ(AllTokens("a/b"), (Tokens{"a/b", ""}));
  EXPECT_EQ(AllTokens("a/*b"), (Tokens{"a", "/*", "b", ""}));
  EXPECT_EQ(AllTokens("/"), (Tokens{"/", ""}));
}

TEST(GetToken, PositionIsLeftAfterTheToken) {
  std::string line = "KEY = value";
  int position = 1;
  EXPECT_EQ(GetToken(line, position, false), "KEY");
  EXPECT_EQ(position, 4);
  EXPECT_EQ(GetToken(line, position, false), "=");
  EXPECT_EQ(position, 6);
  EXPECT_EQ(GetToken(line, position, false), "value");
  EXPECT_GT(position, static_cast<int>(line.size()));
  EXPECT_EQ(GetToken(line, position, false), "");
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

TEST(SkipToCommentEnd, FindsEndOrKeepsCommentOpen) {
  bool inComment = false;
  int position = 1;
  SkipToCommentEnd("still inside", position, inComment);
  EXPECT_TRUE(inComment);
  EXPECT_GT(position, 12);

  std::string line = "xx */ SELECT";
  position = 1;
  SkipToCommentEnd(line, position, inComment);
  EXPECT_FALSE(inComment);
  EXPECT_EQ(position, 6);
  EXPECT_EQ(GetToken(line, position, false), "SELECT");

  // The search starts at the position given.
  line = "*/ a */b";
  position = 3;
  SkipToCommentEnd(line, position, inComment);
  EXPECT_FALSE(inComment);
  EXPECT_EQ(line.substr(static_cast<std::size_t>(position - 1)), "b");
}

TEST(TrimTextEnd, CutsAtNulThenTrailingBlanks) {
  EXPECT_EQ(TrimTextEnd("abc \t\r\n"), "abc");
  EXPECT_EQ(TrimTextEnd(std::string("ab \0cd", 6)), "ab");
  EXPECT_EQ(TrimTextEnd("  lead"), "  lead");
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

TEST_F(WithParameters, FirstMatchingEntryInTableOrderWins) {
  Set({{"%Y%", "7"}, {"%Y", "x"}});
  EXPECT_EQ(SubstituteParameters("%Y%"), "7");
  Set({{"%Y", "x"}, {"%Y%", "7"}});
  EXPECT_EQ(SubstituteParameters("%Y%"), "x%");
}

TEST_F(WithParameters, ValuesAreNotScannedAgainAndQuotesAreIgnored) {
  Set({{"%A%", "%B%"}, {"%B%", "b"}});
  EXPECT_EQ(SubstituteParameters("x=%A% and '%B%'"), "x=%B% and 'b'");
}

TEST_F(WithParameters, MatchIsCaseSensitiveAndSkipsEmptyNames) {
  Set({{"", "never"}, {"%year%", "2009"}});
  EXPECT_EQ(SubstituteParameters("%YEAR% %year%"), "%YEAR% 2009");
}

TEST_F(WithParameters, TrailingBlanksGoOnlyWhenParametersExist) {
  Set({});
  EXPECT_EQ(SubstituteParameters("a b \t\r\n"), "a b \t\r\n");
  Set({{"%P%", "p"}});
  EXPECT_EQ(SubstituteParameters("a b \t\r\n"), "a b");
  // A value that ends in blanks loses them too at the end of the text.
  Set({{"%P%", "p  "}});
  EXPECT_EQ(SubstituteParameters("x %P%"), "x p");
}

TEST_F(WithParameters, PrepareStatementTextRemovesCommentsOutsideQuotes) {
  bool inComment = true;
  EXPECT_EQ(PrepareStatementText("SELECT a/*x*/b FROM t", inComment), "SELECT ab FROM t");
  EXPECT_FALSE(inComment);
  EXPECT_EQ(PrepareStatementText("SELECT '/*not*/' , \"a/*b\" FROM t", inComment),
            "SELECT '/*not*/' , \"a/*b\" FROM t");
  EXPECT_FALSE(inComment);
  EXPECT_EQ(PrepareStatementText("SELECT 'it''s /* x' /*c*/ FROM t", inComment),
            "SELECT 'it''s /* x'  FROM t");
  EXPECT_EQ(PrepareStatementText("SELECT a /* open", inComment), "SELECT a");
  EXPECT_TRUE(inComment);
  EXPECT_EQ(PrepareStatementText("a/b /**/c", inComment), "a/b c");
  EXPECT_FALSE(inComment);
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

// Comment state that spans lines: the caller carries it with SkipToCommentEnd.
TEST(CommentAcrossLines, OpenCommentIsClosedOnALaterLine) {
  std::vector<std::string> lines = {"SELECT a /* first", "still comment", "end */ FROM t"};
  bool inComment = false;
  std::string collected;
  for (const std::string& line : lines) {
    int position = 1;
    std::string_view rest = line;
    if (inComment) {
      SkipToCommentEnd(line, position, inComment);
      if (inComment) continue;
      rest = std::string_view(line).substr(static_cast<std::size_t>(position - 1));
    }
    collected += PrepareStatementText(rest, inComment, {});
  }
  EXPECT_EQ(collected, "SELECT a FROM t");
  EXPECT_FALSE(inComment);
}

}  // namespace
}  // namespace tabrix
