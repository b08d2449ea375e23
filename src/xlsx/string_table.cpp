// The workbook's shared-string table: lookup, deduplication and the entries in use when saving.
#include "xlsx/string_table.h"

#include <algorithm>
#include <stdexcept>

namespace tabrix::xlsx {

std::uint32_t StringTable::Intern(std::string_view text) {
  auto it = plainIndex_.find(text);
  if (it != plainIndex_.end()) return it->second;
  if (entries_.size() >= 0xFFFFFFF0u) throw std::length_error("too many distinct texts");
  auto index = static_cast<std::uint32_t>(entries_.size());
  entries_.push_back(Entry{std::string(text), {}});
  plainIndex_.emplace(entries_.back().text, index);
  return index;
}

std::uint32_t StringTable::AddRich(std::string text, std::string richXml) {
  auto index = static_cast<std::uint32_t>(entries_.size());
  entries_.push_back(Entry{std::move(text), std::move(richXml)});
  return index;
}

std::vector<std::uint32_t> StringTable::Compact(const std::vector<std::uint8_t>& used) {
  if (std::find(used.begin(), used.end(), 0) == used.end()) return {};  // every entry in use
  std::vector<std::uint32_t> remap(entries_.size(), 0);
  std::deque<Entry> kept;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (!used[i]) continue;
    remap[i] = static_cast<std::uint32_t>(kept.size());
    kept.push_back(std::move(entries_[i]));
  }
  entries_.swap(kept);
  std::deque<Entry>().swap(kept);
  // The old index views the moved texts: freed before the new one is built, so that the two
  // never take memory at once.
  std::unordered_map<std::string_view, std::uint32_t>().swap(plainIndex_);
  plainIndex_.reserve(entries_.size());
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].rich.empty()) plainIndex_.emplace(entries_[i].text, static_cast<std::uint32_t>(i));
  return remap;
}

}  // namespace tabrix::xlsx
