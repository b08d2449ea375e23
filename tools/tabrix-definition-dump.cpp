// Reads a report definition file with the library's definition reader and prints what it read:
// data sources, file names, protection, parameters, the format found for ReportFileType and the
// function script. It runs no report. With --encode-password it prints the value to write as
// PasswordN for a user when EncryptPassword=Y.
//
//   tabrix-definition-dump [definition file] [Param1 .. Param10]
//   tabrix-definition-dump --encode-password <user> <password>
#include <array>
#include <cstdio>
#include <iostream>
#include <string>

#include "component/run_state.h"
#include "definition/conversion_table.h"
#include "definition/definition_file.h"
#include "definition/password.h"
#include "script/tokenizer.h"
#include "support/paths.h"
#include "support/run_log.h"
#include "support/text_lines.h"
#include "tabrix/error.h"

namespace {

using namespace tabrix;

void PrintScript(const std::string& path) {
  TextLineReader reader;
  if (!reader.Open(path)) return;
  std::string line;
  bool inScript = false;
  int number = 0;
  while (reader.ReadLine(line)) {
    ++number;
    if (!inScript) {
      std::string trimmed = TrimTextEnd(line);
      int start = 1;
      SkipBlanks(trimmed, start);
      inScript = trimmed.substr(static_cast<std::size_t>(start - 1)) == "[SQL]";
      if (inScript) std::cout << "\nFunction script (from line " << number + 1 << "):\n";
      continue;
    }
    std::cout << "  " << line << '\n';
  }
  if (!inScript) std::cout << "\nNo [SQL] section.\n";
}

int Dump(const std::string& file, const std::array<std::string, 10>& params) {
  std::cout << "Definition file reader only: this program reads the definition file and prints "
               "what it read; it does not run the report.\n\n";
  const std::string tablePath = DefaultConversionTablePath();
  LoadConversionTable(tablePath);
  LoadDefinitionFile(file);
  StoreRunParameters(params);
  const RunState& state = CurrentRunState();

  std::cout << "Definition file: " << state.DefinitionFilePath << '\n';
  std::cout << "Format-conversion table: " << tablePath << " (" << state.ConversionTable.size()
            << " entries)\n";
  std::cout << "\nData sources (" << state.DataSourceCount << "), EncryptPassword "
            << (state.EncryptPassword ? "Y" : "N") << ":\n";
  for (int i = 0; i < state.DataSourceCount; ++i) {
    const DataSourceEntry& source = state.DataSources[static_cast<std::size_t>(i)];
    std::cout << "  " << i + 1 << ". " << source.Name;
    if (!source.ConnectionString.empty())
      std::cout << "  connection string: " << source.ConnectionString;
    else
      std::cout << "  user: " << source.User << "  password: "
                << std::string(source.Password.size(), '*');
    std::cout << '\n';
  }
  std::cout << "\nParameters (" << state.ParameterCount << "):\n";
  for (int i = 0; i < state.ParameterCount; ++i) {
    const ParameterEntry& parameter = state.Parameters[static_cast<std::size_t>(i)];
    std::cout << "  " << parameter.Name << " (" << parameter.Title << ") = \"" << parameter.Value
              << "\"\n";
  }

  const std::string folder = FolderPart(state.DefinitionFilePath);
  auto resolved = [&](const std::string& name) {
    return name.empty() ? std::string() : AbsolutePath(SubstituteParameters(name), folder);
  };
  std::cout << "\nTemplate: " << state.ReportTemplateFileName << "\n  -> "
            << resolved(state.ReportTemplateFileName)
            << (FileExists(resolved(state.ReportTemplateFileName)) ? "" : "  (not found)") << '\n';
  std::cout << "Report file: " << state.ReportFileName << "\n  -> " << resolved(state.ReportFileName)
            << '\n';
  std::cout << "Log file: " << (state.LogFileName.empty() ? "(default)" : state.LogFileName);
  if (!state.LogFileName.empty()) std::cout << "\n  -> " << resolved(state.LogFileName);
  std::cout << '\n';
  std::cout << "Report file type: " << state.ReportFileType;
  const int entry = FindConvEntry(state.ReportFileType);
  if (entry >= 0) {
    const ConvEntry& conv = state.ConversionTable[static_cast<std::size_t>(entry)];
    std::cout << "  -> " << conv.Name << " (" << conv.FileFormat << ") - " << conv.Description;
  } else if (!state.ReportFileType.empty()) {
    std::cout << "  (not in the table: saved in the template's format)";
  }
  std::cout << '\n';
  std::cout << "Protect report: " << (state.ProtectReport ? "Y" : "N");
  if (state.ProtectReport)
    std::cout << (state.NoProtectionPassword ? " (random password)" : " (password given)");
  std::cout << '\n';
  PrintScript(state.DefinitionFilePath);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "--encode-password") {
      if (argc != 4) {
        std::cerr << "usage: " << argv[0] << " --encode-password <user> <password>\n";
        return 2;
      }
      std::cout << tabrix::EncodePassword(argv[3], argv[2]) << '\n';
      return 0;
    }
    if (first == "-h" || first == "--help") {
      std::cout << "usage: " << argv[0] << " [definition file] [Param1 .. Param10]\n"
                << "       " << argv[0] << " --encode-password <user> <password>\n";
      return 0;
    }
    std::array<std::string, 10> params;
    for (int i = 2; i < argc && i < 12; ++i) params[static_cast<std::size_t>(i - 2)] = argv[i];
    return Dump(first.empty() ? "examples/sales/sales.def" : first, params);
  } catch (const tabrix::AutomationError& e) {
    std::cerr << "Error " << e.HexNumber() << " (" << e.Source() << "): " << e.Description() << '\n';
    return 1;
  }
}
