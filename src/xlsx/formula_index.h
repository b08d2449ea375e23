// Formulas ordered by the highest row and the highest column they reference, so that a row or
// column edit at k visits only the formulas that reach k or beyond, not every formula.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace tabrix::xlsx {

class FormulaIndex {
 public:
  struct Reach {
    std::int32_t maxRow = 0, maxColumn = 0;
  };

  void Add(std::uint32_t formula, Reach reach) {
    Insert(byRow_, Entry{reach.maxRow, formula});
    Insert(byColumn_, Entry{reach.maxColumn, formula});
  }

  // Calls visit(formula) for every formula whose highest row (rows = true) or column reaches
  // `at` or beyond. visit returns the formula's new reach, or nullopt when the formula is gone
  // (its entries are then dropped). Keys of the other order stay upper bounds: only the order
  // of the edited dimension is rewritten.
  template <typename Visit>
  void VisitFrom(bool rows, std::int32_t at, Visit visit) {
    std::vector<Entry>& list = rows ? byRow_ : byColumn_;
    auto first = std::lower_bound(list.begin(), list.end(), at,
                                  [](const Entry& e, std::int32_t k) { return e.key < k; });
    std::size_t start = static_cast<std::size_t>(first - list.begin());
    std::size_t out = start;
    for (std::size_t i = start; i < list.size(); ++i) {
      std::optional<Reach> reach = visit(list[i].formula);
      if (!reach) continue;
      list[out].formula = list[i].formula;
      list[out].key = rows ? reach->maxRow : reach->maxColumn;
      ++out;
    }
    list.resize(out);
    Restore(list, start);
  }

  // Every formula, in no particular order (for edits that are not row or column based).
  template <typename Visit>
  void VisitAll(Visit visit) {
    std::vector<std::uint32_t> all;
    all.reserve(byRow_.size());
    for (const Entry& e : byRow_) all.push_back(e.formula);
    for (std::uint32_t formula : all) {
      std::optional<Reach> reach = visit(formula);
      (void)reach;
    }
  }

  // Indexes again, in the order of one direction only, a formula that left that order
  // (VisitFrom dropped it there; its entry in the other order stayed).
  void AddTo(bool rows, std::uint32_t formula, Reach reach) {
    Insert(rows ? byRow_ : byColumn_, Entry{rows ? reach.maxRow : reach.maxColumn, formula});
  }

  // Drops the entries of every formula for which gone(formula) holds (released formulas, before
  // their slots are given to new formulas).
  template <typename Gone>
  void RemoveIf(Gone gone) {
    auto drop = [&](std::vector<Entry>& list) {
      list.erase(std::remove_if(list.begin(), list.end(), [&](const Entry& e) { return gone(e.formula); }),
                 list.end());
    };
    drop(byRow_);
    drop(byColumn_);
  }

  std::size_t Size() const { return byRow_.size(); }

 private:
  struct Entry {
    std::int32_t key;
    std::uint32_t formula;
  };

  static void Insert(std::vector<Entry>& list, Entry entry) {
    if (list.empty() || list.back().key <= entry.key) {
      list.push_back(entry);
      return;
    }
    auto it = std::upper_bound(list.begin(), list.end(), entry.key,
                               [](std::int32_t k, const Entry& e) { return k < e.key; });
    list.insert(it, entry);
  }

  // Keys from `start` on were rewritten: put the list back in order, cheaply when the edit
  // kept it ordered (insertions move every visited key by the same amount).
  static void Restore(std::vector<Entry>& list, std::size_t start) {
    auto byKey = [](const Entry& a, const Entry& b) { return a.key < b.key; };
    auto middle = list.begin() + static_cast<std::ptrdiff_t>(start);
    if (!std::is_sorted(middle, list.end(), byKey)) std::sort(middle, list.end(), byKey);
    if (start > 0 && middle != list.end() && (middle - 1)->key > middle->key)
      std::inplace_merge(list.begin(), middle, list.end(), byKey);
  }

  std::vector<Entry> byRow_, byColumn_;
};

}  // namespace tabrix::xlsx
