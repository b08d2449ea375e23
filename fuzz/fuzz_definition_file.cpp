// Definition files and format-conversion tables: header check, keyed sections (data sources,
// files, protection, parameters, encoded passwords) and the conversion-table reader, on
// arbitrary file contents; the [SQL] section of whatever was read goes through the statement
// parser.
#include <cstddef>
#include <cstdint>
#include <string>

#include "component/run_context.h"
#include "support/run_log.h"
#include "definition/conversion_table.h"
#include "definition/definition_file.h"
#include "fuzz/support/fuzz_support.h"
#include "script/statement_parser.h"

using namespace tabrix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = fuzz::ScratchPath(".fwf");
  fuzz::WriteScratchFile(path, std::string_view(reinterpret_cast<const char*>(data), size));
  RunContext state;

  (void)CheckDefinitionHeader(path);
  (void)KeyLineExists(path, "ProtectionPassword");

  fuzz::ExpectOnlyAutomationErrors("LoadDefinitionFile", [&] { LoadDefinitionFile(state, path); });
  fuzz::ExpectOnlyAutomationErrors("ReadDefinitionFile", [&] {
    if (ReadDefinitionFile(state, path)) {
      fuzz::Require(state.DataSourceCount >= 0 && state.DataSourceCount <= kMaxDataSources,
                    "data-source count within the table");
      fuzz::Require(state.ParameterCount >= 0 && state.ParameterCount <= kMaxParameters,
                    "parameter count within the table");
    }
  });

  fuzz::ExpectOnlyAutomationErrors("ParseFunctionScript", [&] {
    ParseFunctionScript(state, path, [](const StatementRecord& statement, ConnectionPtr, const std::string&,
                                 const std::string&, const std::string&) {
      fuzz::Require(statement.GroupCount >= 0 && statement.GroupCount <= kMaxGroups, "at most ten groups");
    });
  });

  fuzz::ExpectOnlyAutomationErrors("LoadConversionTable", [&] {
    LoadConversionTable(state.ConversionTable, path);
    fuzz::Require(state.ConversionTable.size() <= static_cast<std::size_t>(kMaxConvEntries),
                  "conversion table within its limit");
    for (const char* type : {"xlsx", "51", "", "Excel8"}) {
      const int found = FindConvEntry(state.ConversionTable, type);
      fuzz::Require(found >= -1 && found < static_cast<int>(state.ConversionTable.size()),
                    "conversion entry index within the table");
    }
  });
  return 0;
}
