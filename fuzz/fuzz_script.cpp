// The script's lexical layer: tokens, quoted runs, comments, text preparation and parameter
// substitution, on arbitrary statement text with up to three run parameters.
#include <cstddef>
#include <cstdint>
#include <string>

#include "component/run_state.h"
#include "support/run_log.h"
#include "fuzz/support/fuzz_support.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::InputReader input(data, size);
  RunState& state = CurrentRunState();
  state = RunState{};
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
    (void)SubstituteParameters(text);
    bool inComment = false;
    (void)PrepareStatementText(text, inComment);
  });
  return 0;
}
