#include "support/office_tools.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tabrix::testing {

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += "'\\''";
    else out.push_back(c);
  }
  return out + "'";
}

std::string UniqueName(const std::string& tag) {
  static std::atomic<unsigned> counter{0};
  return tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
         std::to_string(std::rand());
}

}  // namespace

TempFolder::TempFolder(const std::string& tag) {
  fs::path base = fs::temp_directory_path() / UniqueName(tag);
  fs::create_directories(base);
  path_ = base.string();
}

TempFolder::~TempFolder() {
  std::error_code error;
  if (!std::getenv("TABRIX_KEEP_TEMP")) fs::remove_all(path_, error);
}

CommandResult RunCommand(const std::string& commandLine) {
  CommandResult result;
  FILE* pipe = ::popen((commandLine + " 2>&1").c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

void WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string RunPython(const std::string& script, const std::vector<std::string>& arguments) {
  TempFolder folder("tabrix-py");
  std::string scriptPath = folder.File("script.py");
  WriteTextFile(scriptPath, script);
  std::string command = "/usr/bin/python3 " + Quote(scriptPath);
  for (const auto& argument : arguments) command += " " + Quote(argument);
  CommandResult result = RunCommand(command);
  if (result.exitCode != 0) throw std::runtime_error("python failed: " + result.output);
  return result.output;
}

std::vector<std::string> OpenpyxlCells(const std::string& path, const std::string& sheet,
                                       const std::vector<std::string>& cells) {
  std::string script = R"PY(
import sys, datetime, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb[sys.argv[2]] if sys.argv[2] else wb.active
for ref in sys.argv[3:]:
    v = ws[ref].value
    if v is None:
        s = ""
    elif isinstance(v, bool):
        s = "TRUE" if v else "FALSE"
    elif isinstance(v, (datetime.datetime, datetime.date)):
        s = v.isoformat()
    elif isinstance(v, float) and v.is_integer():
        s = str(int(v))
    else:
        s = str(v)
    print(s.replace("\\", "\\\\").replace("\n", "\\n"))
)PY";
  std::vector<std::string> arguments{path, sheet};
  arguments.insert(arguments.end(), cells.begin(), cells.end());
  std::string output = RunPython(script, arguments);
  std::vector<std::string> values;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) values.push_back(line);
  if (values.size() != cells.size()) throw std::runtime_error("unexpected openpyxl output: " + output);
  return values;
}

std::string OpenpyxlCell(const std::string& path, const std::string& sheet, const std::string& cell) {
  return OpenpyxlCells(path, sheet, {cell}).front();
}

std::string ReadZipPart(const std::string& path, const std::string& part) {
  return RunPython("import sys, zipfile\nsys.stdout.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]).decode('utf-8'))\n",
                   {path, part});
}

std::vector<std::string> ZipPartNames(const std::string& path) {
  std::string output = RunPython("import sys, zipfile\nprint('\\n'.join(zipfile.ZipFile(sys.argv[1]).namelist()))\n", {path});
  std::vector<std::string> names;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line))
    if (!line.empty()) names.push_back(line);
  return names;
}

bool LibreOfficeAvailable() {
  static const bool available = RunCommand("command -v soffice >/dev/null").exitCode == 0;
  return available;
}

std::string LibreOfficeConvert(const std::string& input, const std::string& filter,
                               const std::string& outputFolder, bool recalculate) {
  TempFolder profile("tabrix-lo-profile");
  if (recalculate) {
    fs::create_directories(profile.Path() + "/user");
    WriteTextFile(profile.Path() + "/user/registrymodifications.xcu",
                  R"XML(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="OOXMLRecalcMode" oor:op="fuse"><value>0</value></prop></item>
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="ODFRecalcMode" oor:op="fuse"><value>0</value></prop></item>
</oor:items>
)XML");
  }
  std::string command = "cd " + Quote(outputFolder) + " && timeout 180 soffice -env:UserInstallation=file://" +
                        profile.Path() + " --headless --norestore --convert-to " + Quote(filter) +
                        " --outdir " + Quote(outputFolder) + " " + Quote(input);
  CommandResult result = RunCommand(command);
  std::string extension = filter.substr(0, filter.find(':'));
  fs::path produced = fs::path(outputFolder) / (fs::path(input).stem().string() + "." + extension);
  if (!fs::exists(produced)) {
    // Exports of one sheet are named "<stem>-<sheet>.<extension>".
    for (const auto& entry : fs::directory_iterator(outputFolder))
      if (entry.path().extension() == "." + extension &&
          entry.path().filename().string().rfind(fs::path(input).stem().string() + "-", 0) == 0)
        produced = entry.path();
  }
  if (result.exitCode != 0 || !fs::exists(produced))
    throw std::runtime_error("LibreOffice conversion failed: " + result.output);
  return produced.string();
}

std::string LibreOfficeCsv(const std::string& input, int sheetNumber, bool recalculate) {
  TempFolder out("tabrix-lo-csv");
  // Copy the input so that the CSV's name cannot collide with a CSV beside it.
  std::string copy = out.File("book" + fs::path(input).extension().string());
  fs::copy_file(input, copy);
  std::string filter = "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false," +
                       std::to_string(sheetNumber);
  TempFolder target("tabrix-lo-csv-out");
  std::string produced = LibreOfficeConvert(copy, filter, target.Path(), recalculate);
  return ReadTextFile(produced);
}

std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false, any = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    any = true;
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field.push_back('"');
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field.push_back(c);
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.push_back(field);
      field.clear();
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      row.push_back(field);
      field.clear();
      rows.push_back(row);
      row.clear();
      any = false;
    } else {
      field.push_back(c);
    }
  }
  if (any) {
    row.push_back(field);
    rows.push_back(row);
  }
  return rows;
}

}  // namespace tabrix::testing
