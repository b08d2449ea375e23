// Looking at a report definition file without running it: CheckDefinition lists the mistakes a
// run would meet (foliowright check), DescribeDefinition summarises what the file asks for
// (foliowright describe). Neither connects to a database nor runs a query.
#pragma once

#include <string>
#include <vector>

#include "tabrix/tabrix.h"

namespace tabrix {

// One mistake found in a definition file (or in the template it names).
struct CheckFinding {
  std::string File;  // the definition file (or the template) the finding is about
  int Line = 0;      // 1-based line of the definition file; 0 when no line fits
  std::string Message;
  // "file:line: message", or "file: message" without a line.
  std::string Text() const;
};

struct CheckOptions {
  // The format-conversion table to check ReportFileType against; empty: the one beside the program.
  std::string ConversionTable;
  // The application that opens the template; null: a new workbook engine application.
  ApplicationPtr Application;
};

// Checks the definition file with the parameter values a run would get (values not given take
// the file's Default<n>). The findings come in file order; none means the file looks right.
std::vector<CheckFinding> CheckDefinition(const std::string& definitionFile, const std::vector<std::string>& parameters,
                                          const CheckOptions& options = {});

struct DefinitionDescription {
  struct Parameter {
    std::string Name, Title, Default;
  };
  struct DataSource {
    std::string Name;
    std::string User;
    std::string ConnectionString;  // password values replaced by "***"
    bool HasPassword = false;      // a Password<n> (or a password in the connection string) is given
  };
  struct Statement {
    int Line = 0;
    std::string Name;      // after "@"
    std::string Function;  // EXECSQL, NAME or REPORT
    std::string Kind;      // "fixed table", "growing table", "grouped table (2 groups)", ...
    std::string Target;    // "Sheet!cells" of a REPORT, the names of a NAME statement
    std::string DataSource;
  };
  std::string Path;  // absolute path of the definition file
  std::string TemplateFile, ReportFile, ReportFileType, LogFile;
  bool ProtectReport = false;
  bool EncryptPassword = false;
  std::vector<Parameter> Parameters;
  std::vector<DataSource> DataSources;
  std::vector<Statement> Statements;
  int RejectedStatements = 0;  // statement heads the parser refused (see CheckDefinition)
};

// Reads the definition file. Raises the loading errors of a run (0x8004000B, 0x8004000C,
// 0x8004000D) when it is missing or not a definition file.
DefinitionDescription DescribeDefinition(const std::string& definitionFile);

// The description as text for people, one item a line.
std::string FormatDescription(const DefinitionDescription& description);

}  // namespace tabrix
