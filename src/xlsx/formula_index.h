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
    rows_.Insert(Entry{reach.maxRow, formula});
    columns_.Insert(Entry{reach.maxColumn, formula});
  }

  // Calls visit(formula) for every formula whose highest row (rows = true) or column reaches
  // `at` or beyond. visit returns the formula's new reach, or nullopt when the formula is gone
  // (its entries are then dropped). Keys of the other order stay upper bounds: only the order
  // of the edited dimension is rewritten.
  template <typename Visit>
  void VisitFrom(bool rows, std::int32_t at, Visit visit) {
    Order& order = rows ? rows_ : columns_;
    order.Settle();
    std::vector<Entry>& list = order.sorted;
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
    order.Restore(start);
  }

  // Every formula, in no particular order (for edits that are not row or column based).
  template <typename Visit>
  void VisitAll(Visit visit) {
    std::vector<std::uint32_t> all;
    all.reserve(Size());
    for (const std::vector<Entry>* list : {&rows_.sorted, &rows_.pending})
      for (const Entry& e : *list) all.push_back(e.formula);
    for (std::uint32_t formula : all) {
      std::optional<Reach> reach = visit(formula);
      (void)reach;
    }
  }

  // Indexes again, in the order of one direction only, a formula that left that order
  // (VisitFrom dropped it there; its entry in the other order stayed).
  void AddTo(bool rows, std::uint32_t formula, Reach reach) {
    (rows ? rows_ : columns_).Insert(Entry{rows ? reach.maxRow : reach.maxColumn, formula});
  }

  // Drops the entries of every formula for which gone(formula) holds (released formulas, before
  // their slots are given to new formulas).
  template <typename Gone>
  void RemoveIf(Gone gone) {
    auto drop = [&](std::vector<Entry>& list) {
      list.erase(std::remove_if(list.begin(), list.end(), [&](const Entry& e) { return gone(e.formula); }),
                 list.end());
    };
    for (Order* order : {&rows_, &columns_}) {
      drop(order->sorted);
      drop(order->pending);
    }
  }

  std::size_t Size() const { return rows_.sorted.size() + rows_.pending.size(); }

  // Entries moved to keep the orders sorted (for the engine's work counters): adding formulas
  // must not move a number of entries that grows with the formulas already indexed.
  std::uint64_t EntriesMoved() const { return rows_.moved + columns_.moved; }

 private:
  struct Entry {
    std::int32_t key;
    std::uint32_t formula;
  };
  static bool ByKey(const Entry& a, const Entry& b) { return a.key < b.key; }

  // One direction's order. Entries that would go before the end of the sorted list wait in
  // `pending` until the order is visited: inserting each in place would move every entry after
  // it (formulas copied row by row under a growing table all reach the same last column).
  struct Order {
    std::vector<Entry> sorted, pending;
    std::uint64_t moved = 0;

    void Insert(Entry entry) {
      if (pending.empty() && (sorted.empty() || sorted.back().key <= entry.key)) sorted.push_back(entry);
      else pending.push_back(entry);
    }

    // Merges the pending entries in; only the part of the sorted list from the smallest
    // pending key on moves.
    void Settle() {
      if (pending.empty()) return;
      std::stable_sort(pending.begin(), pending.end(), ByKey);
      auto from = std::upper_bound(sorted.begin(), sorted.end(), pending.front(), ByKey);
      const auto start = static_cast<std::ptrdiff_t>(from - sorted.begin());
      moved += static_cast<std::uint64_t>(sorted.end() - from) + pending.size();
      const auto middle = static_cast<std::ptrdiff_t>(sorted.size());
      sorted.insert(sorted.end(), pending.begin(), pending.end());
      pending.clear();
      std::inplace_merge(sorted.begin() + start, sorted.begin() + middle, sorted.end(), ByKey);
    }

    // Keys from `start` on were rewritten: put the list back in order, cheaply when the edit
    // kept it ordered (insertions move every visited key by the same amount).
    void Restore(std::size_t start) {
      auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(start);
      if (!std::is_sorted(middle, sorted.end(), ByKey)) std::sort(middle, sorted.end(), ByKey);
      if (start > 0 && middle != sorted.end() && (middle - 1)->key > middle->key) {
        moved += sorted.size();
        std::inplace_merge(sorted.begin(), middle, sorted.end(), ByKey);
      }
    }
  };

  Order rows_, columns_;
};

}  // namespace tabrix::xlsx
