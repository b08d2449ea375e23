// foliowright check / describe as entries of the sub-command table: their arguments go, as
// written, to the commands' own reader in definition_commands.h.
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "definition_commands.h"

namespace foliowright {
namespace {

// A sub-command that takes everything after its name unparsed (its --help included).
SubCommand PassThrough(const std::string& name, const std::string& summary) {
  SubCommand command;
  command.name = name;
  command.summary = summary;
  command.define = [name](CLI::App& app) -> CommandAction {
    app.prefix_command();
    app.set_help_flag();
    return [&app, name] {
      std::vector<std::string> words = {"foliowright", name};
      for (const std::string& word : app.remaining()) words.push_back(word);
      std::vector<char*> argv;
      for (std::string& word : words) argv.push_back(word.data());
      return RunDefinitionCommand(static_cast<int>(argv.size()), argv.data());
    };
  };
  return command;
}

}  // namespace

SubCommand CheckCommand() {
  return PassThrough("check", "find mistakes in a definition without running queries (exit 4: findings)");
}

SubCommand DescribeCommand() {
  return PassThrough("describe", "list a definition's parameters, data sources and statements");
}

}  // namespace foliowright
