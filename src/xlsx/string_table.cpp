// The workbook's shared-string table: lookup, deduplication and the entries in use when saving.
#include "xlsx/string_table.h"

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

}  // namespace tabrix::xlsx
