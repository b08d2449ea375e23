// SUMIF, SUMIFS, COUNTIF, COUNTIFS and AVERAGEIF.
//
// Ranges are walked by their non-blank cells; only a criterion that matches blank cells makes
// the blank cells count (COUNTIF over whole columns stays cheap).
#include <cmath>
#include <optional>
#include <unordered_set>
#include <vector>

#include "xlsx/evaluator/criteria.h"
#include "xlsx/evaluator/interpreter.h"

namespace tabrix::xlsx::eval {
namespace {

// The cell at an offset inside an area; blank beyond the sheet.
ValueView CellAt(Interpreter& in, const Area& area, std::int32_t dr, std::int32_t dc) {
  std::int32_t row = area.rect.row1 + dr, column = area.rect.col1 + dc;
  if (row > platform::kMaxRows || column > platform::kMaxColumns) return ValueView();
  return in.CellValue(area.sheet, row, column);
}

// The criteria argument as a plain value, kept alive with the criterion.
struct CriteriaArg {
  Value value;
  Criterion criterion;
  explicit CriteriaArg(Value v) : value(std::move(v)), criterion(ValueView(value)) {}
};

Value CountIf(Args& args) {
  Interpreter& in = args.Interp();
  Value range = args.Raw(0);
  CriteriaArg criteria(args.Scalar(1));
  const Criterion& criterion = criteria.criterion;
  if (range.IsError()) return range;
  double count = 0;
  if (range.IsArray()) {
    for (const Value& element : range.GetMatrix().cells)
      if (criterion.Matches(ValueView(element))) ++count;
    return Value::Number(count);
  }
  if (!range.IsReference()) return Value::Error(ErrorCode::Value);
  const Area& area = range.GetArea();
  double nonBlank = 0;
  in.VisitArea(area, [&](const VisitedCell& cell) {
    ++nonBlank;
    if (criterion.Matches(cell.value)) ++count;
    return true;
  });
  if (criterion.MatchesBlank()) count += static_cast<double>(area.CellCount()) - nonBlank;
  return Value::Number(count);
}

// SUMIF and AVERAGEIF.
Value SumIf(Args& args, bool average) {
  Interpreter& in = args.Interp();
  Value range = args.Raw(0);
  CriteriaArg criteria(args.Scalar(1));
  const Criterion& criterion = criteria.criterion;
  if (range.IsError()) return range;
  if (!range.IsReference()) return Value::Error(ErrorCode::Value);
  const Area& criteriaArea = range.GetArea();
  Area sumArea = criteriaArea;
  if (args.Count() > 2 && !args.IsMissing(2)) {
    Value sumRange = args.Raw(2);
    if (sumRange.IsError()) return sumRange;
    if (!sumRange.IsReference()) return Value::Error(ErrorCode::Value);
    // The sum range takes the criteria range's size from its top-left cell.
    sumArea.sheet = sumRange.GetArea().sheet;
    sumArea.rect.row1 = sumRange.GetArea().rect.row1;
    sumArea.rect.col1 = sumRange.GetArea().rect.col1;
    sumArea.rect.row2 = sumArea.rect.row1 + criteriaArea.rect.Rows() - 1;
    sumArea.rect.col2 = sumArea.rect.col1 + criteriaArea.rect.Columns() - 1;
    if (sumArea.rect.row2 > platform::kMaxRows) sumArea.rect.row2 = platform::kMaxRows;
    if (sumArea.rect.col2 > platform::kMaxColumns) sumArea.rect.col2 = platform::kMaxColumns;
  }
  double sum = 0, compensation = 0, count = 0;
  ErrorCode error = ErrorCode::None;
  auto add = [&](const ValueView& v) {
    if (v.kind == Value::Kind::Error) {
      error = v.error;
      return false;
    }
    if (v.kind != Value::Kind::Number) return true;
    double t = sum + v.number;
    compensation += std::fabs(sum) >= std::fabs(v.number) ? (sum - t) + v.number : (v.number - t) + sum;
    sum = t;
    ++count;
    return true;
  };
  if (!criterion.MatchesBlank()) {
    in.VisitArea(criteriaArea, [&](const VisitedCell& cell) {
      if (!criterion.Matches(cell.value)) return true;
      return add(CellAt(in, sumArea, cell.row - criteriaArea.rect.row1,
                        cell.column - criteriaArea.rect.col1));
    });
  } else {
    // Blank criteria cells match: walk the cells to be summed instead.
    in.VisitArea(sumArea, [&](const VisitedCell& cell) {
      std::int32_t dr = cell.row - sumArea.rect.row1, dc = cell.column - sumArea.rect.col1;
      if (!criterion.Matches(CellAt(in, criteriaArea, dr, dc))) return true;
      ValueView value = cell.value;
      return add(value);
    });
  }
  if (error != ErrorCode::None) return Value::Error(error);
  if (average) {
    if (count == 0) return Value::Error(ErrorCode::Div0);
    return NumberOrError((sum + compensation) / count);
  }
  return NumberOrError(sum + compensation);
}

// The (range, criteria) pairs of SUMIFS and COUNTIFS from argument `first` on; false with an
// error when a range is not a reference of the expected size.
bool CriteriaPairs(Args& args, int first, std::vector<Area>& areas,
                   std::vector<CriteriaArg>& criteria, std::optional<CellRect> size,
                   Value& error) {
  if ((args.Count() - first) % 2 != 0) {
    error = Value::Error(ErrorCode::Value);
    return false;
  }
  for (int i = first; i < args.Count(); i += 2) {
    Value range = args.Raw(i);
    if (range.IsError()) {
      error = range;
      return false;
    }
    if (!range.IsReference()) {
      error = Value::Error(ErrorCode::Value);
      return false;
    }
    const Area& area = range.GetArea();
    if (!size) size = area.rect;
    if (area.rect.Rows() != size->Rows() || area.rect.Columns() != size->Columns()) {
      error = Value::Error(ErrorCode::Value);
      return false;
    }
    areas.push_back(area);
    criteria.emplace_back(args.Scalar(i + 1));
  }
  return true;
}

bool AllMatch(Interpreter& in, const std::vector<Area>& areas,
              const std::vector<CriteriaArg>& criteria, std::int32_t dr, std::int32_t dc,
              std::size_t skip = static_cast<std::size_t>(-1)) {
  for (std::size_t k = 0; k < areas.size(); ++k) {
    if (k == skip) continue;
    if (!criteria[k].criterion.Matches(CellAt(in, areas[k], dr, dc))) return false;
  }
  return true;
}

Value SumIfs(Args& args) {
  Interpreter& in = args.Interp();
  Value sumRange = args.Raw(0);
  if (sumRange.IsError()) return sumRange;
  if (!sumRange.IsReference()) return Value::Error(ErrorCode::Value);
  const Area sumArea = sumRange.GetArea();
  std::vector<Area> areas;
  std::vector<CriteriaArg> criteria;
  Value error;
  if (!CriteriaPairs(args, 1, areas, criteria, sumArea.rect, error)) return error;
  double sum = 0, compensation = 0;
  ErrorCode failure = ErrorCode::None;
  in.VisitArea(sumArea, [&](const VisitedCell& cell) {
    ValueView value = cell.value;
    if (value.kind != Value::Kind::Number && value.kind != Value::Kind::Error) return true;
    Value kept = value.ToValue();  // reading the criteria cells may reuse the view
    if (!AllMatch(in, areas, criteria, cell.row - sumArea.rect.row1,
                  cell.column - sumArea.rect.col1))
      return true;
    if (kept.IsError()) {
      failure = kept.Error();
      return false;
    }
    double x = kept.Number();
    double t = sum + x;
    compensation += std::fabs(sum) >= std::fabs(x) ? (sum - t) + x : (x - t) + sum;
    sum = t;
    return true;
  });
  if (failure != ErrorCode::None) return Value::Error(failure);
  return NumberOrError(sum + compensation);
}

Value CountIfs(Args& args) {
  Interpreter& in = args.Interp();
  std::vector<Area> areas;
  std::vector<CriteriaArg> criteria;
  Value error;
  if (!CriteriaPairs(args, 0, areas, criteria, std::nullopt, error)) return error;
  // Walk a range whose criterion needs a non-blank cell, when there is one.
  for (std::size_t k = 0; k < areas.size(); ++k) {
    if (criteria[k].criterion.MatchesBlank()) continue;
    double count = 0;
    const Area& area = areas[k];
    in.VisitArea(area, [&](const VisitedCell& cell) {
      if (!criteria[k].criterion.Matches(cell.value)) return true;
      if (AllMatch(in, areas, criteria, cell.row - area.rect.row1,
                   cell.column - area.rect.col1, k))
        ++count;
      return true;
    });
    return Value::Number(count);
  }
  // Every criterion matches blanks: count the positions where some non-blank cell fails.
  std::unordered_set<std::int64_t> failing;
  const std::int64_t width = areas.front().rect.Columns();
  for (std::size_t k = 0; k < areas.size(); ++k) {
    const Area& area = areas[k];
    in.VisitArea(area, [&](const VisitedCell& cell) {
      if (!criteria[k].criterion.Matches(cell.value))
        failing.insert(static_cast<std::int64_t>(cell.row - area.rect.row1) * width +
                       (cell.column - area.rect.col1));
      return true;
    });
  }
  return Value::Number(static_cast<double>(areas.front().CellCount() -
                                           static_cast<std::int64_t>(failing.size())));
}

}  // namespace

Value CallConditional(FunctionId id, Args& args) {
  switch (id) {
    case FunctionId::SumIf: return SumIf(args, false);
    case FunctionId::AverageIf: return SumIf(args, true);
    case FunctionId::SumIfs: return SumIfs(args);
    case FunctionId::CountIf: return CountIf(args);
    default: return CountIfs(args);
  }
}

}  // namespace tabrix::xlsx::eval
