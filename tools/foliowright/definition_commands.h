// The "check" and "describe" commands of foliowright, kept apart from the run's own options:
// foliowright check DEFINITION [PARAMS]  and  foliowright describe DEFINITION.
#pragma once

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "tabrix/definition_check.h"
#include "tabrix/error.h"

namespace foliowright {

inline constexpr int kExitCheckFindings = kExitFindings;

inline bool IsDefinitionCommand(int argc, char** argv) {
  return argc > 1 && (std::string_view(argv[1]) == "check" || std::string_view(argv[1]) == "describe");
}

inline int DefinitionCommandUsage(std::ostream& err) {
  err << "Usage: foliowright check [--fmtconv FILE] DEFINITION_FILE [PARAM1 ... PARAM10]\n"
         "       foliowright describe DEFINITION_FILE\n"
         "check finds mistakes without running queries (exit 0 clean, 4 with findings, one a line);\n"
         "describe lists parameters, data sources (passwords hidden) and statements.\n";
  return 2;
}

// argv[1] is "check" or "describe". Exit status: 0 clean, 4 findings, 1 unreadable file, 2 usage.
inline int RunDefinitionCommand(int argc, char** argv, std::ostream& out = std::cout, std::ostream& err = std::cerr) {
  const std::string command = argv[1];
  std::vector<std::string> arguments(argv + 2, argv + argc);
  tabrix::CheckOptions options;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "-h" || a == "--help") {
      DefinitionCommandUsage(out);
      return 0;
    }
    if (command == "check" && a == "--fmtconv" && i + 1 < arguments.size()) {
      options.ConversionTable = arguments[++i];
    } else if (a.size() > 1 && a[0] == '-' && positional.empty()) {
      err << "foliowright " << command << ": unknown option " << a << "\n";
      return DefinitionCommandUsage(err);
    } else {
      positional.push_back(a);
    }
  }
  if (positional.empty() || (command == "describe" && positional.size() > 1) || positional.size() > 11)
    return DefinitionCommandUsage(err);
  const std::string definition = positional.front();
  if (command == "describe") {
    try {
      out << tabrix::FormatDescription(tabrix::DescribeDefinition(definition));
      return 0;
    } catch (const tabrix::AutomationError& error) {
      err << "foliowright describe: " << error.Description() << "\n";
      return 1;
    }
  }
  const std::vector<std::string> parameters(positional.begin() + 1, positional.end());
  const std::vector<tabrix::CheckFinding> findings = tabrix::CheckDefinition(definition, parameters, options);
  for (const tabrix::CheckFinding& finding : findings) out << finding.Text() << "\n";
  return findings.empty() ? 0 : kExitCheckFindings;
}

}  // namespace foliowright
