// Formulas of one sheet whose rows (or columns) are held as anchors while entire rows (columns)
// are inserted: an insertion moves the few anchors at or after it instead of rewriting every
// formula that refers below it (a share of a grand total under a growing table). The text is
// produced again when the formula is read, copied or saved.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "xlsx/formula_references.h"

namespace tabrix::xlsx {

class AnchoredFormulas {
 public:
  explicit AnchoredFormulas(bool rows) : rows_(rows) {}

  // The direction the anchors follow: rows, or columns.
  bool Rows() const { return rows_; }
  bool Empty() const { return formulas_.empty(); }
  bool Holds(std::uint32_t formula) const { return formulas_.count(formula) != 0; }

  // True when an insertion of `count` lines before `first` moves every anchor without pushing
  // one past the sheet's last line (otherwise the formulas must be rewritten as text).
  bool CanInsert(std::int32_t first, std::int32_t count) const;
  // Moves every anchor at or after `first` by `count`, as inserting entire lines does to
  // every reference of the sheet's own formulas.
  void Insert(std::int32_t first, std::int32_t count);
  // Holds a formula of the sheet (its references name no sheet) by its current text.
  void Anchor(std::uint32_t formula, std::string_view text);
  // The formula's text as things are now.
  std::string Text(std::uint32_t formula) const;
  // The formula leaves the set; returns its text as things are now.
  std::string Release(std::uint32_t formula);
  std::vector<std::uint32_t> Formulas() const;
  // Every formula leaves the set: their texts as things are now, by formula.
  std::vector<std::pair<std::uint32_t, std::string>> ReleaseAll();

  // Anchors moved by the last Insert (for the engine's work counters).
  std::size_t LastVisited() const { return lastVisited_; }

 private:
  struct Held {
    ParsedFormula parsed;
    std::vector<std::int32_t> first, last;  // anchor of each reference's first and last line; -1: none
  };
  std::int32_t Intern(std::int32_t line);
  void Unref(std::int32_t anchor);

  bool rows_;
  std::vector<std::int32_t> line_;   // by anchor
  std::vector<std::uint32_t> uses_;  // by anchor
  std::vector<std::int32_t> freeAnchors_;
  std::vector<std::pair<std::int32_t, std::int32_t>> byLine_;  // (line, anchor), sorted, one per line
  std::unordered_map<std::uint32_t, Held> formulas_;
  std::size_t lastVisited_ = 0;
};

}  // namespace tabrix::xlsx
