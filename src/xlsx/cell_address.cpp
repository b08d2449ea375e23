#include "xlsx/cell_address.h"

#include <algorithm>
#include <charconv>

namespace tabrix::xlsx {

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Column letters then row digits, each optionally preceded by "$"; either part may be absent.
struct Item {
  std::int32_t column = 0;  // 0 when absent
  std::int32_t row = 0;     // 0 when absent
};

std::optional<Item> ParseItem(std::string_view text) {
  Item item;
  std::size_t i = 0;
  if (i < text.size() && text[i] == '$') ++i;
  std::size_t lettersStart = i;
  while (i < text.size() && IsLetter(text[i])) ++i;
  if (i > lettersStart) {
    if (i - lettersStart > 3) return std::nullopt;
    item.column = ColumnNumber(text.substr(lettersStart, i - lettersStart));
    if (item.column == 0) return std::nullopt;
    if (i < text.size() && text[i] == '$') ++i;
  } else if (lettersStart > 0) {
    // "$5": a row with its dollar sign.
  }
  std::size_t digitsStart = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  if (i != text.size()) return std::nullopt;
  if (i > digitsStart) {
    if (i - digitsStart > 7) return std::nullopt;
    std::int32_t row = 0;
    std::from_chars(text.data() + digitsStart, text.data() + i, row);
    if (row < 1 || row > kMaxRows) return std::nullopt;
    item.row = row;
  }
  if (item.row == 0 && item.column == 0) return std::nullopt;
  return item;
}

}  // namespace

std::int32_t ColumnNumber(std::string_view letters) {
  if (letters.empty() || letters.size() > 3) return 0;
  std::int32_t column = 0;
  for (char c : letters) {
    if (!IsLetter(c)) return 0;
    column = column * 26 + ((c | 0x20) - 'a' + 1);
  }
  return column <= kMaxColumns ? column : 0;
}

std::optional<CellPosition> ParseCell(std::string_view text) {
  auto item = ParseItem(text);
  if (!item || item->row == 0 || item->column == 0) return std::nullopt;
  return CellPosition{item->row, item->column};
}

void AppendCellName(std::string& out, std::int32_t row, std::int32_t column) {
  char letters[4];
  int n = 0;
  while (column > 0) {
    letters[n++] = static_cast<char>('A' + (column - 1) % 26);
    column = (column - 1) / 26;
  }
  while (n > 0) out.push_back(letters[--n]);
  char digits[12];
  auto result = std::to_chars(digits, digits + sizeof digits, row);
  out.append(digits, result.ptr);
}

std::string CellName(std::int32_t row, std::int32_t column) {
  std::string out;
  AppendCellName(out, row, column);
  return out;
}

std::optional<CellRect> ParseArea(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::vector<Item> items;
  std::size_t start = 0;
  for (;;) {
    std::size_t colon = text.find(':', start);
    auto item = ParseItem(text.substr(start, colon == std::string_view::npos ? text.npos : colon - start));
    if (!item) return std::nullopt;
    items.push_back(*item);
    if (colon == std::string_view::npos) break;
    start = colon + 1;
  }
  bool allCells = std::all_of(items.begin(), items.end(), [](const Item& i) { return i.row && i.column; });
  bool allColumns = std::all_of(items.begin(), items.end(), [](const Item& i) { return !i.row; });
  bool allRows = std::all_of(items.begin(), items.end(), [](const Item& i) { return !i.column; });
  CellRect rect;
  if (allCells) {
    rect = CellRect{kMaxRows, kMaxColumns, 1, 1};
    for (const Item& i : items) {
      rect.row1 = std::min(rect.row1, i.row);
      rect.row2 = std::max(rect.row2, i.row);
      rect.col1 = std::min(rect.col1, i.column);
      rect.col2 = std::max(rect.col2, i.column);
    }
    return rect;
  }
  if (items.size() < 2) return std::nullopt;
  if (allColumns) {
    rect = CellRect{1, kMaxColumns, kMaxRows, 1};
    for (const Item& i : items) {
      rect.col1 = std::min(rect.col1, i.column);
      rect.col2 = std::max(rect.col2, i.column);
    }
    return rect;
  }
  if (allRows) {
    rect = CellRect{kMaxRows, 1, 1, kMaxColumns};
    for (const Item& i : items) {
      rect.row1 = std::min(rect.row1, i.row);
      rect.row2 = std::max(rect.row2, i.row);
    }
    return rect;
  }
  return std::nullopt;
}

QualifiedText SplitSheetQualifier(std::string_view text) {
  QualifiedText result;
  if (!text.empty() && text.front() == '\'') {
    std::string sheet;
    std::size_t i = 1;
    for (; i < text.size(); ++i) {
      if (text[i] == '\'') {
        if (i + 1 < text.size() && text[i + 1] == '\'') {
          sheet.push_back('\'');
          ++i;
          continue;
        }
        break;
      }
      sheet.push_back(text[i]);
    }
    if (i + 1 < text.size() && text[i] == '\'' && text[i + 1] == '!') {
      result.sheet = std::move(sheet);
      result.rest = text.substr(i + 2);
      result.qualified = true;
      return result;
    }
    result.rest = text;
    return result;
  }
  std::size_t bang = text.rfind('!');
  if (bang == std::string_view::npos) {
    result.rest = text;
    return result;
  }
  result.sheet = std::string(text.substr(0, bang));
  result.rest = text.substr(bang + 1);
  result.qualified = true;
  return result;
}

std::string QuoteSheetName(std::string_view sheet) {
  bool plain = !sheet.empty() && !IsDigit(sheet.front());
  for (char c : sheet)
    if (!(IsLetter(c) || IsDigit(c) || c == '_' || c == '.' || static_cast<unsigned char>(c) >= 0x80))
      plain = false;
  // A name that reads as a cell reference ("A1", "R1C1") needs quotes as well.
  if (plain && ParseCell(sheet)) plain = false;
  if (plain) return std::string(sheet);
  std::string out = "'";
  for (char c : sheet) {
    if (c == '\'') out.push_back('\'');
    out.push_back(c);
  }
  out.push_back('\'');
  return out;
}

std::vector<CellRect> ParseSqref(std::string_view text) {
  std::vector<CellRect> rects;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) {
      auto rect = ParseArea(text.substr(start, end - start));
      if (rect) rects.push_back(*rect);
    }
    start = end + 1;
  }
  return rects;
}

std::string FormatRef(const CellRect& rect) {
  std::string out;
  AppendCellName(out, rect.row1, rect.col1);
  if (rect.row1 != rect.row2 || rect.col1 != rect.col2) {
    out.push_back(':');
    AppendCellName(out, rect.row2, rect.col2);
  }
  return out;
}

std::string FormatSqref(const std::vector<CellRect>& rects) {
  std::string out;
  for (const CellRect& rect : rects) {
    if (!out.empty()) out.push_back(' ');
    out += FormatRef(rect);
  }
  return out;
}

bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace tabrix::xlsx
