// The files of a batch (see batch_run.h): reading the manifest, the shard a scheduler assigns,
// and the status file's JSON lines, written per finished report and read back to resume.
#include "component/batch_status.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "support/paths.h"
#include "support/text_case.h"
#include "tabrix/batch_run.h"
#include "tabrix/error.h"

namespace tabrix {
namespace {

constexpr std::size_t kMaxManifestParameters = 10;

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

bool IsBlank(const std::string& line) { return line.find_first_not_of(" \t") == std::string::npos; }

// The column roles a header line names; the definition column comes first.
enum class Column { Parameter, Output, Type };

std::optional<int> ParseNumber(const char* text) {
  if (!text || !*text) return std::nullopt;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*end != '\0' || value < 0 || value > 1000000) return std::nullopt;
  return static_cast<int>(value);
}

void AppendJsonString(std::string& out, const std::string& text) {
  out += '"';
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

void AppendJsonStrings(std::string& out, const std::vector<std::string>& texts) {
  out += '[';
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) out += ',';
    AppendJsonString(out, texts[i]);
  }
  out += ']';
}

// Reads the flat objects of status lines: string, number and string-array members. Anything
// else (a line cut short by a crash) makes the line unreadable, which resuming skips.
class StatusLineReader {
 public:
  explicit StatusLineReader(const std::string& text) : text_(text) {}

  std::optional<StatusRecord> Read() {
    StatusRecord record;
    if (!Take('{')) return std::nullopt;
    bool first = true;
    while (!Take('}')) {
      if (!first && !Take(',')) return std::nullopt;
      first = false;
      const std::optional<std::string> key = String();
      if (!key || !Take(':')) return std::nullopt;
      Skip();
      if (pos_ < text_.size() && text_[pos_] == '"') {
        const std::optional<std::string> value = String();
        if (!value) return std::nullopt;
        if (*key == "definition") record.Definition = *value;
      } else if (Take('[')) {
        std::vector<std::string> values;
        while (!Take(']')) {
          if (!values.empty() && !Take(',')) return std::nullopt;
          const std::optional<std::string> value = String();
          if (!value) return std::nullopt;
          values.push_back(*value);
        }
        if (*key == "parameters") record.Parameters = std::move(values);
      } else {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && std::string_view("-+.0123456789eE").find(text_[pos_]) != std::string_view::npos)
          ++pos_;
        if (start == pos_) return std::nullopt;
        const double number = std::strtod(text_.substr(start, pos_ - start).c_str(), nullptr);
        if (*key == "line") record.Line = static_cast<int>(number);
        if (*key == "outcome") record.Outcome = static_cast<int>(number);
      }
    }
    return record;
  }

 private:
  void Skip() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  }
  bool Take(char c) {
    Skip();
    if (pos_ >= text_.size() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
  std::optional<std::string> String() {
    if (!Take('"')) return std::nullopt;
    std::string value;
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == '"') return value;
      if (c != '\\') {
        value += c;
        continue;
      }
      if (pos_ >= text_.size()) return std::nullopt;
      const char escaped = text_[pos_++];
      switch (escaped) {
        case 'n': value += '\n'; break;
        case 'r': value += '\r'; break;
        case 't': value += '\t'; break;
        case 'u':
          if (pos_ + 4 > text_.size()) return std::nullopt;
          value += static_cast<char>(std::strtol(text_.substr(pos_, 4).c_str(), nullptr, 16));
          pos_ += 4;
          break;
        default: value += escaped;
      }
    }
    return std::nullopt;
  }

  const std::string& text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::vector<BatchEntry> ReadBatchManifest(const std::string& manifestFile) {
  std::ifstream in(manifestFile, std::ios::binary);
  if (!in) throw BatchManifestError(manifestFile + ": cannot read the manifest");
  const std::string folder = FolderPart(AbsolutePath(manifestFile));
  std::vector<BatchEntry> entries;
  std::optional<std::vector<Column>> header;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (IsBlank(line) || line[0] == '#') continue;
    const std::vector<std::string> fields = SplitTabs(line);
    auto fail = [&](const std::string& message) {
      throw BatchManifestError(manifestFile + ":" + std::to_string(number) + ": " + message);
    };
    if (!header && entries.empty() && EqualsIgnoringCase(fields[0], "definition")) {
      header.emplace();
      std::size_t parameters = 0;
      for (std::size_t i = 1; i < fields.size(); ++i) {
        const std::string& name = fields[i];
        header->push_back(EqualsIgnoringCase(name, "output") ? Column::Output
                          : EqualsIgnoringCase(name, "type") ? Column::Type
                                                              : Column::Parameter);
        if (header->back() == Column::Parameter) ++parameters;
      }
      if (parameters > kMaxManifestParameters) fail("more than ten parameter columns");
      continue;
    }
    if (fields[0].empty()) fail("the line names no definition file");
    BatchEntry entry;
    entry.Line = number;
    entry.Definition = AbsolutePath(fields[0], folder);
    for (std::size_t i = 1; i < fields.size(); ++i) {
      const Column role = header ? (i - 1 < header->size() ? (*header)[i - 1] : Column::Parameter) : Column::Parameter;
      if (header && i - 1 >= header->size() && !fields[i].empty()) fail("more columns than the header names");
      if (role == Column::Output)
        entry.Output = fields[i].empty() ? std::string() : AbsolutePath(fields[i], folder);
      else if (role == Column::Type)
        entry.Type = fields[i];
      else if (!header || i - 1 < header->size())
        entry.Parameters.push_back(fields[i]);
    }
    if (entry.Parameters.size() > kMaxManifestParameters) fail("more than ten parameters");
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::optional<BatchShard> ParseBatchShard(const std::string& text) {
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) return std::nullopt;
  const std::optional<int> index = ParseNumber(text.substr(0, slash).c_str());
  const std::optional<int> count = ParseNumber(text.substr(slash + 1).c_str());
  if (!index || !count || *count < 1 || *index >= *count) return std::nullopt;
  return BatchShard{*index, *count};
}

std::optional<BatchShard> BatchShardFromEnvironment(int shards) {
  auto shard = [](const char* indexName, std::optional<int> index, const char* countName, std::optional<int> count) {
    if (!index || !count || *count < 1 || *index >= *count)
      throw BatchManifestError(std::string(indexName) + " and " + countName + " do not name a shard (" +
                               (std::getenv(indexName) ? std::getenv(indexName) : "") + " of " +
                               (count ? std::to_string(*count) : "?") + ")");
    return BatchShard{*index, *count};
  };
  if (shards > 0) {
    if (!std::getenv("JOB_COMPLETION_INDEX"))
      throw BatchManifestError("--shards needs JOB_COMPLETION_INDEX (set in the pods of a Kubernetes Indexed Job)");
    return shard("JOB_COMPLETION_INDEX", ParseNumber(std::getenv("JOB_COMPLETION_INDEX")), "--shards", shards);
  }
  if (!std::getenv("SLURM_ARRAY_TASK_ID")) return std::nullopt;
  std::optional<int> index = ParseNumber(std::getenv("SLURM_ARRAY_TASK_ID"));
  // An array numbered from 1 (--array=1-4) still gives shards 0..3.
  if (const std::optional<int> first = ParseNumber(std::getenv("SLURM_ARRAY_TASK_MIN")); index && first)
    index = *index >= *first ? std::optional<int>(*index - *first) : std::nullopt;
  return shard("SLURM_ARRAY_TASK_ID", index, "SLURM_ARRAY_TASK_COUNT", ParseNumber(std::getenv("SLURM_ARRAY_TASK_COUNT")));
}

std::string BatchStatusLine(const BatchReport& report) {
  std::string out = "{\"line\":" + std::to_string(report.Entry ? report.Entry->Line : 0) + ",\"definition\":";
  AppendJsonString(out, report.Entry ? report.Entry->Definition : std::string());
  out += ",\"parameters\":";
  AppendJsonStrings(out, report.Parameters);
  out += ",\"report\":";
  AppendJsonString(out, report.Result.ReportPath);
  out += ",\"log\":";
  AppendJsonString(out, report.Result.LogPath);
  out += ",\"outcome\":" + std::to_string(static_cast<int>(report.Outcome)) + ",\"failed_statements\":";
  AppendJsonStrings(out, report.FailedStatements);
  out += ",\"error\":";
  AppendJsonString(out, report.Result.Error.Number == 0
                            ? std::string()
                            : AutomationError(report.Result.Error.Number, "", "").HexNumber() + ": " +
                                  report.Result.Error.Description);
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", report.Seconds);
  out += ",\"seconds\":" + std::string(seconds) + "}";
  return out;
}

std::vector<StatusRecord> ReadStatusFile(const std::string& statusFile) {
  std::vector<StatusRecord> records;
  std::ifstream in(statusFile, std::ios::binary);
  std::string line;
  while (std::getline(in, line))
    if (std::optional<StatusRecord> record = StatusLineReader(line).Read()) records.push_back(std::move(*record));
  return records;
}

}  // namespace tabrix
