// Test helpers around independent office tools: throwaway folders, Python (openpyxl,
// xlsxwriter) scripts that make templates and read results, and headless LibreOffice runs with
// a throwaway profile (optionally recalculating every formula on load).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tabrix::testing {

// A fresh folder under the system temporary folder, removed with everything in it on
// destruction.
class TempFolder {
 public:
  explicit TempFolder(const std::string& tag = "tabrix");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  // Path of a file inside the folder.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct CommandResult {
  int exitCode = -1;
  std::string output;  // stdout and stderr together
};

// Runs a shell command line; output is captured.
CommandResult RunCommand(const std::string& commandLine);

// Runs a Python script with the system interpreter (/usr/bin/python3, which has openpyxl and
// xlsxwriter). Arguments are passed as sys.argv[1:]. Throws std::runtime_error with the output
// when the script fails.
std::string RunPython(const std::string& script, const std::vector<std::string>& arguments = {});

// Writes a small text file.
void WriteTextFile(const std::string& path, const std::string& text);
std::string ReadTextFile(const std::string& path);

// A cell as openpyxl reads it (the stored value: formulas as "=...", numbers in Python's repr,
// dates as ISO text, None as ""). `sheet` empty = the active sheet.
std::string OpenpyxlCell(const std::string& path, const std::string& sheet, const std::string& cell);
// Several cells at once, one result per cell, same forms.
std::vector<std::string> OpenpyxlCells(const std::string& path, const std::string& sheet,
                                       const std::vector<std::string>& cells);

// The text of one part of a zip package (read with Python's zipfile); names of the parts.
std::string ReadZipPart(const std::string& path, const std::string& part);
std::vector<std::string> ZipPartNames(const std::string& path);

// True when LibreOffice (soffice) can be run.
bool LibreOfficeAvailable();

// Converts `input` with headless LibreOffice into `outputFolder` (e.g. filter "xlsx",
// "ods", "pdf"); returns the produced file's path. With `recalculate` every formula is
// recalculated on load. Throws std::runtime_error when the conversion fails.
std::string LibreOfficeConvert(const std::string& input, const std::string& filter,
                               const std::string& outputFolder, bool recalculate = false);

// The sheet (1-based) of a workbook as CSV text exported by LibreOffice (recalculated when
// asked), and parsed into rows of fields.
std::string LibreOfficeCsv(const std::string& input, int sheetNumber, bool recalculate);
std::vector<std::vector<std::string>> ParseCsv(const std::string& text);

}  // namespace tabrix::testing
