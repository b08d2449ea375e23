// Reader of keyed sections ("[Section]" then "key=value" lines) of definition files.
#include "definition/profile_file.h"

#include <algorithm>

#include "support/text_case.h"
#include "support/text_lines.h"
#include "support/utf8.h"

namespace tabrix {

namespace {

// Lines are kept up to this length; longer ones keep their head and last character, which is
// all a key and a 10,239-character value need.
constexpr std::size_t kKeptLineBytes = 1 << 20;

bool IsProfileBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsProfileBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsProfileBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Cuts UTF-8 text after `limit` characters.
std::string_view CutCharacters(std::string_view text, std::size_t limit) {
  return text.substr(0, utf8::Advance(text, 0, limit));
}

}  // namespace

bool ProfileFile::Keeps(const std::string& foldedSection) const {
  return kept_.empty() || std::find(kept_.begin(), kept_.end(), foldedSection) != kept_.end();
}

void ProfileFile::AddLine(std::string_view line) {
  std::string_view text = Trim(line);
  if (text.empty()) return;
  if (text.front() == '[') {
    const std::size_t close = text.rfind(']');
    if (close != std::string_view::npos) {
      current_ = CaseFolded(Trim(text.substr(1, close - 1)));
      inSection_ = true;
      return;
    }
  }
  if (!inSection_ || !Keeps(current_)) return;

  std::string_view key = text;
  std::string_view value;
  const std::size_t equals = text.find('=');
  if (equals != std::string_view::npos) {
    key = Trim(text.substr(0, equals));
    value = Trim(text.substr(equals + 1));
  }
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  value = CutCharacters(value, kMaxValueChars);

  auto& section = values_[current_];
  section.emplace(CaseFolded(key), std::string(value));  // an earlier occurrence stays
}

bool ProfileFile::Load(const std::string& path, const std::vector<std::string>& sections) {
  values_.clear();
  kept_.clear();
  for (const std::string& name : sections) kept_.push_back(CaseFolded(name));
  current_.clear();
  inSection_ = false;

  TextLineReader reader;
  if (!reader.Open(path)) return false;
  std::string line;
  while (reader.ReadLine(line, kKeptLineBytes)) AddLine(line);
  return !reader.Failed();
}

std::string ProfileFile::Get(std::string_view section, std::string_view key) const {
  auto found = values_.find(CaseFolded(section));
  if (found == values_.end()) return "";
  auto value = found->second.find(CaseFolded(key));
  return value == found->second.end() ? "" : value->second;
}

}  // namespace tabrix
