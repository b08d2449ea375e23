// foliowright: runs a report from a definition file, or one of the sub-commands in the table
// below (each in a file of its own). Help texts are written out in full by each command.
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "commands.h"
#include "tabrix/tabrix.h"

namespace foliowright {
namespace {

// Every sub-command; a new one is a line here and a file of its own.
std::vector<SubCommand> SubCommands() { return {BatchCommand(), CheckCommand(), DescribeCommand(), EncodePasswordCommand()}; }

// Prints each command's own help text instead of the generated one.
class HelpFormatter : public CLI::Formatter {
 public:
  explicit HelpFormatter(std::map<std::string, std::string> texts) : texts_(std::move(texts)) {}
  std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
    const auto found = texts_.find(app->get_name());
    return found != texts_.end() ? found->second : std::string();
  }

 private:
  std::map<std::string, std::string> texts_;
};

}  // namespace
}  // namespace foliowright

int main(int argc, char** argv) {
  using namespace foliowright;
  const std::vector<SubCommand> subCommands = SubCommands();

  std::string mainHelp = kRunHelp;
  mainHelp += "\nSub-commands (foliowright COMMAND --help for each):\n";
  std::map<std::string, std::string> helpTexts;
  for (const SubCommand& command : subCommands) {
    mainHelp += "  " + command.name + std::string(command.name.size() < 18 ? 18 - command.name.size() : 1, ' ') +
                command.summary + "\n";
    helpTexts[command.name] = command.help;
  }
  mainHelp += "\nThe user guide is docs/guide/ in the Tabrix sources.\n";
  helpTexts["foliowright"] = mainHelp;

  CLI::App app{"", "foliowright"};
  app.formatter(std::make_shared<HelpFormatter>(helpTexts));
  app.set_version_flag("--version", std::string("foliowright (Tabrix) ") + tabrix::kComponentVersion);
  const CommandAction run = DefineRun(app);
  std::vector<std::pair<CLI::App*, CommandAction>> actions;
  for (const SubCommand& command : subCommands) {
    CLI::App* sub = app.add_subcommand(command.name, command.summary);
    actions.emplace_back(sub, command.define(*sub));
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error);  // --help (of the command in use), --version
    std::cerr << "foliowright: " << error.what() << " (see foliowright --help)\n";
    return kExitUsage;
  }
  for (const auto& [sub, action] : actions)
    if (sub->parsed()) return action();
  return run();
}
