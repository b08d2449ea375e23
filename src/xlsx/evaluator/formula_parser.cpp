// Formula text to tree: a recursive-descent parser over the operator levels of the spreadsheet
// application, lowest first: comparison, "&", "+ -", "* /", "^", unary "- +", "%", ":".
#include <charconv>
#include <initializer_list>
#include <optional>
#include <stdexcept>

#include "support/a1_reference.h"
#include "xlsx/evaluator/formula_ast.h"
#include "xlsx/evaluator/unicode_text.h"

namespace tabrix::xlsx::eval {
namespace {

using platform::kMaxColumns;
using platform::kMaxRows;

struct Unsupported {
  std::string reason;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
using a1::IsRunChar;

// One side of a reference of the given kind ("$B$5" cell, "$B" column, "$5" row); false when
// the run is something else.
bool ParseAs(a1::PartKind kind, std::string_view run, a1::Part& part) {
  part = a1::ParsePart(run);
  return part.kind == kind;
}
bool ParseCell(std::string_view run, a1::Part& part) { return ParseAs(a1::PartKind::Cell, run, part); }
bool ParseColumn(std::string_view run, a1::Part& part) { return ParseAs(a1::PartKind::Column, run, part); }
bool ParseRow(std::string_view run, a1::Part& part) { return ParseAs(a1::PartKind::Row, run, part); }

CellRect Normalized(std::int32_t r1, std::int32_t c1, std::int32_t r2, std::int32_t c2) {
  return {std::min(r1, r2), std::min(c1, c2), std::max(r1, r2), std::max(c1, c2)};
}

class Parser {
 public:
  Parser(std::string_view text, FormulaAst& ast, std::vector<std::uint32_t>& stack)
      : s_(text), ast_(ast), stack_(stack) {}

  void Run() {
    SkipSpaces();
    if (pos_ < s_.size() && s_[pos_] == '=') ++pos_;
    ast_.root = ParseComparison();
    SkipSpaces();
    if (pos_ != s_.size()) Fail("unexpected text");
  }

 private:
  [[noreturn]] void Fail(std::string reason) {
    throw Unsupported{reason + " at " + std::to_string(pos_ + 1)};
  }

  void SkipSpaces() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' ||
                                s_[pos_] == '\t'))
      ++pos_;
  }
  char Peek() {
    SkipSpaces();
    return pos_ < s_.size() ? s_[pos_] : '\0';
  }
  bool Accept(std::string_view token) {
    SkipSpaces();
    if (s_.substr(pos_, token.size()) == token) {
      pos_ += token.size();
      return true;
    }
    return false;
  }

  std::uint32_t Add(const Node& node) {
    if (++depth_guard_ > 200000) Fail("formula too long");
    ast_.nodes.push_back(node);
    return static_cast<std::uint32_t>(ast_.nodes.size() - 1);
  }
  std::uint32_t AddWithChildren(Node node, const std::uint32_t* kids, std::size_t count) {
    node.first = static_cast<std::uint32_t>(ast_.children.size());
    node.count = static_cast<std::uint16_t>(count);
    ast_.children.insert(ast_.children.end(), kids, kids + count);
    return Add(node);
  }
  std::uint32_t AddWithChildren(Node node, std::initializer_list<std::uint32_t> kids) {
    return AddWithChildren(node, kids.begin(), kids.size());
  }
  // Children collected on the shared stack from `base` on are moved into the tree.
  std::uint32_t AddWithStackedChildren(Node node, std::size_t base) {
    std::uint32_t index = AddWithChildren(node, stack_.data() + base, stack_.size() - base);
    stack_.resize(base);
    return index;
  }
  std::uint32_t Binary(BinaryOp op, std::uint32_t left, std::uint32_t right) {
    Node node;
    node.type = Node::Type::Binary;
    node.op = static_cast<std::uint8_t>(op);
    return AddWithChildren(node, {left, right});
  }
  std::int32_t AddString(std::string text) {
    ast_.strings.push_back(std::move(text));
    return static_cast<std::int32_t>(ast_.strings.size() - 1);
  }

  struct Nesting {
    explicit Nesting(Parser& p) : parser(p) {
      if (++parser.nesting_ > 256) parser.Fail("formula nested too deeply");
    }
    ~Nesting() { --parser.nesting_; }
    Parser& parser;
  };

  std::uint32_t ParseComparison() {
    Nesting guard(*this);
    std::uint32_t left = ParseConcat();
    for (;;) {
      BinaryOp op;
      if (Accept("<=")) op = BinaryOp::LessEqual;
      else if (Accept(">=")) op = BinaryOp::GreaterEqual;
      else if (Accept("<>")) op = BinaryOp::NotEqual;
      else if (Accept("<")) op = BinaryOp::Less;
      else if (Accept(">")) op = BinaryOp::Greater;
      else if (Accept("=")) op = BinaryOp::Equal;
      else return left;
      left = Binary(op, left, ParseConcat());
    }
  }

  std::uint32_t ParseConcat() {
    std::uint32_t left = ParseAdditive();
    while (Accept("&")) left = Binary(BinaryOp::Concat, left, ParseAdditive());
    return left;
  }

  std::uint32_t ParseAdditive() {
    std::uint32_t left = ParseMultiplicative();
    for (;;) {
      if (Accept("+")) left = Binary(BinaryOp::Add, left, ParseMultiplicative());
      else if (Accept("-")) left = Binary(BinaryOp::Subtract, left, ParseMultiplicative());
      else return left;
    }
  }

  std::uint32_t ParseMultiplicative() {
    std::uint32_t left = ParsePower();
    for (;;) {
      if (Accept("*")) left = Binary(BinaryOp::Multiply, left, ParsePower());
      else if (Accept("/")) left = Binary(BinaryOp::Divide, left, ParsePower());
      else return left;
    }
  }

  std::uint32_t ParsePower() {
    std::uint32_t left = ParseUnary();
    while (Accept("^")) left = Binary(BinaryOp::Power, left, ParseUnary());
    return left;
  }

  std::uint32_t ParseUnary() {
    Nesting guard(*this);
    UnaryOp op;
    if (Accept("-")) op = UnaryOp::Negate;
    else if (Accept("+")) op = UnaryOp::Plus;
    else return ParsePercent();
    std::uint32_t operand = ParseUnary();
    // A negative number literal stays a literal.
    if (op == UnaryOp::Negate && ast_.nodes[operand].type == Node::Type::Number &&
        operand == ast_.nodes.size() - 1) {
      ast_.nodes[operand].number = -ast_.nodes[operand].number;
      return operand;
    }
    Node node;
    node.type = Node::Type::Unary;
    node.op = static_cast<std::uint8_t>(op);
    return AddWithChildren(node, {operand});
  }

  std::uint32_t ParsePercent() {
    std::uint32_t operand = ParseRange();
    while (Accept("%")) {
      Node node;
      node.type = Node::Type::Unary;
      node.op = static_cast<std::uint8_t>(UnaryOp::Percent);
      operand = AddWithChildren(node, {operand});
    }
    return operand;
  }

  std::uint32_t ParseRange() {
    std::uint32_t left = ParsePrimary();
    while (Accept(":")) left = Binary(BinaryOp::Range, left, ParsePrimary());
    return left;
  }

  std::string_view ReadRun() {
    const std::size_t start = pos_;
    pos_ = a1::RunEnd(s_, pos_);
    return s_.substr(start, pos_ - start);
  }

  std::uint32_t ParsePrimary() {
    char c = Peek();
    if (c == '\0') Fail("missing operand");
    if (c == '(') {
      ++pos_;
      std::uint32_t inner = ParseComparison();
      if (!Accept(")")) Fail("expected \")\"");
      return inner;
    }
    if (c == '"') return AddText(ReadString());
    if (c == '{') return ParseArray();
    if (c == '#') return ParseErrorLiteral();
    if (c == '[') Fail("external reference");
    if (c == '\'') {
      std::string sheet = ReadQuotedSheet();
      if (pos_ >= s_.size() || s_[pos_] != '!') Fail("expected \"!\" after sheet name");
      ++pos_;
      return ParseAfterPrefix(AddString(std::move(sheet)));
    }
    if (IsDigit(c) || c == '$') {
      if (std::optional<std::uint32_t> rows = TryRowRange(-1)) return *rows;
    }
    if (IsDigit(c) || c == '.') return ParseNumber();
    if (!IsRunChar(c)) Fail(std::string("unexpected \"") + c + "\"");

    std::size_t start = pos_;
    std::string_view run = ReadRun();
    if (pos_ < s_.size() && s_[pos_] == '(') {
      ++pos_;
      return ParseFunction(run);
    }
    if (pos_ < s_.size() && s_[pos_] == '!') {
      ++pos_;
      return ParseAfterPrefix(AddString(std::string(run)));
    }
    if (pos_ < s_.size() && s_[pos_] == ':') {
      // Sheet1:Sheet3!A1 spans sheets.
      std::size_t save = pos_;
      ++pos_;
      ReadRun();
      if (pos_ < s_.size() && s_[pos_] == '!') Fail("reference across sheets");
      pos_ = save;
    }
    pos_ = start;
    return ParseReferenceOrName(-1);
  }

  // After "Sheet!": a reference, a sheet-scoped name or #REF!.
  std::uint32_t ParseAfterPrefix(std::int32_t sheet) {
    if (pos_ < s_.size() && s_[pos_] == '#') return ParseErrorLiteral();
    if (pos_ < s_.size() && (IsDigit(s_[pos_]) || s_[pos_] == '$')) {
      if (std::optional<std::uint32_t> rows = TryRowRange(sheet)) return *rows;
    }
    return ParseReferenceOrName(sheet);
  }

  // "1:3", "$1:$3" (rows); nullopt (position unchanged) when the text is not a row range.
  std::optional<std::uint32_t> TryRowRange(std::int32_t sheet) {
    std::size_t start = pos_;
    std::string_view first = ReadRun();
    a1::Part a, b;
    if (ParseRow(first, a) && pos_ < s_.size() && s_[pos_] == ':') {
      ++pos_;
      std::string_view second = ReadRun();
      if (ParseRow(second, b)) return AddReference(sheet, Normalized(a.row, 1, b.row, kMaxColumns));
    }
    pos_ = start;
    return std::nullopt;
  }

  std::uint32_t ParseReferenceOrName(std::int32_t sheet) {
    std::string_view run = ReadRun();
    if (run.empty()) Fail("expected a reference");
    a1::Part a, b;
    if (ParseCell(run, a)) {
      std::size_t save = pos_;
      if (pos_ < s_.size() && s_[pos_] == ':') {
        ++pos_;
        std::string_view second = ReadRun();
        if (ParseCell(second, b)) return AddReference(sheet, Normalized(a.row, a.column, b.row, b.column));
      }
      pos_ = save;
      return AddReference(sheet, {a.row, a.column, a.row, a.column});
    }
    if (ParseColumn(run, a) && pos_ < s_.size() && s_[pos_] == ':') {
      std::size_t save = pos_;
      ++pos_;
      std::string_view second = ReadRun();
      if (ParseColumn(second, b)) return AddReference(sheet, Normalized(1, a.column, kMaxRows, b.column));
      pos_ = save;
    }
    if (pos_ < s_.size() && s_[pos_] == '[') Fail("structured reference");
    if (sheet < 0 && (EqualsNoCase(run, "TRUE") || EqualsNoCase(run, "FALSE"))) {
      Node node;
      node.type = Node::Type::Boolean;
      node.number = EqualsNoCase(run, "TRUE") ? 1.0 : 0.0;
      return Add(node);
    }
    if (IsDigit(run.front()) || run.front() == '.' || run.front() == '$') Fail("bad reference");
    Node node;
    node.type = Node::Type::Name;
    node.sheet = sheet;
    node.first = static_cast<std::uint32_t>(AddString(std::string(run)));
    return Add(node);
  }

  std::uint32_t AddReference(std::int32_t sheet, const CellRect& rect) {
    Node node;
    node.type = Node::Type::Reference;
    node.sheet = sheet;
    node.rect = rect;
    return Add(node);
  }

  std::uint32_t AddText(std::string text) {
    Node node;
    node.type = Node::Type::Text;
    node.first = static_cast<std::uint32_t>(AddString(std::move(text)));
    return Add(node);
  }

  std::string ReadString() {
    ++pos_;  // opening quote
    std::string out;
    for (;;) {
      if (pos_ >= s_.size()) Fail("unterminated text");
      char c = s_[pos_++];
      if (c == '"') {
        if (pos_ < s_.size() && s_[pos_] == '"') {
          out += '"';
          ++pos_;
          continue;
        }
        return out;
      }
      out += c;
    }
  }

  std::string ReadQuotedSheet() {
    const std::size_t close = a1::QuotedNameEnd(s_, pos_);
    if (close >= s_.size()) {
      pos_ = s_.size();
      Fail("unterminated sheet name");
    }
    std::string out = a1::UnquoteName(s_.substr(pos_ + 1, close - pos_ - 1));
    pos_ = close + 1;
    if (!out.empty() && out.front() == '[') Fail("external reference");
    if (out.find(':') != std::string::npos) Fail("reference across sheets");
    return out;
  }

  std::uint32_t ParseErrorLiteral() {
    static constexpr std::string_view kErrors[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!",
                                                   "#NAME?", "#NUM!",   "#N/A"};
    for (std::string_view text : kErrors) {
      if (s_.size() - pos_ >= text.size() && EqualsNoCase(s_.substr(pos_, text.size()), text)) {
        pos_ += text.size();
        Node node;
        node.type = Node::Type::Error;
        node.error = *ParseErrorText(text);
        // "#REF!A1": what is left of a reference into a deleted sheet.
        if (node.error == ErrorCode::Ref) {
          ReadRun();
          if (pos_ < s_.size() && s_[pos_] == ':') {
            std::size_t save = pos_;
            ++pos_;
            a1::Part part;
            std::string_view second = ReadRun();
            if (!ParseCell(second, part) && !ParseColumn(second, part) && !ParseRow(second, part))
              pos_ = save;
          }
        }
        return Add(node);
      }
    }
    Fail("unknown error literal");
  }

  std::uint32_t ParseNumber() {
    std::size_t start = pos_;
    while (pos_ < s_.size() && IsDigit(s_[pos_])) ++pos_;
    if (pos_ < s_.size() && s_[pos_] == '.') {
      ++pos_;
      while (pos_ < s_.size() && IsDigit(s_[pos_])) ++pos_;
    }
    if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
      std::size_t save = pos_;
      ++pos_;
      if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
      if (pos_ < s_.size() && IsDigit(s_[pos_])) {
        while (pos_ < s_.size() && IsDigit(s_[pos_])) ++pos_;
      } else {
        pos_ = save;
      }
    }
    double value = 0;
    auto result = std::from_chars(s_.data() + start, s_.data() + pos_, value);
    if (result.ec != std::errc() || result.ptr != s_.data() + pos_) Fail("bad number");
    if (pos_ < s_.size() && IsRunChar(s_[pos_])) Fail("bad number");
    Node node;
    node.type = Node::Type::Number;
    node.number = value;
    return Add(node);
  }

  std::uint32_t ParseArray() {
    ++pos_;  // "{"
    const std::size_t base = stack_.size();
    std::int32_t rows = 1, columns = 0, inRow = 0;
    for (;;) {
      stack_.push_back(ParseArrayElement());
      ++inRow;
      char c = Peek();
      ++pos_;
      if (c == ',') continue;
      if (c == ';' || c == '}') {
        if (rows == 1) columns = inRow;
        else if (inRow != columns) Fail("ragged array");
        inRow = 0;
        if (c == '}') break;
        ++rows;
        continue;
      }
      Fail("bad array constant");
    }
    Node node;
    node.type = Node::Type::Array;
    node.rows = rows;
    return AddWithStackedChildren(node, base);
  }

  std::uint32_t ParseArrayElement() {
    char c = Peek();
    bool negative = false;
    if (c == '-' || c == '+') {
      negative = c == '-';
      ++pos_;
      c = Peek();
      if (!IsDigit(c) && c != '.') Fail("bad array constant");
    }
    if (IsDigit(c) || c == '.') {
      std::uint32_t index = ParseNumber();
      if (negative) ast_.nodes[index].number = -ast_.nodes[index].number;
      return index;
    }
    if (c == '"') return AddText(ReadString());
    if (c == '#') return ParseErrorLiteral();
    std::string_view run = ReadRun();
    if (EqualsNoCase(run, "TRUE") || EqualsNoCase(run, "FALSE")) {
      Node node;
      node.type = Node::Type::Boolean;
      node.number = EqualsNoCase(run, "TRUE") ? 1.0 : 0.0;
      return Add(node);
    }
    Fail("bad array constant");
  }

  std::uint32_t ParseFunction(std::string_view name) {
    Nesting guard(*this);
    const FunctionInfo* info = FindFunction(name);
    const std::size_t base = stack_.size();
    if (Peek() == ')') {
      ++pos_;
    } else {
      for (;;) {
        char c = Peek();
        if (c == ',' || c == ')') {
          Node missing;
          missing.type = Node::Type::Missing;
          stack_.push_back(Add(missing));
        } else {
          std::uint32_t arg = ParseComparison();
          stack_.push_back(arg);
        }
        c = Peek();
        ++pos_;
        if (c == ',') continue;
        if (c == ')') break;
        Fail("expected \",\" or \")\"");
      }
    }
    const std::size_t argCount = stack_.size() - base;
    if (argCount > 255) Fail("too many arguments");
    Node node;
    node.type = Node::Type::Function;
    if (!info) {
      if (ast_.supported) {
        ast_.supported = false;
        ast_.problem = "function " + std::string(name);
      }
      return AddWithStackedChildren(node, base);
    }
    if (argCount < info->minArgs || argCount > info->maxArgs) {
      Fail("wrong number of arguments to " + std::string(info->name));
    }
    node.function = info->id;
    if (info->id == FunctionId::Subtotal) ast_.usesSubtotal = true;
    if (info->isVolatile) ast_.isVolatile = true;
    return AddWithStackedChildren(node, base);
  }

  std::string_view s_;
  std::size_t pos_ = 0;
  FormulaAst& ast_;
  std::vector<std::uint32_t>& stack_;  // children of the functions and arrays being parsed
  int nesting_ = 0;
  std::size_t depth_guard_ = 0;
};

}  // namespace

void ParseFormulaInto(std::string_view formula, FormulaAst& ast) {
  ast.nodes.clear();
  ast.children.clear();
  ast.strings.clear();
  ast.root = 0;
  ast.supported = true;
  ast.problem.clear();
  ast.usesSubtotal = false;
  ast.isVolatile = false;
  thread_local std::vector<std::uint32_t> stack;
  stack.clear();
  try {
    Parser(formula, ast, stack).Run();
  } catch (const Unsupported& failure) {
    ast.supported = false;
    ast.problem = failure.reason;
  }
}

FormulaAst ParseFormula(std::string_view formula) {
  FormulaAst ast;
  ast.nodes.reserve(8 + formula.size() / 4);
  ParseFormulaInto(formula, ast);
  return ast;
}

}  // namespace tabrix::xlsx::eval
