// Reference scanning and moving of formula texts and reference lists.
//
// The scanner walks a formula once, byte by byte, and reports every cell reference it finds
// (with the span it occupies and its sheet prefix) to a visitor. Rewriting copies the text
// between changed references verbatim, so anything the scanner does not understand is kept.
#include "xlsx/formula_references.h"

#include <algorithm>

#include "support/a1_reference.h"
#include "support/text_case.h"

namespace tabrix::xlsx {
namespace {

using Form = ParsedFormula::Reference::Form;

using a1::IsRunChar;
using a1::RunEnd;

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// ---------------------------------------------------------------------------------------------
// One reference: shape, rectangle and "$" markers

struct Ref {
  Form Shape = Form::Cell;
  CellRect Rect;
  bool R1Abs = false, C1Abs = false, R2Abs = false, C2Abs = false;
  bool Deleted = false;
};

void Normalize(Ref& ref) {
  if (ref.Rect.row1 > ref.Rect.row2) {
    std::swap(ref.Rect.row1, ref.Rect.row2);
    std::swap(ref.R1Abs, ref.R2Abs);
  }
  if (ref.Rect.col1 > ref.Rect.col2) {
    std::swap(ref.Rect.col1, ref.Rect.col2);
    std::swap(ref.C1Abs, ref.C2Abs);
  }
}

Ref FromA1(const a1::Reference& parsed) {
  Ref ref;
  ref.Shape = parsed.shape;
  ref.Rect = parsed.rect;
  ref.R1Abs = parsed.row1Absolute;
  ref.C1Abs = parsed.col1Absolute;
  ref.R2Abs = parsed.row2Absolute;
  ref.C2Abs = parsed.col2Absolute;
  return ref;
}

a1::Reference ToA1(const Ref& ref) {
  a1::Reference out;
  out.shape = ref.Shape;
  out.rect = ref.Rect;
  out.row1Absolute = ref.R1Abs;
  out.col1Absolute = ref.C1Abs;
  out.row2Absolute = ref.R2Abs;
  out.col2Absolute = ref.C2Abs;
  return out;
}

// Classifies "run1" or "run1:run2" as a reference. `second` is empty when there is no ":".
bool MakeRef(std::string_view first, std::string_view second, Ref& ref) {
  a1::Reference parsed;
  if (!a1::ParseReference(first, second, parsed)) {
    ref = {};
    return false;
  }
  ref = FromA1(parsed);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Writing references

void AppendRef(std::string& out, const Ref& ref) {
  if (ref.Deleted)
    out += "#REF!";
  else
    a1::AppendReference(out, ToA1(ref));
}

// ---------------------------------------------------------------------------------------------
// Moving references

// Applies a structural edit to a reference into the edited sheet. Returns true when it changed.
bool ShiftRef(Ref& ref, const SheetEdit& edit) {
  if (ref.Deleted || edit.Count <= 0 || edit.First < 1) return false;
  const bool rows = edit.OnRows();
  std::int32_t& a1 = rows ? ref.Rect.row1 : ref.Rect.col1;
  std::int32_t& a2 = rows ? ref.Rect.row2 : ref.Rect.col2;
  const std::int32_t b1 = rows ? ref.Rect.col1 : ref.Rect.row1;
  const std::int32_t b2 = rows ? ref.Rect.col2 : ref.Rect.row2;
  const std::int32_t limit = rows ? kMaxRows : kMaxColumns;
  // A reference spanning the whole axis (E:E for row edits) never moves.
  if (a1 == 1 && a2 == limit) return false;
  if (edit.HasBand() && (b1 < edit.BandFirst || b2 > edit.BandLast)) return false;
  const std::int64_t k = edit.First, n = edit.Count;
  if (edit.IsInsert()) {
    if (a1 >= k) {
      if (a1 + n > limit) {
        ref.Deleted = true;
        return true;
      }
      a1 = static_cast<std::int32_t>(a1 + n);
      a2 = static_cast<std::int32_t>(std::min<std::int64_t>(a2 + n, limit));
      return true;
    }
    if (a2 >= k) {
      std::int32_t grown = static_cast<std::int32_t>(std::min<std::int64_t>(a2 + n, limit));
      if (grown == a2) return false;
      a2 = grown;
      return true;
    }
    return false;
  }
  const std::int64_t last = k + n - 1;
  if (a2 < k) return false;
  if (a1 > last) {
    a1 = static_cast<std::int32_t>(a1 - n);
    a2 = static_cast<std::int32_t>(a2 - n);
    return true;
  }
  if (a1 >= k && a2 <= last) {
    ref.Deleted = true;
    return true;
  }
  const std::int32_t new1 = a1 < k ? a1 : static_cast<std::int32_t>(k);
  const std::int32_t new2 = a2 > last ? static_cast<std::int32_t>(a2 - n)
                                      : static_cast<std::int32_t>(k - 1);
  a1 = new1;
  a2 = new2;
  return true;
}

// Copy translation: relative parts move, "$" parts stay; off the sheet -> #REF!.
bool TranslateRef(Ref& ref, std::int32_t dRow, std::int32_t dCol) {
  if (ref.Deleted || (dRow == 0 && dCol == 0)) return false;
  CellRect r = ref.Rect;
  bool moved = false;
  auto move = [&](std::int32_t& value, bool absolute, std::int32_t offset) {
    if (absolute || offset == 0) return;
    value += offset;
    moved = true;
  };
  if (ref.Shape != Form::Columns) {
    move(r.row1, ref.R1Abs, dRow);
    move(r.row2, ref.R2Abs, dRow);
  }
  if (ref.Shape != Form::Rows) {
    move(r.col1, ref.C1Abs, dCol);
    move(r.col2, ref.C2Abs, dCol);
  }
  if (!moved) return false;
  if (r.row1 < 1 || r.row2 < 1 || r.row1 > kMaxRows || r.row2 > kMaxRows || r.col1 < 1 ||
      r.col2 < 1 || r.col1 > kMaxColumns || r.col2 > kMaxColumns) {
    ref.Deleted = true;
    return true;
  }
  ref.Rect = r;
  Normalize(ref);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Sheet names

// Compares a raw sheet name from a formula (quoted ones still have '' doubled) with a name,
// without regard to case (support/text_case.h).
bool SheetNameEquals(std::string_view raw, bool quoted, std::string_view name) {
  if (!quoted || raw.find('\'') == std::string_view::npos) return EqualsIgnoringCase(raw, name);
  std::string unquoted;
  unquoted.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\'' && i + 1 < raw.size() && raw[i + 1] == '\'') ++i;
    unquoted.push_back(raw[i]);
  }
  return EqualsIgnoringCase(unquoted, name);
}

// ---------------------------------------------------------------------------------------------
// The scanner

struct Found {
  std::uint32_t PrefixBegin = 0, Begin = 0, End = 0;
  std::uint32_t SheetBegin = 0, SheetEnd = 0;
  bool Prefixed = false, Quoted = false, ThreeD = false, External = false;
  Ref Value;
};


// A reference right after a sheet prefix, at s[i]: "A1", "A1:B2", "A:C" or "4:7".
bool ReferenceAt(std::string_view s, std::size_t i, Ref& ref, std::size_t& end) {
  std::size_t e1 = RunEnd(s, i);
  if (e1 == i) return false;
  if (e1 < s.size() && s[e1] == ':') {
    std::size_t e2 = RunEnd(s, e1 + 1);
    if (e2 > e1 + 1 && MakeRef(s.substr(i, e1 - i), s.substr(e1 + 1, e2 - e1 - 1), ref)) {
      end = e2;
      return true;
    }
  }
  if (MakeRef(s.substr(i, e1 - i), {}, ref)) {
    end = e1;
    return true;
  }
  return false;
}

// Calls visit(Found&) for every reference of the formula, in order.
template <typename Visit>
void Scan(std::string_view s, Visit&& visit) {
  const std::size_t n = s.size();
  std::size_t i = 0;
  Found found;
  // After a sheet prefix ending just before `at`: report the reference there, if any.
  auto afterPrefix = [&](std::size_t prefixBegin, std::size_t at) -> std::size_t {
    std::size_t end;
    if (ReferenceAt(s, at, found.Value, end)) {
      found.PrefixBegin = static_cast<std::uint32_t>(prefixBegin);
      found.Begin = static_cast<std::uint32_t>(at);
      found.End = static_cast<std::uint32_t>(end);
      found.Prefixed = true;
      visit(found);
      return end;
    }
    return at;  // a sheet-level name, #REF! or something else: scanned on as usual
  };
  while (i < n) {
    const char c = s[i];
    if (c == '"') {  // string literal, "" inside
      ++i;
      while (i < n) {
        if (s[i] == '"') {
          if (i + 1 < n && s[i + 1] == '"') {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
      continue;
    }
    if (c == '\'') {  // quoted sheet prefix
      const std::size_t j = a1::QuotedNameEnd(s, i);
      if (j + 1 < n && s[j + 1] == '!') {
        std::string_view inner = s.substr(i + 1, j - i - 1);
        found = {};
        found.Quoted = true;
        found.External = !inner.empty() && inner.front() == '[';
        found.ThreeD = inner.find(':') != std::string_view::npos;
        found.SheetBegin = static_cast<std::uint32_t>(i + 1);
        found.SheetEnd = static_cast<std::uint32_t>(j);
        i = afterPrefix(i, j + 2);
      } else {
        i = j + 1;
      }
      continue;
    }
    if (c == '[') {  // external workbook prefix or structured reference
      std::size_t close = SkipBrackets(s, i);
      std::size_t e1 = RunEnd(s, close);
      if (e1 > close && e1 < n && s[e1] == '!') {
        found = {};
        found.External = true;
        found.SheetBegin = static_cast<std::uint32_t>(close);
        found.SheetEnd = static_cast<std::uint32_t>(e1);
        i = afterPrefix(i, e1 + 1);
      } else if (e1 > close && e1 < n && s[e1] == ':') {
        std::size_t e2 = RunEnd(s, e1 + 1);
        if (e2 < n && s[e2] == '!') {
          found = {};
          found.External = found.ThreeD = true;
          found.SheetBegin = static_cast<std::uint32_t>(close);
          found.SheetEnd = static_cast<std::uint32_t>(e2);
          i = afterPrefix(i, e2 + 1);
        } else {
          i = close;
        }
      } else {
        i = close;
      }
      continue;
    }
    if (c == '#') {  // error literal (#REF!, #N/A, #DIV/0!) or the spill operator
      ++i;
      while (i < n && (IsLetter(s[i]) || IsDigit(s[i]) || s[i] == '_' || s[i] == '/')) ++i;
      if (i < n && (s[i] == '!' || s[i] == '?')) {
        ++i;
        // "#REF!A1": a reference into a deleted sheet, which nothing moves any more.
        Ref dead;
        std::size_t end;
        if (s[i - 1] == '!' && ReferenceAt(s, i, dead, end)) i = end;
      }
      continue;
    }
    if (!IsRunChar(c)) {
      ++i;
      continue;
    }
    const std::size_t e1 = RunEnd(s, i);
    if (IsDigit(c) || c == '.') {  // number, or whole rows "4:7"
      if (e1 < n && s[e1] == ':') {
        std::size_t e2 = RunEnd(s, e1 + 1);
        found = {};
        if (MakeRef(s.substr(i, e1 - i), s.substr(e1 + 1, e2 - e1 - 1), found.Value)) {
          found.PrefixBegin = found.Begin = static_cast<std::uint32_t>(i);
          found.End = static_cast<std::uint32_t>(e2);
          visit(found);
          i = e2;
          continue;
        }
      }
      i = e1;
      if ((s[i - 1] == 'E' || s[i - 1] == 'e') && i < n && (s[i] == '+' || s[i] == '-')) {
        ++i;  // exponent of 1E+5
        while (i < n && IsDigit(s[i])) ++i;
      }
      continue;
    }
    const char next = e1 < n ? s[e1] : '\0';
    if (next == '(') {  // function name
      i = e1 + 1;
      continue;
    }
    if (next == '!') {  // sheet prefix
      found = {};
      found.SheetBegin = static_cast<std::uint32_t>(i);
      found.SheetEnd = static_cast<std::uint32_t>(e1);
      i = afterPrefix(i, e1 + 1);
      continue;
    }
    if (next == '[') {  // structured reference Table1[...]
      i = SkipBrackets(s, e1);
      continue;
    }
    if (next == ':') {
      const std::size_t e2 = RunEnd(s, e1 + 1);
      if (e2 > e1 + 1 && e2 < n && s[e2] == '!') {  // Sheet1:Sheet3!
        found = {};
        found.ThreeD = true;
        found.SheetBegin = static_cast<std::uint32_t>(i);
        found.SheetEnd = static_cast<std::uint32_t>(e2);
        i = afterPrefix(i, e2 + 1);
        continue;
      }
      if (e2 > e1 + 1 && !(e2 < n && (s[e2] == '(' || s[e2] == '['))) {
        found = {};
        if (MakeRef(s.substr(i, e1 - i), s.substr(e1 + 1, e2 - e1 - 1), found.Value)) {
          found.PrefixBegin = found.Begin = static_cast<std::uint32_t>(i);
          found.End = static_cast<std::uint32_t>(e2);
          visit(found);
          i = e2;
          continue;
        }
      }
    }
    found = {};
    if (MakeRef(s.substr(i, e1 - i), {}, found.Value)) {
      found.PrefixBegin = found.Begin = static_cast<std::uint32_t>(i);
      found.End = static_cast<std::uint32_t>(e1);
      visit(found);
    }
    i = e1;  // a name, TRUE/FALSE, or the cell just reported
  }
}

// Does a found reference point into the edited sheet?
bool PointsAtEditedSheet(std::string_view s, const Found& f, const FormulaContext& context) {
  if (!f.Prefixed) return context.OnEditedSheet;
  if (f.ThreeD || f.External) return false;
  return SheetNameEquals(s.substr(f.SheetBegin, f.SheetEnd - f.SheetBegin), f.Quoted,
                         context.EditedSheet);
}

// Rewrites the formula, asking `change(Found&)` for each reference whether it changed (and
// to update found.Value). `from` selects the start of the replaced span (Begin, or PrefixBegin
// when the prefix goes too) and `lead` text written before the reference.
template <typename Change>
bool Rewrite(std::string_view s, std::string& out, Change&& change) {
  bool any = false;
  std::size_t copied = 0;
  std::string result;
  Scan(s, [&](Found& f) {
    std::size_t from = f.Begin;
    std::string_view lead;
    if (!change(f, from, lead)) return;
    if (!any) {
      any = true;
      result.reserve(s.size() + 16);
    }
    result.append(s.substr(copied, from - copied));
    result.append(lead);
    AppendRef(result, f.Value);
    copied = f.End;
  });
  if (!any) return false;
  result.append(s.substr(copied));
  out = std::move(result);
  return true;
}

void Extend(ReferenceReach& reach, const Ref& ref, bool prefixed) {
  reach.HasReferences = true;
  reach.HasSheetPrefix = reach.HasSheetPrefix || prefixed;
  if (ref.Shape != Form::Columns) reach.MaxRow = std::max(reach.MaxRow, ref.Rect.row2);
  if (ref.Shape != Form::Rows) reach.MaxColumn = std::max(reach.MaxColumn, ref.Rect.col2);
}

Ref ToRef(const ParsedFormula::Reference& r) {
  Ref ref;
  ref.Shape = r.Shape;
  ref.Rect = r.Rect;
  ref.R1Abs = r.Row1Absolute;
  ref.C1Abs = r.Col1Absolute;
  ref.R2Abs = r.Row2Absolute;
  ref.C2Abs = r.Col2Absolute;
  ref.Deleted = r.Deleted;
  return ref;
}

void FromRef(ParsedFormula::Reference& r, const Ref& ref) {
  r.Rect = ref.Rect;
  r.Row1Absolute = ref.R1Abs;
  r.Col1Absolute = ref.C1Abs;
  r.Row2Absolute = ref.R2Abs;
  r.Col2Absolute = ref.C2Abs;
  r.Deleted = ref.Deleted;
  r.Changed = true;
}

// A reference list entry: one rectangle with its written form.
bool ParseEntry(std::string_view text, Ref& ref) {
  std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return MakeRef(text, {}, ref);
  return MakeRef(text.substr(0, colon), text.substr(colon + 1), ref);
}

template <typename Change>
bool RewriteList(std::string_view list, std::string& out, Change&& change) {
  std::string result;
  bool any = false;
  std::size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && list[i] == ' ') ++i;
    std::size_t end = list.find(' ', i);
    if (end == std::string_view::npos) end = list.size();
    if (end == i) break;
    std::string_view entry = list.substr(i, end - i);
    Ref ref;
    bool keep = true;
    bool changed = false;
    if (ParseEntry(entry, ref)) {
      changed = change(ref);
      keep = !ref.Deleted;
    }
    any = any || changed;
    if (keep) {
      if (!result.empty()) result.push_back(' ');
      if (changed)
        AppendRef(result, ref);
      else
        result.append(entry);
    }
    i = end;
  }
  if (!any) return false;
  out = std::move(result);
  return true;
}

Ref RefOfRect(const CellRect& rect) {
  Ref ref = FromA1(a1::ReferenceOf(rect));
  Normalize(ref);
  return ref;
}

}  // namespace

// Skips a bracketed group starting at s[i] == '[' (nested, "'" escapes the next character).
std::size_t SkipBrackets(std::string_view s, std::size_t i) {
  int depth = 0;
  while (i < s.size()) {
    char c = s[i];
    if (c == '\'' && i + 1 < s.size()) {
      i += 2;
      continue;
    }
    if (c == '[') ++depth;
    if (c == ']' && --depth == 0) return i + 1;
    ++i;
  }
  return i;
}

// ---------------------------------------------------------------------------------------------
// Formula text

bool ShiftFormula(std::string_view formula, const SheetEdit& edit, const FormulaContext& context,
                  std::string& out) {
  return Rewrite(formula, out, [&](Found& f, std::size_t&, std::string_view&) {
    return PointsAtEditedSheet(formula, f, context) && ShiftRef(f.Value, edit);
  });
}

bool TranslateFormula(std::string_view formula, std::int32_t rowOffset,
                      std::int32_t columnOffset, std::string& out) {
  return Rewrite(formula, out, [&](Found& f, std::size_t&, std::string_view&) {
    return TranslateRef(f.Value, rowOffset, columnOffset);
  });
}

bool RemoveSheetReferences(std::string_view formula, std::string_view deletedSheet,
                           std::string& out) {
  return Rewrite(formula, out, [&](Found& f, std::size_t& from, std::string_view& lead) {
    if (!f.Prefixed || f.ThreeD || f.External ||
        !SheetNameEquals(formula.substr(f.SheetBegin, f.SheetEnd - f.SheetBegin), f.Quoted,
                         deletedSheet))
      return false;
    from = f.PrefixBegin;
    lead = "#REF!";
    return true;
  });
}

std::string TranslatedFormula(std::string_view formula, std::int32_t rowOffset,
                              std::int32_t columnOffset) {
  std::string out;
  if (!TranslateFormula(formula, rowOffset, columnOffset, out)) out.assign(formula);
  return out;
}

ReferenceReach MeasureReferences(std::string_view formula) {
  ReferenceReach reach;
  Scan(formula, [&](const Found& f) { Extend(reach, f.Value, f.Prefixed); });
  return reach;
}

bool EditCanAffect(const ReferenceReach& reach, const SheetEdit& edit) {
  if (!reach.HasReferences) return false;
  return edit.OnRows() ? reach.MaxRow >= edit.First : reach.MaxColumn >= edit.First;
}

// ---------------------------------------------------------------------------------------------
// Parsed formula

ParsedFormula::ParsedFormula(std::string_view formula) : source_(formula) {
  // Collected in a reused buffer, then stored with one allocation of the exact size.
  thread_local std::vector<Reference> found;
  found.clear();
  Scan(source_, [&](const Found& f) {
    Reference r;
    r.Begin = f.Begin;
    r.End = f.End;
    r.PrefixBegin = f.PrefixBegin;
    r.SheetBegin = f.SheetBegin;
    r.SheetEnd = f.SheetEnd;
    r.Shape = f.Value.Shape;
    r.Rect = f.Value.Rect;
    r.Row1Absolute = f.Value.R1Abs;
    r.Col1Absolute = f.Value.C1Abs;
    r.Row2Absolute = f.Value.R2Abs;
    r.Col2Absolute = f.Value.C2Abs;
    r.Prefixed = f.Prefixed;
    r.Quoted = f.Quoted;
    r.ThreeD = f.ThreeD;
    r.External = f.External;
    found.push_back(r);
  });
  if (!found.empty()) references_.assign(found.begin(), found.end());
}

bool ParsedFormula::Shift(const SheetEdit& edit, const FormulaContext& context) {
  bool any = false;
  for (Reference& r : references_) {
    bool here;
    if (!r.Prefixed)
      here = context.OnEditedSheet;
    else if (r.ThreeD || r.External)
      here = false;
    else
      here = SheetNameEquals(std::string_view(source_).substr(r.SheetBegin,
                                                              r.SheetEnd - r.SheetBegin),
                             r.Quoted, context.EditedSheet);
    if (here && ShiftReference(static_cast<std::size_t>(&r - references_.data()), edit)) any = true;
  }
  return any;
}

bool ParsedFormula::ShiftReference(std::size_t i, const SheetEdit& edit) {
  Ref ref = ToRef(references_[i]);
  if (!ShiftRef(ref, edit)) return false;
  FromRef(references_[i], ref);
  return true;
}

bool ParsedFormula::Translate(std::int32_t rowOffset, std::int32_t columnOffset) {
  bool any = false;
  for (Reference& r : references_) {
    Ref ref = ToRef(r);
    if (TranslateRef(ref, rowOffset, columnOffset)) {
      FromRef(r, ref);
      any = true;
    }
  }
  return any;
}

std::string ParsedFormula::Text() const {
  if (!Changed()) return source_;
  std::string out;
  out.reserve(source_.size() + 16);
  std::size_t copied = 0;
  for (const Reference& r : references_) {
    if (!r.Changed) continue;
    out.append(source_, copied, r.Begin - copied);
    AppendRef(out, ToRef(r));
    copied = r.End;
  }
  out.append(source_, copied);
  return out;
}

bool ParsedFormula::Changed() const {
  return std::any_of(references_.begin(), references_.end(),
                     [](const Reference& r) { return r.Changed; });
}

// ---------------------------------------------------------------------------------------------
// Reference lists and rectangles

bool ShiftSqref(std::string_view sqref, const SheetEdit& edit, std::string& out) {
  return RewriteList(sqref, out, [&](Ref& ref) { return ShiftRef(ref, edit); });
}

bool TranslateSqref(std::string_view sqref, std::int32_t rowOffset, std::int32_t columnOffset,
                    std::string& out) {
  return RewriteList(sqref, out, [&](Ref& ref) {
    ref.R1Abs = ref.C1Abs = ref.R2Abs = ref.C2Abs = false;
    return TranslateRef(ref, rowOffset, columnOffset);
  });
}

std::optional<CellRect> ShiftRect(const CellRect& rect, const SheetEdit& edit) {
  Ref ref = RefOfRect(rect);
  ShiftRef(ref, edit);
  if (ref.Deleted) return std::nullopt;
  return ref.Rect;
}

ShiftedIndex ShiftIndex(std::int32_t index, const SheetEdit& edit) {
  const std::int32_t limit = edit.OnRows() ? kMaxRows : kMaxColumns;
  const std::int64_t k = edit.First, n = edit.Count;
  if (n <= 0 || index < k) return {index, false};
  if (edit.IsInsert())
    return {static_cast<std::int32_t>(std::min<std::int64_t>(index + n, limit)), false};
  if (index <= k + n - 1) return {edit.First, true};
  return {static_cast<std::int32_t>(index - n), false};
}

std::optional<CellRect> ParseRect(std::string_view text) {
  Ref ref;
  if (!ParseEntry(text, ref)) return std::nullopt;
  return ref.Rect;
}

std::string RectText(const CellRect& rect) {
  std::string out;
  AppendRef(out, RefOfRect(rect));
  return out;
}

}  // namespace tabrix::xlsx
