// Field values, cell writes, pictures and page breaks shared by every fill engine.
#include "fill/cell_values.h"

#include <exception>

#include "support/paths.h"
#include "tabrix/error.h"

namespace tabrix::fill {
namespace {

constexpr std::int32_t kChunkSize = 16384;

std::string TrimSpaces(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// Adds the picture at the cell's top-left corner, sized as asked (a negative width or height
// means "not given": the picture's own proportions decide), and anchors it.
void InsertPicture(const std::string& path, platform::Worksheet& sheet, std::int32_t row,
                   std::int32_t column, const ImageOptions& options, double width, double height) {
  try {
    const double left = sheet.CellLeft(column);
    const double top = sheet.CellTop(row);
    std::shared_ptr<platform::Shape> picture;
    if (width >= 0 && height >= 0) {
      picture = sheet.AddPicture(path, false, true, left, top, width, height);
    } else {
      picture = sheet.AddPicture(path, false, true, left, top, 10, 10);
      if (width >= 0) {
        picture->ScaleWidth(1, true);
        const double factor = width / picture->Width();
        picture->SetWidth(width);
        picture->ScaleHeight(factor, true);
      } else if (height >= 0) {
        picture->ScaleHeight(1, true);
        const double factor = height / picture->Height();
        picture->SetHeight(height);
        picture->ScaleWidth(factor, true);
      } else {
        picture->ScaleHeight(1, true);
        picture->ScaleWidth(1, true);
      }
    }
    picture->SetPlacement(options.Placement);
  } catch (...) {
    const AutomationError cause = ToAutomationError(std::current_exception());
    RaiseWithDescription(cause, "Failed to insert the image file \"" + path + "\". " +
                                    cause.Description());
  }
}

}  // namespace

Variant ReadFieldValue(platform::Field& field) {
  try {
    if (field.Attributes() & platform::kFieldLong) {
      std::string text;
      for (;;) {
        const Variant chunk = field.GetChunk(kChunkSize);
        if (chunk.IsNull()) break;
        const std::string piece = chunk.ToText();
        if (piece.empty()) break;
        text += piece;
      }
      return Variant(std::move(text));
    }
    Variant value = field.Value();
    if (value.IsNull()) return Variant(std::string());
    return value;
  } catch (...) {
    return Variant("#Error");
  }
}

void WriteFieldValue(platform::Worksheet& sheet, std::int32_t row, std::int32_t column,
                     const Variant& value) {
  sheet.SetValue(row, column, value);
}

std::string ReadOptionText(platform::Worksheet& sheet, std::int32_t row, std::int32_t column) {
  return sheet.GetValue(row, column).ToText();
}

void ClearCell(platform::Worksheet& sheet, std::int32_t row, std::int32_t column) {
  sheet.SetValue(row, column, Variant(std::string()));
}

std::string ImageFolder(platform::Worksheet& sheet) {
  std::shared_ptr<platform::Workbook> workbook = sheet.Parent();
  if (!workbook) return std::string();
  return FolderPart(workbook->FullName());
}

void PutFieldImage(platform::Worksheet& sheet, std::int32_t row, std::int32_t column,
                   const Variant& value, ImageOptions& options, const std::string& imageFolder) {
  const std::string name = TrimSpaces(value.ToText());
  if (name.empty()) return;

  // Files are looked up against the workbook's folder by text; the process's current directory
  // is never changed. A workbook that was never saved has no folder: the name is used as written.
  std::string path;
  if (IsUrl(name))
    path = name;
  else if (imageFolder.empty())
    path = NativePath(name);
  else
    path = ResolveRelativePath(imageFolder, name);

  if (options.Stretch) {
    const platform::CellRect area = sheet.MergeArea(row, column);
    double width = 0, height = 0;
    for (std::int32_t c = area.col1; c <= area.col2; ++c) width += sheet.ColumnWidthPoints(c);
    for (std::int32_t r = area.row1; r <= area.row2; ++r) height += sheet.RowHeightPoints(r);
    options.Width = static_cast<float>(width);
    options.Height = static_cast<float>(height);
  }
  InsertPicture(path, sheet, row, column, options, options.Width, options.Height);
}

void SetRowPageBreak(platform::Worksheet& sheet, std::int32_t row) {
  sheet.SetRowPageBreak(row, platform::kPageBreakManual);
}

void SetColumnPageBreak(platform::Worksheet& sheet, std::int32_t column) {
  sheet.SetColumnPageBreak(column, platform::kPageBreakManual);
}

}  // namespace tabrix::fill
