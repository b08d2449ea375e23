// Comma-separated, plain and fixed-width (formatted) text files: opened as a one-sheet workbook,
// and written from the active sheet as the cells display their values.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unordered_map>

#include "support/utf8.h"
#include "xlsx/text_encoding.h"
#include "xlsx/engine_errors.h"
#include "xlsx/number_format/number_format.h"
#include "xlsx/blank_package.h"
#include "xlsx/xlsx_workbook.h"

namespace tabrix::xlsx {

namespace {

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("the file cannot be read");
  in.seekg(0, std::ios::end);
  auto size = static_cast<std::uint64_t>(in.tellg());
  if (size > kMaxPartSize) throw std::runtime_error("the file is too large");
  in.seekg(0);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  return bytes;
}

// UTF-8 text of the file: a UTF-8 BOM is skipped (bad bytes after it read as U+FFFD), UTF-16
// (with BOM) converted; a file without BOM that is not UTF-8 is legacy 8-bit text, read as
// Windows-1252.
std::string DecodeText(const std::string& bytes) {
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
    return utf8::Repaired(std::string_view(bytes).substr(3));
  if (bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) {
    bool little = bytes[0] == '\xFF';
    std::string out;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      auto lo = static_cast<unsigned char>(bytes[little ? i : i + 1]);
      auto hi = static_cast<unsigned char>(bytes[little ? i + 1 : i]);
      std::uint32_t unit = lo | (hi << 8);
      if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
        auto lo2 = static_cast<unsigned char>(bytes[little ? i + 2 : i + 3]);
        auto hi2 = static_cast<unsigned char>(bytes[little ? i + 3 : i + 2]);
        std::uint32_t low = lo2 | (hi2 << 8);
        if (low >= 0xDC00 && low < 0xE000) {
          unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          i += 2;
        }
      }
      utf8::Append(out, unit);
    }
    return out;
  }
  // Without a byte order mark: UTF-8, or legacy 8-bit text read as Windows-1252.
  return utf8::IsWellFormed(bytes) ? bytes : utf8::ReadAsWindows1252(bytes);
}

// Splits delimited text into records of fields ("" quoting with doubled quotes).
std::vector<std::vector<std::string>> SplitRecords(const std::string& text, char separator) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  bool quoted = false, wasQuoted = false;
  std::size_t i = 0;
  auto endField = [&] {
    record.push_back(std::move(field));
    field.clear();
    wasQuoted = false;
  };
  while (i < text.size()) {
    char c = text[i];
    if (quoted) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          field.push_back('"');
          i += 2;
          continue;
        }
        quoted = false;
        ++i;
        continue;
      }
      field.push_back(c);
      ++i;
      continue;
    }
    if (c == '"' && field.empty() && !wasQuoted) {
      quoted = wasQuoted = true;
      ++i;
      continue;
    }
    if (c == separator) {
      endField();
      ++i;
      continue;
    }
    if (c == '\r' || c == '\n') {
      endField();
      records.push_back(std::move(record));
      record.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      ++i;
      continue;
    }
    field.push_back(c);
    ++i;
  }
  if (!field.empty() || !record.empty() || wasQuoted) {
    endField();
    records.push_back(std::move(record));
  }
  return records;
}

std::int64_t DaysFromCivil(int year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(year - era * 400);
  const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<std::int64_t>(era) * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::optional<double> DateSerial(int year, int month, int day) {
  if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1900 || year > 9999) return std::nullopt;
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (day > kDays[month - 1]) return std::nullopt;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && day == 29 && !leap) return std::nullopt;
  double serial = static_cast<double>(DaysFromCivil(year, month, day) - DaysFromCivil(1899, 12, 30));
  if (serial < 61) serial -= 1;
  return serial;
}

// Splits fixed-width text (formatted text, .prn) into records of fields: a column of characters
// that is blank on every line separates fields, and each field loses its padding blanks.
std::vector<std::vector<std::string>> SplitFixedWidth(const std::string& text) {
  std::vector<std::u32string> lines(1);
  for (std::size_t i = 0; i < text.size();) {
    const char32_t c = utf8::Decode(text, i);
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i < text.size() && text[i] == '\n') ++i;
      lines.emplace_back();
    } else {
      lines.back().push_back(c);
    }
  }
  if (lines.back().empty()) lines.pop_back();
  std::size_t width = 0;
  for (const auto& line : lines) width = std::max(width, line.size());
  std::vector<bool> used(width, false);
  for (const auto& line : lines)
    for (std::size_t k = 0; k < line.size(); ++k) used[k] = used[k] || line[k] != ' ';
  // Fields: maximal runs of used character columns.
  std::vector<std::pair<std::size_t, std::size_t>> fields;
  for (std::size_t k = 0; k < width;) {
    if (!used[k]) {
      ++k;
      continue;
    }
    const std::size_t start = k;
    while (k < width && used[k]) ++k;
    fields.emplace_back(start, k);
  }
  std::vector<std::vector<std::string>> records;
  records.reserve(lines.size());
  for (const auto& line : lines) {
    std::vector<std::string>& record = records.emplace_back();
    for (const auto& [start, end] : fields) {
      std::string field;
      for (std::size_t k = start; k < end && k < line.size(); ++k) utf8::Append(field, line[k]);
      while (!field.empty() && field.back() == ' ') field.pop_back();
      const std::size_t first = field.find_first_not_of(' ');
      record.push_back(first == std::string::npos ? std::string() : field.substr(first));
    }
    while (!record.empty() && record.back().empty()) record.pop_back();
  }
  return records;
}

// A field typed as the application types a value read from a text file.
struct TypedValue {
  Variant value;
  std::uint32_t numberFormat = 0;  // built-in format the cell gets (0 = General)
  bool formula = false;
};

TypedValue TypeField(const std::string& field) {
  TypedValue typed;
  if (field.empty()) return typed;
  if (field.size() > 1 && field[0] == '=') {
    typed.formula = true;
    typed.value = Variant(field);
    return typed;
  }
  std::string upper;
  for (char c : field) upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  if (upper == "TRUE" || upper == "FALSE") {
    typed.value = Variant(upper == "TRUE");
    return typed;
  }
  // Numbers: sign, digits with thousands separators, decimals, exponent, trailing percent.
  std::string trimmed = field;
  while (!trimmed.empty() && trimmed.front() == ' ') trimmed.erase(trimmed.begin());
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
  bool percent = !trimmed.empty() && trimmed.back() == '%';
  if (percent) trimmed.pop_back();
  bool negative = false;
  std::string digits;
  std::size_t i = 0;
  if (i < trimmed.size() && (trimmed[i] == '-' || trimmed[i] == '+')) negative = trimmed[i++] == '-';
  bool valid = i < trimmed.size(), seenDigit = false, seenPoint = false, seenExponent = false, thousands = false;
  for (; i < trimmed.size() && valid; ++i) {
    char c = trimmed[i];
    if (c >= '0' && c <= '9') {
      digits.push_back(c);
      seenDigit = true;
    } else if (c == ',' && !seenPoint && !seenExponent && seenDigit) {
      thousands = true;
    } else if (c == '.' && !seenPoint && !seenExponent) {
      digits.push_back(c);
      seenPoint = true;
    } else if ((c == 'e' || c == 'E') && seenDigit && !seenExponent) {
      digits.push_back('e');
      seenExponent = true;
      if (i + 1 < trimmed.size() && (trimmed[i + 1] == '+' || trimmed[i + 1] == '-')) digits.push_back(trimmed[++i]);
    } else {
      valid = false;
    }
  }
  if (valid && seenDigit) {
    double number = 0;
    auto result = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (result.ec == std::errc() && result.ptr == digits.data() + digits.size()) {
      if (negative) number = -number;
      if (percent) {
        number /= 100;
        typed.numberFormat = seenPoint ? 10 : 9;
      } else if (thousands) {
        typed.numberFormat = seenPoint ? 4 : 3;
      }
      typed.value = Variant(number);
      return typed;
    }
  }
  // Dates: m/d/yyyy or yyyy-mm-dd, optionally followed by a time h:mm[:ss].
  int a = 0, b = 0, c = 0, hh = 0, mm = 0, ss = 0;
  char sep1 = 0, sep2 = 0;
  int consumed = 0;
  if (std::sscanf(field.c_str(), "%d%c%d%c%d%n", &a, &sep1, &b, &sep2, &c, &consumed) == 5 && sep1 == sep2 &&
      (sep1 == '/' || sep1 == '-')) {
    std::optional<double> serial = sep1 == '-' && a > 31 ? DateSerial(a, b, c) : DateSerial(c < 100 ? c + 2000 : c, a, b);
    std::string rest = field.substr(static_cast<std::size_t>(consumed));
    bool timeOk = rest.empty();
    bool hasTime = false;
    if (!rest.empty()) {
      int n = 0;
      if (std::sscanf(rest.c_str(), " %d:%d%n", &hh, &mm, &n) == 2) {
        std::string after = rest.substr(static_cast<std::size_t>(n));
        int n2 = 0;
        if (!after.empty() && std::sscanf(after.c_str(), ":%d%n", &ss, &n2) == 1) after = after.substr(static_cast<std::size_t>(n2));
        timeOk = after.empty() && hh < 24 && mm < 60 && ss < 60;
        hasTime = true;
      }
    }
    if (serial && timeOk) {
      typed.value = Variant::Date(*serial + (hh * 3600 + mm * 60 + ss) / 86400.0);
      typed.numberFormat = hasTime ? 22 : 14;
      return typed;
    }
  }
  typed.value = Variant(field);
  return typed;
}

std::size_t DisplayLength(const std::string& utf8) {
  return utf8::CharacterCount(utf8);
}

}  // namespace

void XlsxWorkbook::LoadText(const std::string& path, std::int32_t format) {
  std::string text = DecodeText(ReadWholeFile(path));
  char separator = format == kFormatCsv ? ',' : '\t';
  std::string sheetName = std::filesystem::path(path).stem().string();
  for (char& c : sheetName)
    if (c == '[' || c == ']' || c == ':' || c == '*' || c == '?' || c == '/' || c == '\\') c = '_';
  if (sheetName.size() > 31) sheetName.resize(31);
  if (sheetName.empty()) sheetName = "Sheet1";
  LoadPackage(BlankPackage(sheetName));
  fileFormat_ = format;
  XlsxWorksheet& sheet = *sheets_.front().worksheet;
  auto records = format == kFormatFormattedText ? SplitFixedWidth(text) : SplitRecords(text, separator);
  if (records.size() > static_cast<std::size_t>(kMaxRows))
    throw std::runtime_error("the file has more lines than a sheet has rows");
  std::unordered_map<std::uint32_t, std::uint32_t> styleOf;
  for (std::size_t r = 0; r < records.size(); ++r) {
    const auto& fields = records[r];
    if (fields.size() > static_cast<std::size_t>(kMaxColumns))
      throw std::runtime_error("line " + std::to_string(r + 1) + " has more fields than a sheet has columns");
    for (std::size_t c = 0; c < fields.size(); ++c) {
      TypedValue typed = TypeField(fields[c]);
      auto row = static_cast<std::int32_t>(r + 1), column = static_cast<std::int32_t>(c + 1);
      if (typed.value.IsEmpty()) continue;
      if (typed.formula) {
        sheet.SetFormula(row, column, typed.value.Text());
        continue;
      }
      sheet.SetValue(row, column, typed.value);
      if (typed.numberFormat && typed.numberFormat != 14)
        sheet.SetCellStyle(row, column, styles_.StyleWithNumberFormat(0, typed.numberFormat));
    }
  }
}

void XlsxWorkbook::WriteTextFile(const std::string& path, std::int32_t format) {
  XlsxWorksheet* sheet = active_ ? active_ : Worksheets().front().get();
  const std::optional<TextFileFormat> layout = TextFormatOf(format);
  if (!layout) throw std::runtime_error("file format " + std::to_string(format) + " is not a text format");
  const char separator = layout->separator;
  const bool formatted = layout->formatted;
  const char* lineEnd = layout->lineEnd;
  std::int32_t lastRow = 0, lastColumn = 0;
  for (const Row& row : sheet->Cells().Rows()) {
    for (const Cell& cell : row.cells) {
      if (cell.kind == CellKind::Blank) continue;
      lastRow = row.number;
      lastColumn = std::max(lastColumn, cell.column);
    }
  }
  std::unordered_map<std::uint32_t, NumberFormat> formats;
  auto display = [&](const Cell& cell) -> std::string {
    switch (cell.kind) {
      case CellKind::Blank: return {};
      case CellKind::Boolean: return FormatBoolean(cell.number != 0);
      case CellKind::Error: return strings_.Text(cell.text);
      default: break;
    }
    auto it = formats.find(cell.style);
    if (it == formats.end())
      it = formats.emplace(cell.style, NumberFormat(styles_.NumberFormatCode(cell.style), date1904_)).first;
    if (cell.kind == CellKind::Text) return it->second.FormatText(strings_.Text(cell.text));
    return it->second.Format(cell.number);
  };
  std::string out;
  auto rowIt = sheet->Cells().Rows().begin();
  auto rowEnd = sheet->Cells().Rows().end();
  for (std::int32_t r = 1; r <= lastRow; ++r) {
    while (rowIt != rowEnd && rowIt->number < r) ++rowIt;
    const Row* row = rowIt != rowEnd && rowIt->number == r ? &*rowIt : nullptr;
    std::size_t cellIndex = 0;
    for (std::int32_t c = 1; c <= lastColumn; ++c) {
      std::string text;
      bool number = false;
      if (row) {
        while (cellIndex < row->cells.size() && row->cells[cellIndex].column < c) ++cellIndex;
        if (cellIndex < row->cells.size() && row->cells[cellIndex].column == c) {
          const Cell& cell = row->cells[cellIndex];
          text = display(cell);
          number = cell.kind == CellKind::Number;
        }
      }
      if (formatted) {
        // Formatted text: every column as wide as on screen, numbers to the right.
        auto width = static_cast<std::size_t>(std::max(1.0, std::floor(sheet->ColumnWidthCharacters(c) + 0.5)));
        std::size_t length = DisplayLength(text);
        if (length > width) {
          text = number ? std::string(width, '#') : text.substr(0, width);
          length = width;
        }
        std::string pad(width - length, ' ');
        out += number ? pad + text : text + pad;
        continue;
      }
      if (c > 1) out.push_back(separator);
      bool quote = text.find(separator) != std::string::npos || text.find('"') != std::string::npos ||
                   text.find('\n') != std::string::npos || text.find('\r') != std::string::npos;
      if (quote) {
        out.push_back('"');
        for (char ch : text) {
          if (ch == '"') out.push_back('"');
          out.push_back(ch);
        }
        out.push_back('"');
      } else {
        out += text;
      }
    }
    if (formatted)
      while (!out.empty() && out.back() == ' ') out.pop_back();
    out += lineEnd;
  }
  out = EncodeText(out, layout->encoding);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) throw std::runtime_error("cannot create " + path);
  file.write(out.data(), static_cast<std::streamsize>(out.size()));
  file.close();
  if (!file) throw std::runtime_error("cannot write " + path);
}

}  // namespace tabrix::xlsx
