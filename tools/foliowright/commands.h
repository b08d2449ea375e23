// The foliowright program's parts: exit statuses, the sub-command table entry, and the
// sub-commands each defined in a file of their own (running a report is the command without one).
#pragma once

#include <functional>
#include <string>

#include <CLI/CLI.hpp>

namespace foliowright {

// Exit statuses (documented in the help text and the guide).
constexpr int kExitOk = 0;              // report saved, every statement succeeded
constexpr int kExitNoReport = 1;        // the run ended early: no report
constexpr int kExitUsage = 2;           // wrong command line
constexpr int kExitStatementsFailed = 3;  // report saved, some statements failed or did not run
constexpr int kExitFindings = 4;        // check found mistakes

// What runs a command once its command line is parsed; returns the exit status.
using CommandAction = std::function<int()>;

// A sub-command: its name, a one-line summary for the main help, its own help text, and the
// function that declares its options and arguments on `command` and returns its action.
struct SubCommand {
  std::string name;
  std::string summary;
  std::string help;
  std::function<CommandAction(CLI::App& command)> define;
};

// The report run (the command without a sub-command): help text and definition.
extern const char* const kRunHelp;
CommandAction DefineRun(CLI::App& app);

// Sub-commands.
SubCommand EncodePasswordCommand();
SubCommand BatchCommand();
SubCommand CheckCommand();
SubCommand DescribeCommand();

}  // namespace foliowright
