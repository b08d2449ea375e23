// The workbook's strings: shared-string entries (plain, or rich text kept as its XML), plain
// ones deduplicated. Cells hold indexes into this table; saving writes only the entries in use,
// and entries no cell uses any more are dropped by Compact.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tabrix::xlsx {

class StringTable {
 public:
  // Index of a plain text, added when new.
  std::uint32_t Intern(std::string_view text);
  // Adds a rich-text entry: its plain text and the inner XML of its <si> element.
  std::uint32_t AddRich(std::string text, std::string richXml);

  const std::string& Text(std::uint32_t index) const { return entries_[index].text; }
  bool IsRich(std::uint32_t index) const { return !entries_[index].rich.empty(); }
  const std::string& RichXml(std::uint32_t index) const { return entries_[index].rich; }
  std::size_t Size() const { return entries_.size(); }
  // Keeps only the entries `used` marks, in their order; returns the new index of each old one
  // (0 for those dropped), or nothing when every entry is in use and nothing moved.
  std::vector<std::uint32_t> Compact(const std::vector<std::uint8_t>& used);

 private:
  struct Entry {
    std::string text;
    std::string rich;  // inner XML of <si> for rich text, empty for plain text
  };
  std::deque<Entry> entries_;  // a deque keeps the texts in place, so the index may view them
  std::unordered_map<std::string_view, std::uint32_t> plainIndex_;
};

}  // namespace tabrix::xlsx
