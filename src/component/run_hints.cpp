// Advice after a run (see tabrix/run_hints.h): every rule that turns a run's outcome and its
// definition file into a hint or a warning for the report author lives here.
#include "tabrix/run_hints.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

#include "component/run_context.h"
#include "definition/conversion_table.h"
#include "definition/definition_file.h"
#include "definition/definition_keys.h"
#include "definition/password.h"
#include "fill/cell_references.h"
#include "script/statement_parser.h"
#include "script/statement_words.h"
#include "support/paths.h"
#include "support/spelling.h"
#include "support/text_lines.h"
#include "support/utf8.h"
#include "tabrix/error_codes.h"
#include "tabrix/platform/database.h"

namespace tabrix {
namespace {

std::string Lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

std::string Upper(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return result;
}

std::string Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return std::string(text);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The known word closest to `word` when it is close enough to be a misspelling; "" otherwise.
std::string Nearest(const std::string& word, const std::vector<std::string>& known) {
  return NearestName(word, known).value_or("");
}

std::string ReadBytes(const std::string& path, std::size_t limit = kMaxDefinitionFileBytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return "";
  // Read in pieces: a buffer of the whole limit would cost every run its zero-filled pages.
  std::string bytes;
  char piece[1 << 16];
  while (bytes.size() < limit) {
    file.read(piece, static_cast<std::streamsize>(std::min(sizeof piece, limit - bytes.size())));
    if (file.gcount() <= 0) break;
    bytes.append(piece, static_cast<std::size_t>(file.gcount()));
  }
  return bytes;
}

bool LooksUtf16(const std::string& bytes) {
  if (bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0) return true;
  // Without a byte-order mark: ASCII text in UTF-16 has a zero byte beside every letter.
  const std::size_t head = std::min<std::size_t>(bytes.size(), 64);
  return head >= 4 && std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(head), '\0') * 3 >=
                          static_cast<std::ptrdiff_t>(head);
}

// One "key=value" line of a keyed section.
struct KeyLine {
  int Line = 0;
  std::string Section;  // as written, without the brackets
  std::string Key, Value;
};


std::vector<KeyLine> KeyLines(const std::vector<std::string>& lines) {
  std::vector<KeyLine> keys;
  std::string section;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string line = Trim(lines[i]);
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      section = Trim(line.substr(1, line.size() - 2));
      continue;
    }
    const std::size_t equals = line.find('=');
    if (section.empty() || Lower(section) == "sql" || equals == std::string::npos || line[0] == ';') continue;
    keys.push_back({static_cast<int>(i + 1), section, Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))});
  }
  return keys;
}

bool IsKnownKey(const std::vector<std::string>& known, const std::string& key) {
  const auto [stem, number] = SplitKeyNumber(key);
  for (const std::string& name : known) {
    if (name.back() == '#') {
      if (number >= 1 && number <= 10 && Lower(stem) == Lower(name.substr(0, name.size() - 1))) return true;
    } else if (Lower(key) == Lower(name)) {
      return true;
    }
  }
  return false;
}

// The key names to suggest for a misspelt key: numbered keys with the key's own number.
std::vector<std::string> Suggestions(const std::vector<std::string>& known, const std::string& key) {
  const int number = std::max(1, SplitKeyNumber(key).second);
  std::vector<std::string> names;
  for (const std::string& name : known)
    names.push_back(name.back() == '#' ? name.substr(0, name.size() - 1) + std::to_string(number) : name);
  return names;
}

std::string FirstValue(const std::vector<KeyLine>& keys, const std::string& section, const std::string& key) {
  for (const KeyLine& line : keys)
    if (Lower(line.Section) == section && Lower(line.Key) == Lower(key)) return line.Value;
  return "";
}

std::string Extension(const std::string& path) {
  const std::string name = path.substr(FolderPart(path).size());
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? "" : Lower(name.substr(dot + 1));
}

// The text between the first pair of double quotes after `lead` in `text`.
std::string QuotedAfter(const std::string& text, const std::string& lead) {
  const std::size_t start = text.find(lead);
  if (start == std::string::npos) return "";
  const std::size_t open = start + lead.size();
  const std::size_t close = text.find('"', open);
  return close == std::string::npos ? "" : text.substr(open, close - open);
}

class Advisor {
 public:
  Advisor(const std::string& definitionFile, const RunResult& result, const RunOptions& options)
      : path_(AbsolutePath(definitionFile)), result_(result), options_(options) {}

  std::vector<RunAdvice> Advise() {
    bytes_ = ReadBytes(path_);
    if (result_.Error.Number == kErrNotDefinitionFile) {
      NotADefinitionFile();
      return advice_;
    }
    if (result_.Error.Number == kErrDefinitionFileMissing) return advice_;
    lines_ = SplitTextLines(bytes_);
    keys_ = KeyLines(lines_);
    Encoding();
    UnknownKeys();
    ConnectionStrings();
    RunFailure();
    Statements();
    ReportType();
    return advice_;
  }

 private:
  void Hint(const std::string& text) { advice_.push_back({false, text}); }
  void Warn(const std::string& text) { advice_.push_back({true, text}); }

  void NotADefinitionFile() {
    if (LooksUtf16(bytes_)) {
      Hint("the definition file is UTF-16 text; save it as UTF-8 (with or without a byte-order mark)");
      return;
    }
    const std::vector<std::string> head = SplitTextLines(bytes_.substr(0, 4096));
    std::string first = head.empty() ? "" : head.front();
    if (first.rfind("\xEF\xBB\xBF", 0) == 0) first.erase(0, 3);
    Hint("the first line of a definition file starts with \"Foliowright\" (exactly so), found " +
         Quoted(Trim(first).substr(0, 40)));
  }

  void Encoding() {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      if (utf8::Repaired(lines_[i]) != lines_[i]) {
        Warn("line " + std::to_string(i + 1) +
             ": the definition file is not UTF-8 text (its other characters are read as Windows-1252); "
             "save it as UTF-8");
        return;
      }
    }
  }

  void UnknownKeys() {
    for (const KeyLine& line : keys_) {
      const auto known = DefinitionSectionKeys().find(Lower(line.Section));
      if (known == DefinitionSectionKeys().end() || IsKnownKey(known->second, line.Key)) continue;
      const std::string nearest = Nearest(line.Key, Suggestions(known->second, line.Key));
      Warn("line " + std::to_string(line.Line) + ": unknown key " + Quoted(line.Key) + " in [" + line.Section + "]" +
           (nearest.empty() ? " is ignored" : "; did you mean " + Quoted(nearest) + "?"));
    }
  }

  // Connection-string keys that are dropped because they mean nothing here: the run log's lines
  // have a fixed form, so this is the place that says so.
  void ConnectionStrings() {
    for (const KeyLine& line : keys_) {
      if (Lower(line.Section) != "data source" || Lower(SplitKeyNumber(line.Key).first) != "connectionstring")
        continue;
      for (const std::string& warning : platform::ConnectionStringWarnings(line.Value))
        Warn("line " + std::to_string(line.Line) + ": " + line.Key + ": " + warning);
    }
  }

  void RunFailure() {
    const ErrObject& error = result_.Error;
    if (error.Number == 0) return;
    if (error.Number == kErrTemplateMissing) {
      if (FirstValue(keys_, "file", "ReportTemplateFileName").empty())
        Hint("[File] has no ReportTemplateFileName value: name the template workbook there");
      else
        Hint("a relative template path is taken from the definition file's folder " +
             Quoted(FolderPart(path_)));
    } else if (error.Number == kErrReportNotNamed) {
      Hint("[File] has no ReportFileName value: name the report file there");
    } else if (error.Number == kErrOpenTemplate) {
      TemplatePackage();
    } else if (error.Description.rfind("Failed to connect to database. DSN=", 0) == 0) {
      Login();
    }
  }

  // A template that is an office package of another kind.
  void TemplatePackage() {
    const std::string head = ReadBytes(result_.TemplatePath, 1 << 20);
    if (head.rfind("PK", 0) != 0) return;
    const char* kind = nullptr;
    if (head.find("word/document.xml") != std::string::npos ||
        head.find("application/vnd.oasis.opendocument.text") != std::string::npos)
      kind = "a word-processor document";
    else if (head.find("ppt/presentation.xml") != std::string::npos ||
             head.find("application/vnd.oasis.opendocument.presentation") != std::string::npos)
      kind = "a presentation";
    if (kind)
      Hint("the template " + Quoted(result_.TemplatePath) + " is " + kind +
           ", not a workbook: a template is a spreadsheet (.xlsx, .xlsm, .xltx, .xls, .ods, .csv ...)");
  }

  // A failed login of a data source whose password is stored encoded.
  void Login() {
    if (Upper(FirstValue(keys_, "data source", "EncryptPassword")) != "Y") return;
    const std::string name = result_.Error.Description.substr(std::string("Failed to connect to database. DSN=").size());
    for (int n = 1; n <= kMaxDataSources; ++n) {
      const std::string number = std::to_string(n);
      const std::string source = FirstValue(keys_, "data source", "Name" + number);
      if (source.empty() || name.rfind(source, 0) != 0) continue;
      const std::string password = FirstValue(keys_, "data source", "Password" + number);
      const std::string user = FirstValue(keys_, "data source", "User" + number);
      if (password.empty()) return;
      const std::string decoded = DecodePassword(password, user);
      const bool plain = EncodePassword(decoded, user) != password || utf8::Repaired(decoded) != decoded ||
                         std::any_of(decoded.begin(), decoded.end(),
                                     [](char c) { return static_cast<unsigned char>(c) < 0x20; });
      Hint(std::string("EncryptPassword=Y: Password") + number +
           (plain ? " does not hold an encoded password; " : " must be the encoded form for User" + number + "; ") +
           "write there what `foliowright encode-password --user " + (user.empty() ? "USER" : user) + "` prints");
      return;
    }
  }

  void Statements() {
    for (const SkippedStatement& skipped : result_.Skipped) {
      const std::string where = "@" + skipped.Name + " (line " + std::to_string(skipped.Line) + ")";
      const std::string parameter = QuotedAfter(skipped.Reason, "Unknown parameter name \"");
      if (!parameter.empty() && IsSqlKeyword(parameter)) {
        Hint(where + ": missing \")\" before " + Upper(parameter) + ": the option list ends with \")\", then the SQL follows");
      } else if (!parameter.empty()) {
        const std::string nearest =
            Nearest(parameter, AllStatementOptionNames());
        if (!nearest.empty()) Hint(where + ": did you mean the option " + nearest + "?");
      }
      const std::string function = QuotedAfter(skipped.Reason, "Unknown function name \"");
      if (!function.empty()) {
        const std::string nearest = Nearest(function, StatementFunctionNames());
        Hint(where + ": the functions are EXECSQL, NAME and REPORT" +
             (nearest.empty() ? std::string() : "; did you mean " + nearest + "?"));
      }
    }
    if (result_.UnclosedCommentLine > 0)
      Hint("line " + std::to_string(result_.UnclosedCommentLine) +
           ": \"/*\" opens a comment that is never closed, so the rest of the script is ignored; close it with \"*/\"");

    for (const StatementOutcome& outcome : result_.Statements) {
      if (outcome.Error.Number == kErrSheetMissing) {
        const std::vector<std::string> sheets = TemplateSheets();
        if (sheets.empty()) continue;
        std::string list;
        for (const std::string& sheet : sheets) list += (list.empty() ? "" : ", ") + Quoted(sheet);
        Hint("@" + outcome.Name + ": the template's sheets are " + list);
      } else if (outcome.Error.Number == kErrBadCellList) {
        BadCell(outcome);
      }
    }
  }

  // The statement records of the script as the run parsed them, by name.
  const std::map<std::string, StatementRecord>& Records() {
    if (recordsRead_) return records_;
    recordsRead_ = true;
    try {
      RunContext run;
      LoadDefinitionFile(run, path_);
      run.Connected.fill(true);  // CONNECT options resolve without connecting
      ParseFunctionScript(run, path_,
                          [this](const StatementRecord& record, ConnectionPtr, const std::string&, const std::string&,
                                 const std::string&) { records_.emplace(record.Name, record); });
    } catch (...) {
    }
    return records_;
  }

  WorkbookPtr Template() {
    if (templateTried_) return template_;
    templateTried_ = true;
    if (result_.TemplatePath.empty()) return nullptr;
    try {
      ApplicationPtr application = options_.Application;
      if (!application) {
        platform::ApplicationSettings settings;
        settings.Recalculate = false;
        settings.ConverterProgram = options_.ConverterProgram;
        settings.ConverterTimeoutSeconds = options_.ConverterTimeoutSeconds;
        settings.Converter = options_.Converter;
        application = platform::CreateSpreadsheetApplication(settings);
      }
      template_ = application->OpenWorkbook(result_.TemplatePath, true);
    } catch (...) {
    }
    return template_;
  }

  std::vector<std::string> TemplateSheets() {
    std::vector<std::string> names;
    try {
      if (WorkbookPtr book = Template())
        for (std::int32_t i = 1; i <= book->WorksheetCount(); ++i) names.push_back(book->WorksheetAt(i)->Name());
    } catch (...) {
    }
    return names;
  }

  // Names the CELL entry that the statement's sheet cannot resolve.
  void BadCell(const StatementOutcome& outcome) {
    const auto found = Records().find(outcome.Name);
    if (found == Records().end()) return;
    const StatementRecord& record = found->second;
    try {
      WorkbookPtr book = Template();
      if (!book) return;
      WorksheetPtr sheet = book->WorksheetByName(record.Sheet);
      if (!sheet) return;
      for (const std::string& entry : fill::SplitList(record.ListText)) {
        if (entry.empty()) continue;
        try {
          sheet->ResolveReference(entry);
        } catch (...) {
          Hint("@" + outcome.Name + ": the CELL entry " + Quoted(entry) + " is not a cell of the sheet " +
               Quoted(sheet->Name()) + " (columns A to XFD, rows 1 to 1048576, or a defined name)");
          return;
        }
      }
    } catch (...) {
    }
  }

  // The report's type against the conversion table and the report's extension.
  void ReportType() {
    const std::string type = !options_.ReportFileType.empty() ? options_.ReportFileType
                                                              : FirstValue(keys_, "file", "ReportFileType");
    std::vector<ConvEntry> table;
    try {
      LoadConversionTable(table, !options_.ConversionTable.empty() ? AbsolutePath(options_.ConversionTable)
                                                                   : DefaultConversionTablePath());
    } catch (...) {
      return;
    }
    const std::string extension = Extension(result_.ReportPath);
    if (type.empty()) {
      // Saved in the template's format: a report named for another format gets the template's bytes.
      const std::string templateExtension = Extension(result_.TemplatePath);
      const bool known = std::any_of(table.begin(), table.end(),
                                     [&](const ConvEntry& entry) { return Lower(entry.Extra) == extension; });
      if (!extension.empty() && !templateExtension.empty() && known && extension != templateExtension &&
          !(extension.substr(0, 3) == "xls" && templateExtension.substr(0, 3) == "xls"))
        Warn("no report file type is given, so the report is saved in the template's format (." + templateExtension +
             ") although it is named ." + extension + "; set ReportFileType");
      return;
    }
    const int entry = FindConvEntry(table, type);
    if (entry < 0) {
      Warn("the report file type " + Quoted(type) +
           " is not in the format-conversion table: the report is saved in the template's format");
      return;
    }
    const ConvEntry& conversion = table[static_cast<std::size_t>(entry)];
    const std::string expected = Lower(Trim(conversion.Extra));
    if (!expected.empty() && !extension.empty() && expected != extension &&
        !(expected == "htm" && extension == "html"))
      Warn("the report file type " + Quoted(type) + " writes ." + expected + " files (" + conversion.Description +
           "), but the report is named ." + extension);
  }

  std::string path_;
  const RunResult& result_;
  const RunOptions& options_;
  std::string bytes_;
  std::vector<std::string> lines_;
  std::vector<KeyLine> keys_;
  std::vector<RunAdvice> advice_;
  bool recordsRead_ = false, templateTried_ = false;
  std::map<std::string, StatementRecord> records_;
  WorkbookPtr template_;
};

}  // namespace

std::vector<RunAdvice> AdviseOnRun(const std::string& definitionFile, const RunResult& result,
                                   const RunOptions& options) {
  try {
    return Advisor(definitionFile, result, options).Advise();
  } catch (...) {
    return {};
  }
}

}  // namespace tabrix
