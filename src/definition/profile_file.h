// Reader of keyed sections ("[Section]" lines followed by "key=value" lines) with the rules the
// definition file relies on: section and key names match regardless of case; names and values
// are trimmed; a value enclosed in a matching pair of double or single quotes loses that pair;
// values are cut to 10,239 characters; the first occurrence of a key wins; a section may appear
// several times and anywhere (its later parts add keys not seen before).
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tabrix {

class ProfileFile {
 public:
  static constexpr std::size_t kMaxValueChars = 10239;

  // Reads the file. Only the listed sections are kept (all when the list is empty). False when
  // the file cannot be opened or reading fails.
  bool Load(const std::string& path, const std::vector<std::string>& sections = {});

  // The value of `key` in `section`; "" when either is absent.
  std::string Get(std::string_view section, std::string_view key) const;

  // Parses one line into the table (exposed for callers that hold text rather than a file).
  void AddLine(std::string_view line);

 private:
  bool Keeps(const std::string& foldedSection) const;

  std::vector<std::string> kept_;  // folded section names, empty = all
  std::string current_;            // folded name of the current section
  bool inSection_ = false;
  std::map<std::string, std::map<std::string, std::string>, std::less<>> values_;
};

}  // namespace tabrix
