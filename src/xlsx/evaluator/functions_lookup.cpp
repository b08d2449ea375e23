// VLOOKUP, HLOOKUP, MATCH, INDEX, ROW and COLUMN.
#include <cmath>
#include <optional>

#include "xlsx/evaluator/interpreter.h"
#include "xlsx/evaluator/unicode_text.h"

namespace tabrix::xlsx::eval {
namespace {

// A row or column of a reference or array, read element by element.
class LookupVector {
 public:
  // The `index`-th row (byRow) or column of `source`; the whole of a one-row/column source.
  LookupVector(Interpreter& in, const Value& source, bool alongRow, std::int32_t index)
      : in_(in), source_(source), alongRow_(alongRow), index_(index) {
    std::int32_t rows, columns;
    in.ArrayShape(source, rows, columns);
    size_ = alongRow ? columns : rows;
  }

  std::int32_t Size() const { return size_; }
  ValueView At(std::int32_t i) const {
    return alongRow_ ? in_.ElementAt(source_, index_, i) : in_.ElementAt(source_, i, index_);
  }

  // First element equal to the lookup value (texts without regard to case, with wildcards).
  std::optional<std::int32_t> FindExact(const ValueView& lookup) const {
    bool wildcards = lookup.kind == Value::Kind::Text && HasWildcards(lookup.text);
    auto equal = [&](const ValueView& v) {
      if (v.kind != lookup.kind) return false;
      switch (v.kind) {
        case Value::Kind::Number: return ApproxEqual(v.number, lookup.number);
        case Value::Kind::Text:
          return wildcards ? WildcardMatch(lookup.text, v.text) : EqualsNoCase(v.text, lookup.text);
        case Value::Kind::Boolean: return v.number == lookup.number;
        default: return false;
      }
    };
    if (source_.IsReference()) {
      // Walk the non-blank cells only.
      const Area& area = source_.GetArea();
      Area line = area;
      if (alongRow_) line.rect.row1 = line.rect.row2 = area.rect.row1 + index_;
      else line.rect.col1 = line.rect.col2 = area.rect.col1 + index_;
      std::optional<std::int32_t> found;
      in_.VisitArea(line, [&](const VisitedCell& cell) {
        if (!equal(cell.value)) return true;
        found = alongRow_ ? cell.column - area.rect.col1 : cell.row - area.rect.row1;
        return false;
      });
      return found;
    }
    for (std::int32_t i = 0; i < size_; ++i)
      if (equal(At(i))) return i;
    return std::nullopt;
  }

  // Binary search of a sorted vector: the last element <= lookup (ascending) or >= lookup
  // (descending), among elements of the lookup value's kind. Blank cells sort last.
  std::optional<std::int32_t> FindSorted(const ValueView& lookup, bool descending) const {
    auto order = [&](const ValueView& v) {
      if (v.kind == Value::Kind::Blank) return 1;
      int c = CompareValues(v, lookup);
      return descending ? -c : c;
    };
    std::int32_t lo = 0, hi = size_ - 1, best = -1;
    while (lo <= hi) {
      std::int32_t mid = lo + (hi - lo) / 2;
      if (order(At(mid)) <= 0) {
        best = mid;
        lo = mid + 1;
      } else {
        hi = mid - 1;
      }
    }
    // Step back over elements of another kind.
    for (; best >= 0; --best) {
      ValueView v = At(best);
      if (v.kind == lookup.kind) return best;
    }
    return std::nullopt;
  }

 private:
  Interpreter& in_;
  const Value& source_;
  bool alongRow_;
  std::int32_t index_;
  std::int32_t size_ = 0;
};

// The lookup value: blank looks for 0.
Value LookupValue(Args& args) {
  Value v = args.Scalar(0);
  if (v.IsBlank()) return Value::Number(0);
  return v;
}

Value VHLookup(Args& args, bool vertical) {
  Interpreter& in = args.Interp();
  Value lookup = LookupValue(args);
  if (lookup.IsError()) return lookup;
  Value table = args.RawArray(1);
  if (table.IsError()) return table;
  if (table.IsScalar()) table = Value::Array(in.ToMatrix(table));
  NumberResult index = args.Number(2);
  if (!index.Ok()) return Value::Error(index.error);
  bool sorted = true;
  if (args.Count() > 3) {
    if (args.IsMissing(3)) {
      sorted = false;
    } else {
      BoolResult b = args.Boolean(3);
      if (!b.Ok()) return Value::Error(b.error);
      sorted = b.value;
    }
  }
  std::int32_t rows, columns;
  in.ArrayShape(table, rows, columns);
  double which = std::trunc(index.value);
  if (which < 1) return Value::Error(ErrorCode::Value);
  if (which > (vertical ? columns : rows)) return Value::Error(ErrorCode::Ref);
  LookupVector keys(in, table, !vertical, 0);
  ValueView key(lookup);
  std::optional<std::int32_t> found = sorted ? keys.FindSorted(key, false) : keys.FindExact(key);
  if (!found) return Value::Error(ErrorCode::NA);
  std::int32_t offset = static_cast<std::int32_t>(which) - 1;
  return vertical ? in.ElementAt(table, *found, offset).ToValue()
                  : in.ElementAt(table, offset, *found).ToValue();
}

Value Match(Args& args) {
  Interpreter& in = args.Interp();
  Value lookup = LookupValue(args);
  if (lookup.IsError()) return lookup;
  Value array = args.RawArray(1);
  if (array.IsError()) return array;
  int type = 1;
  if (args.Count() > 2) {
    NumberResult t = args.Number(2);
    if (!t.Ok()) return Value::Error(t.error);
    type = t.value > 0 ? 1 : (t.value < 0 ? -1 : 0);
  }
  std::int32_t rows, columns;
  in.ArrayShape(array, rows, columns);
  if (rows != 1 && columns != 1) return Value::Error(ErrorCode::NA);
  LookupVector vector(in, array, rows == 1 && columns != 1, 0);
  ValueView key(lookup);
  std::optional<std::int32_t> found =
      type == 0 ? vector.FindExact(key) : vector.FindSorted(key, type < 0);
  if (!found) return Value::Error(ErrorCode::NA);
  return Value::Number(*found + 1);
}

Value Index(Args& args) {
  Interpreter& in = args.Interp();
  Value source = args.RawArray(0);
  if (source.IsError()) return source;
  auto whole = [&](int i, double& out) -> ErrorCode {
    if (i >= args.Count() || args.IsMissing(i)) {
      out = 0;
      return ErrorCode::None;
    }
    NumberResult n = args.Number(i);
    if (!n.Ok()) return n.error;
    out = std::trunc(n.value);
    return out < 0 ? ErrorCode::Value : ErrorCode::None;
  };
  double row = 0, column = 0;
  if (ErrorCode e = whole(1, row); e != ErrorCode::None) return Value::Error(e);
  if (ErrorCode e = whole(2, column); e != ErrorCode::None) return Value::Error(e);
  std::int32_t rows, columns;
  if (source.IsReference()) {
    rows = source.GetArea().rect.Rows();
    columns = source.GetArea().rect.Columns();
  } else {
    in.ArrayShape(source, rows, columns);
  }
  // A single row indexed by one number: the number picks the column.
  if (args.Count() == 2 && rows == 1 && columns > 1) {
    column = row;
    row = 0;
  }
  if (row > rows || column > columns) return Value::Error(ErrorCode::Ref);
  std::int32_t r1 = row == 0 ? 0 : static_cast<std::int32_t>(row) - 1;
  std::int32_t r2 = row == 0 ? rows - 1 : r1;
  std::int32_t c1 = column == 0 ? 0 : static_cast<std::int32_t>(column) - 1;
  std::int32_t c2 = column == 0 ? columns - 1 : c1;
  if (source.IsReference()) {
    Area area = source.GetArea();
    CellRect r = area.rect;
    area.rect = {r.row1 + r1, r.col1 + c1, r.row1 + r2, r.col1 + c2};
    return Value::Reference(area);
  }
  if (r1 == r2 && c1 == c2) return in.ElementAt(source, r1, c1).ToValue();
  auto m = std::make_shared<Matrix>(r2 - r1 + 1, c2 - c1 + 1);
  for (std::int32_t r = r1; r <= r2; ++r)
    for (std::int32_t c = c1; c <= c2; ++c) m->At(r - r1, c - c1) = in.ElementAt(source, r, c).ToValue();
  return Value::Array(std::move(m));
}

Value RowColumn(Args& args, bool isRow) {
  const Frame& frame = args.GetFrame();
  if (args.Count() == 0 || args.IsMissing(0)) return Value::Number(isRow ? frame.row : frame.column);
  Value v = args.Raw(0);
  if (v.IsError()) return v;
  if (!v.IsReference()) return Value::Error(ErrorCode::Value);
  const CellRect& r = v.GetArea().rect;
  std::int32_t count = isRow ? r.Rows() : r.Columns();
  if (!frame.arrayMode || count == 1) return Value::Number(isRow ? r.row1 : r.col1);
  // In array mode, every row (column) number of the reference.
  if (count > args.Interp().Options().maxArrayCells) args.Interp().Fail("array too large");
  auto m = std::make_shared<Matrix>(isRow ? count : 1, isRow ? 1 : count);
  for (std::int32_t i = 0; i < count; ++i)
    m->cells[static_cast<std::size_t>(i)] = Value::Number((isRow ? r.row1 : r.col1) + i);
  return Value::Array(std::move(m));
}

}  // namespace

Value CallLookup(FunctionId id, Args& args) {
  switch (id) {
    case FunctionId::VLookup: return VHLookup(args, true);
    case FunctionId::HLookup: return VHLookup(args, false);
    case FunctionId::Match: return Match(args);
    case FunctionId::Index: return Index(args);
    case FunctionId::Row: return RowColumn(args, true);
    default: return RowColumn(args, false);
  }
}

}  // namespace tabrix::xlsx::eval
