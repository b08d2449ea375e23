// Parsed reference lists of the sheet XML: entries indexed by the furthest row and column they
// reach, so that an edit or copy near the end of a long list visits only the entries there.
#include "xlsx/range_list.h"

#include <algorithm>

#include "xlsx/format_extension.h"

namespace tabrix::xlsx {

namespace {

bool Intersects(const CellRect& a, const CellRect& b) {
  return a.row1 <= b.row2 && b.row1 <= a.row2 && a.col1 <= b.col2 && b.col1 <= a.col2;
}

CellRect Intersection(const CellRect& a, const CellRect& b) {
  return CellRect{std::max(a.row1, b.row1), std::max(a.col1, b.col1), std::min(a.row2, b.row2),
                  std::min(a.col2, b.col2)};
}

bool Contains(const CellRect& outer, const CellRect& inner) {
  return outer.row1 <= inner.row1 && inner.row2 <= outer.row2 && outer.col1 <= inner.col1 &&
         inner.col2 <= outer.col2;
}

}  // namespace

RangeList::RangeList(std::string_view text) : original_(text) {
  // Entries are separated by runs of spaces.
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    std::size_t end = text.find(' ', i);
    if (end == std::string_view::npos) end = text.size();
    if (end == i) break;
    Put(Append(), std::string(text.substr(i, end - i)));
    i = end;
  }
}

std::uint32_t RangeList::Append() {
  std::uint32_t slot;
  if (!free_.empty()) {
    slot = free_.back();
    free_.pop_back();
  } else {
    slot = static_cast<std::uint32_t>(slots_.size());
    slots_.emplace_back();
  }
  slots_[slot].order = nextOrder_++;
  slots_[slot].alive = true;
  ++alive_;
  return slot;
}

void RangeList::Put(std::uint32_t slot, std::string text) {
  Entry& e = slots_[slot];
  if (e.lastRow || e.lastColumn) Unindex(slot);
  if (e.alive && !e.normalized && e.text.size()) --unnormalized_;
  e.text = std::move(text);
  e.rect = ParseRect(e.text);
  e.area = ParseArea(e.text);
  e.lastRow = std::max(e.rect ? e.rect->row2 : 0, e.area ? e.area->row2 : 0);
  e.lastColumn = std::max(e.rect ? e.rect->col2 : 0, e.area ? e.area->col2 : 0);
  e.normalized = e.area && e.text == FormatRef(*e.area);
  if (!e.normalized) ++unnormalized_;
  Index(slot);
}

void RangeList::PutArea(std::uint32_t slot, const CellRect& rect) { Put(slot, FormatRef(rect)); }

void RangeList::Index(std::uint32_t slot) {
  const Entry& e = slots_[slot];
  if (!e.lastRow && !e.lastColumn) return;  // neither a reference nor an area: never moves
  byRow_.insert(Key{e.lastRow, slot});
  byColumn_.insert(Key{e.lastColumn, slot});
}

void RangeList::Unindex(std::uint32_t slot) {
  const Entry& e = slots_[slot];
  byRow_.erase(Key{e.lastRow, slot});
  byColumn_.erase(Key{e.lastColumn, slot});
}

void RangeList::Drop(std::uint32_t slot) {
  Entry& e = slots_[slot];
  Unindex(slot);
  if (!e.normalized) --unnormalized_;
  e = Entry();
  free_.push_back(slot);
  --alive_;
}

std::vector<std::uint32_t> RangeList::Reaching(bool rows, std::int32_t at) const {
  const std::set<Key>& index = rows ? byRow_ : byColumn_;
  std::vector<std::uint32_t> slots;
  for (auto it = index.lower_bound(Key{at, 0}); it != index.end(); ++it) slots.push_back(it->second);
  return slots;
}

bool RangeList::Shift(const SheetEdit& edit) {
  // An entry ending before the edited row (column) never changes.
  const std::vector<std::uint32_t> visit = Reaching(edit.OnRows(), edit.First);
  lastVisited_ = visit.size();
  bool any = false;
  std::string out;
  for (std::uint32_t slot : visit) {
    Entry& e = slots_[slot];
    if (!e.rect) continue;
    if (!ShiftSqref(e.text, edit, out)) continue;
    any = true;
    if (out.empty()) Drop(slot);
    else Put(slot, out);
  }
  changed_ = changed_ || any;
  return any;
}

bool RangeList::GrowOverInserted(const SheetEdit& edit) {
  if (!edit.IsInsert()) return false;
  const std::set<Key>& index = edit.OnRows() ? byRow_ : byColumn_;
  std::vector<std::uint32_t> ending;
  for (auto it = index.lower_bound(Key{edit.First - 1, 0}); it != index.end() && it->first == edit.First - 1; ++it)
    ending.push_back(it->second);
  lastVisited_ += ending.size();
  bool any = false;
  std::string out;
  for (std::uint32_t slot : ending) {
    if (!slots_[slot].rect || !ExtendSqrefOverInserted(slots_[slot].text, edit, out)) continue;
    Put(slot, out);
    any = true;
  }
  changed_ = changed_ || any;
  return any;
}

void RangeList::Normalize() {
  if (unnormalized_ == 0) return;
  for (std::uint32_t slot = 0; slot < slots_.size(); ++slot) {
    Entry& e = slots_[slot];
    if (!e.alive || e.normalized) continue;
    if (e.area) PutArea(slot, *e.area);
    else Drop(slot);
  }
}

bool RangeList::Extend(const CellRect& source, std::int32_t dRow, std::int32_t dCol) {
  const bool rows = dRow != 0;
  std::vector<std::uint32_t> candidates = Reaching(rows, rows ? source.row1 : source.col1);
  lastVisited_ = candidates.size();
  std::sort(candidates.begin(), candidates.end(),
            [&](std::uint32_t a, std::uint32_t b) { return slots_[a].order < slots_[b].order; });
  std::vector<CellRect> added;
  for (std::uint32_t slot : candidates) {
    const Entry& e = slots_[slot];
    if (e.area && Intersects(*e.area, source)) {
      CellRect part = Intersection(*e.area, source);
      added.push_back(CellRect{part.row1 + dRow, part.col1 + dCol, part.row2 + dRow, part.col2 + dCol});
    }
  }
  if (added.empty()) return false;
  Normalize();
  for (const CellRect& rect : added) Add(rect, rows);
  changed_ = true;
  return true;
}

// Joins the rectangle with the first entry (in list order) it continues, as often as it can,
// then appends it; nothing happens when an entry holds it already.
void RangeList::Add(CellRect rect, bool rows) {
  for (std::uint32_t slot : Reaching(rows, rows ? rect.row2 : rect.col2)) {
    ++lastVisited_;
    if (Contains(*slots_[slot].area, rect)) return;
  }
  for (;;) {
    // Whatever joins the rectangle reaches the line before it.
    std::vector<std::uint32_t> candidates = Reaching(rows, (rows ? rect.row1 : rect.col1) - 1);
    lastVisited_ += candidates.size();
    std::uint32_t best = 0;
    bool found = false;
    for (std::uint32_t slot : candidates) {
      const CellRect& e = *slots_[slot].area;
      const bool sameColumns = e.col1 == rect.col1 && e.col2 == rect.col2 && rect.row1 <= e.row2 + 1 &&
                               e.row1 <= rect.row2 + 1;
      const bool sameRows = e.row1 == rect.row1 && e.row2 == rect.row2 && rect.col1 <= e.col2 + 1 &&
                            e.col1 <= rect.col2 + 1;
      if (!(sameColumns || sameRows || Contains(rect, e))) continue;
      if (!found || slots_[slot].order < slots_[best].order) best = slot;
      found = true;
    }
    if (!found) break;
    const CellRect e = *slots_[best].area;
    rect = CellRect{std::min(e.row1, rect.row1), std::min(e.col1, rect.col1), std::max(e.row2, rect.row2),
                    std::max(e.col2, rect.col2)};
    Drop(best);
  }
  PutArea(Append(), rect);
}

std::string RangeList::Text() const {
  if (!changed_) return original_;
  std::vector<const Entry*> list;
  list.reserve(alive_);
  for (const Entry& e : slots_)
    if (e.alive) list.push_back(&e);
  std::sort(list.begin(), list.end(), [](const Entry* a, const Entry* b) { return a->order < b->order; });
  std::string out;
  for (const Entry* e : list) {
    if (!out.empty()) out.push_back(' ');
    out += e->text;
  }
  return out;
}

}  // namespace tabrix::xlsx
