// Anchored formulas: references parsed once, their lines shared as anchors ordered by line.
#include "xlsx/anchored_formulas.h"

#include <algorithm>

namespace tabrix::xlsx {

namespace {

using LineAnchor = std::pair<std::int32_t, std::int32_t>;

std::vector<LineAnchor>::const_iterator FirstAt(const std::vector<LineAnchor>& list, std::int32_t line) {
  return std::lower_bound(list.begin(), list.end(), line,
                          [](const LineAnchor& e, std::int32_t at) { return e.first < at; });
}

}  // namespace

std::int32_t AnchoredFormulas::Intern(std::int32_t line) {
  auto it = FirstAt(byLine_, line);
  if (it != byLine_.end() && it->first == line) {
    ++uses_[static_cast<std::size_t>(it->second)];
    return it->second;
  }
  std::int32_t anchor;
  if (!freeAnchors_.empty()) {
    anchor = freeAnchors_.back();
    freeAnchors_.pop_back();
  } else {
    anchor = static_cast<std::int32_t>(line_.size());
    line_.push_back(0);
    uses_.push_back(0);
  }
  line_[static_cast<std::size_t>(anchor)] = line;
  uses_[static_cast<std::size_t>(anchor)] = 1;
  byLine_.insert(byLine_.begin() + (it - byLine_.cbegin()), LineAnchor{line, anchor});
  return anchor;
}

void AnchoredFormulas::Unref(std::int32_t anchor) {
  if (anchor < 0) return;
  const auto a = static_cast<std::size_t>(anchor);
  if (--uses_[a] > 0) return;
  auto it = FirstAt(byLine_, line_[a]);
  byLine_.erase(it);
  freeAnchors_.push_back(anchor);
}

bool AnchoredFormulas::CanInsert(std::int32_t, std::int32_t count) const {
  const std::int32_t limit = rows_ ? kMaxRows : kMaxColumns;
  return byLine_.empty() || static_cast<std::int64_t>(byLine_.back().first) + count <= limit;
}

void AnchoredFormulas::Insert(std::int32_t first, std::int32_t count) {
  auto from = byLine_.begin() + (FirstAt(byLine_, first) - byLine_.cbegin());
  lastVisited_ = static_cast<std::size_t>(byLine_.end() - from);
  // Every anchor from `first` on moves by the same amount: the order stays.
  for (auto it = from; it != byLine_.end(); ++it) {
    it->first += count;
    line_[static_cast<std::size_t>(it->second)] = it->first;
  }
}

void AnchoredFormulas::Anchor(std::uint32_t formula, std::string_view text) {
  Held held{ParsedFormula(text), {}, {}};
  const std::int32_t limit = rows_ ? kMaxRows : kMaxColumns;
  const std::size_t count = held.parsed.ReferenceCount();
  held.first.assign(count, -1);
  held.last.assign(count, -1);
  for (std::size_t i = 0; i < count; ++i) {
    const ParsedFormula::Reference& r = held.parsed.ReferenceAt(i);
    if (r.Deleted) continue;
    const std::int32_t a1 = rows_ ? r.Rect.row1 : r.Rect.col1;
    const std::int32_t a2 = rows_ ? r.Rect.row2 : r.Rect.col2;
    if (a1 == 1 && a2 == limit) continue;  // the whole axis (E:E for rows) never moves
    held.first[i] = Intern(a1);
    held.last[i] = Intern(a2);
  }
  auto [it, added] = formulas_.insert_or_assign(formula, std::move(held));
  (void)it;
  (void)added;
}

std::string AnchoredFormulas::Text(std::uint32_t formula) const {
  const Held& held = formulas_.at(formula);
  ParsedFormula parsed = held.parsed;
  for (std::size_t i = 0; i < parsed.ReferenceCount(); ++i) {
    if (held.first[i] < 0) continue;
    CellRect rect = parsed.ReferenceAt(i).Rect;
    std::int32_t& a1 = rows_ ? rect.row1 : rect.col1;
    std::int32_t& a2 = rows_ ? rect.row2 : rect.col2;
    const std::int32_t now1 = line_[static_cast<std::size_t>(held.first[i])];
    const std::int32_t now2 = line_[static_cast<std::size_t>(held.last[i])];
    if (now1 == a1 && now2 == a2) continue;
    a1 = now1;
    a2 = now2;
    parsed.MoveReference(i, rect);
  }
  return parsed.Text();
}

std::string AnchoredFormulas::Release(std::uint32_t formula) {
  std::string text = Text(formula);
  auto it = formulas_.find(formula);
  for (std::int32_t anchor : it->second.first) Unref(anchor);
  for (std::int32_t anchor : it->second.last) Unref(anchor);
  formulas_.erase(it);
  return text;
}

std::vector<std::pair<std::uint32_t, std::string>> AnchoredFormulas::ReleaseAll() {
  std::vector<std::pair<std::uint32_t, std::string>> texts;
  texts.reserve(formulas_.size());
  for (std::uint32_t formula : Formulas()) texts.emplace_back(formula, Text(formula));
  formulas_.clear();
  line_.clear();
  uses_.clear();
  freeAnchors_.clear();
  byLine_.clear();
  return texts;
}

std::vector<std::uint32_t> AnchoredFormulas::Formulas() const {
  std::vector<std::uint32_t> all;
  all.reserve(formulas_.size());
  for (const auto& entry : formulas_) all.push_back(entry.first);
  std::sort(all.begin(), all.end());
  return all;
}

}  // namespace tabrix::xlsx
