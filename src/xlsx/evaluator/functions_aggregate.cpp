// SUM, COUNT, COUNTA, COUNTBLANK, AVERAGE, MIN, MAX, PRODUCT, SUBTOTAL and SUMPRODUCT.
//
// Values inside references and arrays count only when they are numbers (COUNTA: when not
// blank); values given directly as arguments are converted (TRUE is 1, "3" is 3). References
// are walked cell by cell through the cell source, without copying them.
#include <cmath>
#include <limits>
#include <vector>

#include "xlsx/evaluator/interpreter.h"

namespace tabrix::xlsx::eval {
namespace {

enum class Aggregate {
  Average, Count, CountA, Max, Min, Product, StDev, StDevP, Sum, Var, VarP,
};

// Sum with compensation for lost low-order bits (Neumaier), as the application sums.
class CompensatedSum {
 public:
  void Add(double x) {
    double t = sum_ + x;
    if (std::fabs(sum_) >= std::fabs(x)) compensation_ += (sum_ - t) + x;
    else compensation_ += (x - t) + sum_;
    sum_ = t;
  }
  double Get() const { return sum_ + compensation_; }

 private:
  double sum_ = 0, compensation_ = 0;
};

class Accumulator {
 public:
  explicit Accumulator(Aggregate kind) : kind_(kind) {}

  bool Failed() const { return error_ != ErrorCode::None; }

  // A value inside a reference or an array.
  bool AddIndirect(const ValueView& v) {
    if (kind_ == Aggregate::CountA) {
      if (v.kind != Value::Kind::Blank) ++count_;
      return true;
    }
    if (v.kind == Value::Kind::Error) {
      if (kind_ == Aggregate::Count) return true;
      error_ = v.error;
      return false;
    }
    if (v.kind == Value::Kind::Number) AddNumber(v.number);
    return true;
  }

  // A value given directly as an argument (blank: an omitted argument).
  bool AddDirect(const ValueView& v) {
    if (kind_ == Aggregate::CountA) {
      ++count_;
      return true;
    }
    if (kind_ == Aggregate::Count) {
      if (v.kind == Value::Kind::Text) {
        if (ParseNumberText(v.text)) ++count_;
      } else if (v.kind != Value::Kind::Error) {
        ++count_;
      }
      return true;
    }
    NumberResult n = ToNumber(v);
    if (!n.Ok()) {
      error_ = n.error;
      return false;
    }
    AddNumber(n.value);
    return true;
  }

  Value Result() const {
    if (Failed()) return Value::Error(error_);
    switch (kind_) {
      case Aggregate::Sum: return NumberOrError(sum_.Get());
      case Aggregate::Count:
      case Aggregate::CountA: return Value::Number(count_);
      case Aggregate::Average:
        if (count_ == 0) return Value::Error(ErrorCode::Div0);
        return NumberOrError(sum_.Get() / count_);
      case Aggregate::Max: return Value::Number(count_ == 0 ? 0 : max_);
      case Aggregate::Min: return Value::Number(count_ == 0 ? 0 : min_);
      case Aggregate::Product: return NumberOrError(count_ == 0 ? 0 : product_);
      case Aggregate::StDev:
      case Aggregate::StDevP:
      case Aggregate::Var:
      case Aggregate::VarP: {
        bool sample = kind_ == Aggregate::StDev || kind_ == Aggregate::Var;
        double n = static_cast<double>(values_.size());
        if (n < (sample ? 2 : 1)) return Value::Error(ErrorCode::Div0);
        double mean = sum_.Get() / n;
        CompensatedSum squares;
        for (double x : values_) squares.Add((x - mean) * (x - mean));
        double variance = squares.Get() / (sample ? n - 1 : n);
        bool root = kind_ == Aggregate::StDev || kind_ == Aggregate::StDevP;
        return NumberOrError(root ? std::sqrt(variance) : variance);
      }
    }
    return Value::Error(ErrorCode::Value);
  }

 private:
  void AddNumber(double x) {
    ++count_;
    sum_.Add(x);
    if (x > max_) max_ = x;
    if (x < min_) min_ = x;
    product_ *= x;
    if (kind_ == Aggregate::StDev || kind_ == Aggregate::StDevP || kind_ == Aggregate::Var ||
        kind_ == Aggregate::VarP)
      values_.push_back(x);
  }

  Aggregate kind_;
  ErrorCode error_ = ErrorCode::None;
  double count_ = 0;
  CompensatedSum sum_;
  double max_ = -std::numeric_limits<double>::infinity();
  double min_ = std::numeric_limits<double>::infinity();
  double product_ = 1;
  std::vector<double> values_;
};

Value Aggregates(Args& args, Aggregate kind) {
  Accumulator acc(kind);
  Interpreter& in = args.Interp();
  for (int i = 0; i < args.Count() && !acc.Failed(); ++i) {
    if (args.IsMissing(i)) {
      acc.AddDirect(ValueView());
      continue;
    }
    Value v = args.Raw(i);
    if (v.IsReference() || v.IsArray()) {
      in.VisitValues(v, [&](const ValueView& view) { return acc.AddIndirect(view); });
    } else {
      acc.AddDirect(ValueView(v));
    }
  }
  return acc.Result();
}

Value Subtotal(Args& args) {
  NumberResult code = args.Number(0);
  if (!code.Ok()) return Value::Error(code.error);
  int function = static_cast<int>(std::trunc(code.value));
  bool skipHidden = function > 100;
  if (skipHidden) function -= 100;
  static constexpr Aggregate kByCode[] = {
      Aggregate::Average, Aggregate::Count, Aggregate::CountA, Aggregate::Max,
      Aggregate::Min,     Aggregate::Product, Aggregate::StDev, Aggregate::StDevP,
      Aggregate::Sum,     Aggregate::Var,   Aggregate::VarP};
  if (function < 1 || function > 11) return Value::Error(ErrorCode::Value);
  Accumulator acc(kByCode[function - 1]);
  Interpreter& in = args.Interp();
  for (int i = 1; i < args.Count() && !acc.Failed(); ++i) {
    Value v = args.Raw(i);
    if (v.IsError()) return v;
    if (!v.IsReference()) return Value::Error(ErrorCode::Value);
    const Area& area = v.GetArea();
    in.VisitArea(area, [&](const VisitedCell& cell) {
      // Other subtotals inside the range are left out, so that totals are not counted twice.
      if (cell.subtotal) return true;
      if (skipHidden && in.Source().RowHidden(area.sheet, cell.row)) return true;
      return acc.AddIndirect(cell.value);
    });
  }
  return acc.Result();
}

Value CountBlank(Args& args) {
  Value v = args.Raw(0);
  if (v.IsError()) return v;
  if (!v.IsReference()) return Value::Error(ErrorCode::Value);
  const Area& area = v.GetArea();
  double filled = 0;
  args.Interp().VisitArea(area, [&](const VisitedCell& cell) {
    // A cell showing an empty text counts as blank.
    if (!(cell.value.kind == Value::Kind::Text && cell.value.text.empty())) ++filled;
    return true;
  });
  return Value::Number(static_cast<double>(area.CellCount()) - filled);
}

Value SumProduct(Args& args) {
  Interpreter& in = args.Interp();
  std::vector<Value> arrays;
  arrays.reserve(static_cast<std::size_t>(args.Count()));
  std::int32_t rows = 0, columns = 0;
  for (int i = 0; i < args.Count(); ++i) {
    if (args.IsMissing(i)) return Value::Error(ErrorCode::Value);
    Value v = args.RawArray(i);
    if (v.IsError()) return v;
    std::int32_t r, c;
    in.ArrayShape(v, r, c);
    if (i == 0) {
      rows = r;
      columns = c;
    } else if (r != rows || c != columns) {
      return Value::Error(ErrorCode::Value);
    }
    arrays.push_back(std::move(v));
  }
  CompensatedSum sum;
  for (std::int32_t r = 0; r < rows; ++r) {
    for (std::int32_t c = 0; c < columns; ++c) {
      double product = 1;
      for (const Value& v : arrays) {
        ValueView element = v.IsScalar() ? ValueView(v) : in.ElementAt(v, r, c);
        if (element.kind == Value::Kind::Error) return Value::Error(element.error);
        // Anything but a number counts as 0.
        product *= element.kind == Value::Kind::Number ? element.number : 0.0;
      }
      sum.Add(product);
    }
  }
  return NumberOrError(sum.Get());
}

}  // namespace

Value CallAggregate(FunctionId id, Args& args) {
  switch (id) {
    case FunctionId::Sum: return Aggregates(args, Aggregate::Sum);
    case FunctionId::Count: return Aggregates(args, Aggregate::Count);
    case FunctionId::CountA: return Aggregates(args, Aggregate::CountA);
    case FunctionId::Average: return Aggregates(args, Aggregate::Average);
    case FunctionId::Min: return Aggregates(args, Aggregate::Min);
    case FunctionId::Max: return Aggregates(args, Aggregate::Max);
    case FunctionId::Product: return Aggregates(args, Aggregate::Product);
    case FunctionId::Subtotal: return Subtotal(args);
    case FunctionId::CountBlank: return CountBlank(args);
    case FunctionId::SumProduct: return SumProduct(args);
    default: return Value::Error(ErrorCode::Value);
  }
}

}  // namespace tabrix::xlsx::eval
