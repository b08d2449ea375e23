// The function script: its lexical layer (tokens, quoted runs, comments, text preparation,
// parameter substitution) and the statement parser reading it as the [SQL] section of a
// definition file, with up to three run parameters and two data sources (the first connected).
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <string>

#include "component/run_context.h"
#include "support/run_log.h"
#include "fuzz/support/fuzz_support.h"
#include "script/statement_parser.h"
#include "script/tokenizer.h"

using namespace tabrix;

namespace {

void Tokenize(std::string_view text, bool keepQuotes) {
  int position = 1;
  // Every token takes at least one character: more calls than characters means a stuck loop.
  for (std::size_t calls = 0;; ++calls) {
    fuzz::Require(calls <= text.size() + 1, "GetToken advances");
    const int before = position;
    const std::string token = GetToken(text, position, keepQuotes);
    fuzz::Require(position >= before && position <= static_cast<int>(text.size()) + 2,
                  "token position stays inside the text");
    if (token.empty() && position > static_cast<int>(text.size())) break;
    fuzz::Require(position > before, "GetToken advances");
    (void)StripQuotes(token);
    if (token == "/*") {
      bool inComment = false;
      SkipToCommentEnd(text, position, inComment);
      fuzz::Require(position <= static_cast<int>(text.size()) + 2, "comment end inside the text");
    }
  }
}

void CheckStatement(const RunContext& state, const StatementRecord& statement) {
  fuzz::Require(statement.FunctionType >= kFunctionExecSql && statement.FunctionType <= kFunctionReport,
                "function type known");
  fuzz::Require(statement.DataSourceIndex >= 0 && statement.DataSourceIndex < std::max<int>(1, state.DataSourceCount),
                "data source within the table");
  fuzz::Require(statement.GroupCount >= 0 && statement.GroupCount <= kMaxGroups, "at most ten groups");
  fuzz::Require(statement.FillOrder >= 0 && statement.FillOrder <= 3, "fill order known");
  fuzz::Require(statement.Type == 0 || statement.Type == 1, "table type known");
  fuzz::Require(statement.Copy == 0 || statement.Copy == 1, "copy flag");
  fuzz::Require(statement.Reserve == 1 || statement.Reserve == 2, "reserve 1 or 2");
  fuzz::Require(statement.NoData >= 0 && statement.NoData <= 2, "no-data action known");
}

void ParseScript(RunContext& state, std::string_view text) {
  state.DataSources[0].Name = "db";
  state.DataSources[1].Name = "other";
  state.DataSourceCount = 2;
  state.Connected[0] = true;
  state.Log = RunLog::Create(fuzz::ScratchPath(".log"));
  const std::string& path = fuzz::ScratchPath(".fwf");
  fuzz::WriteScratchFile(path, "Foliowright\n[SQL]\n" + std::string(text));
  int statements = 0;
  ParseFunctionScript(state, path, [&](const StatementRecord& statement, ConnectionPtr, const std::string&,
                                       const std::string&, const std::string&) {
    CheckStatement(state, statement);
    ++statements;
  });
  fuzz::Require(statements <= static_cast<int>(text.size()), "no more statements than characters");
  state.Log.reset();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::InputReader input(data, size);
  RunContext state;
  const int parameters = input.Byte() % 4;
  for (int i = 0; i < parameters; ++i) {
    state.Parameters[static_cast<std::size_t>(i)].Name = std::string(input.ShortString(8));
    state.Parameters[static_cast<std::size_t>(i)].Value = std::string(input.ShortString(16));
  }
  state.ParameterCount = static_cast<std::int16_t>(parameters);
  const std::string_view text = input.Rest();

  fuzz::ExpectOnlyAutomationErrors("tokenizer", [&] {
    Tokenize(text, false);
    Tokenize(text, true);
    int position = 1;
    SkipBlanks(text, position);
    const std::string trimmed = TrimTextEnd(text);
    fuzz::Require(trimmed.size() <= text.size(), "trimming never grows the text");
    (void)SubstituteParameters(text, state.ParameterTable());
    bool inComment = false;
    (void)PrepareStatementText(text, inComment, state.ParameterTable());
  });
  fuzz::ExpectOnlyAutomationErrors("statement parser", [&] { ParseScript(state, text); });
  return 0;
}
