// Saving: the workbook-family formats written as a package, the text formats from the active
// sheet, always through a temporary file beside the target that is renamed into place.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <stdexcept>

#include "xlsx/engine_errors.h"
#include "xlsx/formula_recalculation.h"
#include "xlsx/text_encoding.h"
#include "convert/office_conversion.h"
#include "xlsx/xlsx_workbook.h"
#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

namespace {

// Children of <workbook> in schema order.
constexpr const char* kWorkbookOrder[] = {
    "fileVersion", "fileSharing",  "workbookPr",     "workbookProtection", "bookViews",
    "sheets",      "functionGroups", "externalReferences", "definedNames",  "calcPr",
    "oleSize",     "customWorkbookViews", "pivotCaches", "smartTagPr",      "smartTagTypes",
    "webPublishing", "fileRecoveryPr", "webPublishObjects", "extLst"};

int WorkbookPosition(std::string_view name) {
  int i = 0;
  for (const char* n : kWorkbookOrder) {
    if (name == n) return i;
    ++i;
  }
  return -1;
}

pugi::xml_node EnsureWorkbookChild(pugi::xml_node root, std::string_view localName) {
  if (pugi::xml_node existing = ChildByLocalName(root, localName)) return existing;
  std::string rootName = root.name();
  std::size_t colon = rootName.find(':');
  std::string name = (colon == std::string::npos ? "" : rootName.substr(0, colon + 1)) + std::string(localName);
  int position = WorkbookPosition(localName);
  for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element && WorkbookPosition(LocalName(child.name())) > position)
      return root.insert_child_before(name.c_str(), child);
  return root.append_child(name.c_str());
}

bool IsPackageFormat(std::int32_t format) {
  return format == kFormatXlsx || format == kFormatXlsm || format == kFormatXltm || format == kFormatXltx;
}

bool IsTextFormat(std::int32_t format) { return TextFormatOf(format).has_value(); }

const char* WorkbookContentType(std::int32_t format) {
  switch (format) {
    case kFormatXlsm: return contenttype::kWorkbookXlsm;
    case kFormatXltx: return contenttype::kWorkbookXltx;
    case kFormatXltm: return contenttype::kWorkbookXltm;
    default: return contenttype::kWorkbookXlsx;
  }
}

std::string TemporaryNameBeside(const std::filesystem::path& target) {
  static std::atomic<unsigned> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  std::string name = "." + target.filename().string() + ".~tbx" + std::to_string(stamp % 1000000007) + "-" +
                     std::to_string(counter++);
  return (target.parent_path() / name).string();
}

}  // namespace

void XlsxWorkbook::SaveAs(const std::string& path, std::optional<std::int32_t> fileFormat, int) {
  std::int32_t format = fileFormat.value_or(fileFormat_);
  SettleHeldReferences();
  const OfficeFormat* converted = IsPackageFormat(format) || IsTextFormat(format) ? nullptr : OfficeSaveFormat(format);
  if (!IsPackageFormat(format) && !IsTextFormat(format) && !converted)
    RaiseEngineError("Method 'SaveAs' of object '_Workbook' failed: this workbook cannot be saved in file format " +
                     std::to_string(format) + ".");
  std::error_code error;
  std::filesystem::path target = std::filesystem::absolute(path, error).lexically_normal();
  if (error || path.empty()) RaiseEngineError("Method 'SaveAs' of object '_Workbook' failed: invalid file name \"" + path + "\".");
  if (!openedPath_.empty() && std::filesystem::exists(openedPath_, error) &&
      std::filesystem::equivalent(openedPath_, target, error))
    RaiseEngineError("Method 'SaveAs' of object '_Workbook' failed: \"" + target.string() +
                     "\" is the template the workbook was opened from; it is opened read-only.");
  if (!std::filesystem::is_directory(target.parent_path(), error))
    RaiseEngineError("Method 'SaveAs' of object '_Workbook' failed: the folder \"" + target.parent_path().string() +
                     "\" does not exist.");
  if (converted) {
    // Written as Open XML and converted by LibreOffice.
    SaveThroughOffice(*this, target.string(), *converted);
    fullName_ = target.string();
    fileFormat_ = format;
    return;
  }
  std::string temporary = TemporaryNameBeside(target);
  try {
    // Cached values of formulas: computed here, so that every reader sees right values.
    if (Settings().Recalculate) RecalculateFormulas(*this);
    if (IsPackageFormat(format))
      WritePackage(temporary, format);
    else
      WriteTextFile(temporary, format);
    std::filesystem::rename(temporary, target);
  } catch (const AutomationError&) {
    std::filesystem::remove(temporary, error);
    throw;
  } catch (const std::bad_alloc&) {
    std::filesystem::remove(temporary, error);
    RaiseEngineError("Method 'SaveAs' of object '_Workbook' failed: out of memory.");
  } catch (const std::exception& e) {
    std::filesystem::remove(temporary, error);
    RaiseEngineError(std::string("Method 'SaveAs' of object '_Workbook' failed: ") + e.what());
  }
  fullName_ = target.string();
  fileFormat_ = format;
}

void XlsxWorkbook::ReclaimStrings() {
  std::vector<std::uint8_t> used(strings_.Size(), 0);
  if (!used.empty()) used[0] = 1;  // the empty text a blank workbook starts with
  auto textCells = [&](auto&& visit) {
    for (const auto& entry : sheets_)
      if (entry.worksheet)
        for (Row& row : entry.worksheet->Cells().Rows())
          for (Cell& cell : row.cells)
            if (cell.kind == CellKind::Text || cell.kind == CellKind::Error) visit(cell);
  };
  textCells([&](Cell& cell) { used[cell.text] = 1; });
  const std::vector<std::uint32_t> remap = strings_.Compact(used);
  if (!remap.empty()) textCells([&](Cell& cell) { cell.text = remap[cell.text]; });
  reclaimStringsAt_ = std::max<std::size_t>(1 << 16, 2 * strings_.Size());
}

void XlsxWorkbook::SaveSharedStrings(std::vector<std::uint32_t>& remap) {
  ReclaimStrings();
  // Only the texts that plain text cells use are written, in table order.
  std::vector<std::uint8_t> used(strings_.Size(), 0);
  for (const auto& entry : sheets_) {
    if (!entry.worksheet) continue;
    for (const Row& row : entry.worksheet->Cells().Rows())
      for (const Cell& cell : row.cells)
        if (cell.kind == CellKind::Text && !cell.HasFormula()) used[cell.text] = 1;
  }
  remap.assign(strings_.Size(), 0);
  std::uint32_t count = 0;
  std::size_t references = 0;
  for (std::size_t i = 0; i < used.size(); ++i)
    if (used[i]) remap[i] = count++;
  for (const auto& entry : sheets_) {
    if (!entry.worksheet) continue;
    for (const Row& row : entry.worksheet->Cells().Rows())
      for (const Cell& cell : row.cells)
        if (cell.kind == CellKind::Text && !cell.HasFormula()) ++references;
  }
  if (count == 0 && sharedStringsPart_.empty()) return;
  if (sharedStringsPart_.empty()) {
    sharedStringsPart_ = "xl/sharedStrings.xml";
    workbookRels_.Add(reltype::kSharedStrings, RelativeTarget(workbookPart_, sharedStringsPart_));
    contentTypes_.SetOverride(sharedStringsPart_, contenttype::kSharedStrings);
  }
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"";
  out += std::to_string(references);
  out += "\" uniqueCount=\"";
  out += std::to_string(count);
  out += "\">";
  for (std::size_t i = 0; i < used.size(); ++i) {
    if (!used[i]) continue;
    auto index = static_cast<std::uint32_t>(i);
    if (strings_.IsRich(index)) {
      out += "<si>";
      out += strings_.RichXml(index);
      out += "</si>";
      continue;
    }
    const std::string& text = strings_.Text(index);
    bool preserve = !text.empty() && (text.front() == ' ' || text.back() == ' ' || text.front() == '\t' ||
                                      text.back() == '\t' || text.find('\n') != std::string::npos);
    out += preserve ? "<si><t xml:space=\"preserve\">" : "<si><t>";
    AppendEscaped(out, text);
    out += "</t></si>";
  }
  out += "</sst>";
  parts_.Put(sharedStringsPart_, std::move(out));
}

void XlsxWorkbook::SaveWorkbookXml(std::int32_t format) {
  pugi::xml_node root = workbookXml_.document_element();
  std::string prefix;
  if (const char* colon = std::strchr(root.name(), ':')) prefix.assign(root.name(), colon + 1);

  // Defined names, rebuilt from the model.
  if (pugi::xml_node old = ChildByLocalName(root, "definedNames")) root.remove_child(old);
  if (!definedNames_.empty()) {
    pugi::xml_node list = EnsureWorkbookChild(root, "definedNames");
    for (const DefinedName& name : definedNames_) {
      pugi::xml_node node = list.append_child((prefix + "definedName").c_str());
      node.append_attribute("name") = name.name.c_str();
      std::int32_t scope = -1;
      if (name.scope) {
        for (std::size_t i = 0; i < sheets_.size(); ++i)
          if (sheets_[i].worksheet.get() == name.scope) scope = static_cast<std::int32_t>(i);
      } else if (name.scopeLost) {
        scope = name.rawScope;
      }
      if (scope >= 0) node.append_attribute("localSheetId") = scope;
      for (const auto& [key, value] : name.attributes) node.append_attribute(key.c_str()) = value.c_str();
      node.text().set(name.formula.c_str());
    }
  }

  // Ask readers to recalculate: cells and references may have moved.
  pugi::xml_node calcPr = EnsureWorkbookChild(root, "calcPr");
  if (!calcPr.attribute("fullCalcOnLoad")) calcPr.append_attribute("fullCalcOnLoad");
  calcPr.attribute("fullCalcOnLoad").set_value("1");

  // Active tab.
  std::int32_t activeTab = 0;
  for (std::size_t i = 0; i < sheets_.size(); ++i)
    if (sheets_[i].worksheet.get() == active_) activeTab = static_cast<std::int32_t>(i);
  pugi::xml_node views = EnsureWorkbookChild(root, "bookViews");
  pugi::xml_node view = ChildByLocalName(views, "workbookView");
  if (!view) view = views.append_child((prefix + "workbookView").c_str());
  if (!view.attribute("activeTab")) view.append_attribute("activeTab");
  view.attribute("activeTab").set_value(activeTab);
  if (view.attribute("firstSheet").as_int(0) > activeTab) view.attribute("firstSheet").set_value(activeTab);

  // Macro-free formats drop the VBA project.
  if (format == kFormatXlsx || format == kFormatXltx) {
    if (const Relationship* vba = workbookRels_.FindByType(reltype::kVbaProject)) {
      std::string vbaPart = ResolvePartTarget(workbookPart_, vba->target);
      parts_.Remove(vbaPart);
      parts_.Remove(RelationshipsPartName(vbaPart));
      contentTypes_.RemoveOverride(vbaPart);
      workbookRels_.Remove(vba->id);
    }
    if (pugi::xml_node workbookPr = ChildByLocalName(root, "workbookPr"))
      workbookPr.remove_attribute("codeName");
  }
  contentTypes_.SetOverride(workbookPart_, WorkbookContentType(format));

  // The calculation chain lists formula cells by position; it is rebuilt by the reader.
  if (const Relationship* chain = workbookRels_.FindByType(reltype::kCalcChain)) {
    std::string chainPart = ResolvePartTarget(workbookPart_, chain->target);
    parts_.Remove(chainPart);
    contentTypes_.RemoveOverride(chainPart);
    workbookRels_.Remove(chain->id);
  }
  parts_.Put(workbookPart_, SerializeXml(workbookXml_));
}

void XlsxWorkbook::WritePackage(const std::string& path, std::int32_t format) {
  std::vector<std::uint32_t> remap;
  SaveSharedStrings(remap);
  std::vector<std::string> largeParts;
  for (const auto& entry : sheets_) {
    if (!entry.worksheet) continue;
    XlsxWorksheet& sheet = *entry.worksheet;
    // Only the active sheet's tab is selected (several selected tabs would group the sheets).
    if (pugi::xml_node views = ChildByLocalName(sheet.Root(), "sheetViews")) {
      for (pugi::xml_node view : views.children()) {
        if (LocalName(view.name()) != "sheetView") continue;
        if (!view.attribute("tabSelected")) view.append_attribute("tabSelected");
        view.attribute("tabSelected").set_value(&sheet == active_ ? "1" : "0");
      }
    }
    parts_.PutDeflated(sheet.PartName(), sheet.SaveXml(remap));
    if (sheet.HasRels()) parts_.Put(RelationshipsPartName(sheet.PartName()), sheet.Rels().Serialize());
    largeParts.push_back(sheet.PartName());
  }
  if (!sharedStringsPart_.empty()) largeParts.push_back(sharedStringsPart_);
  if (stylesPart_.empty() && styles_.Modified()) {
    stylesPart_ = "xl/styles.xml";
    workbookRels_.Add(reltype::kStyles, RelativeTarget(workbookPart_, stylesPart_));
    contentTypes_.SetOverride(stylesPart_, contenttype::kStyles);
  }
  if (styles_.Modified() || (!stylesPart_.empty() && parts_.Has(stylesPart_) && parts_.data[stylesPart_].empty()))
    parts_.Put(stylesPart_, styles_.Serialize());
  for (auto& [name, drawing] : drawings_) {
    if (!drawing->modified && drawing->pictures.empty()) continue;
    if (drawing->original.empty() && parts_.Has(name)) drawing->original = std::move(parts_.data[name]);
    parts_.PutDeflated(name, drawing->Serialize());
    parts_.Put(RelationshipsPartName(name), drawing->rels.Serialize());
    // A picture per record makes the drawing as large as the sheet: the fast level too.
    largeParts.push_back(name);
  }
  for (auto& [name, doc] : editedParts_) parts_.Put(name, SerializeXml(*doc));
  SaveWorkbookXml(format);
  parts_.Put(RelationshipsPartName(workbookPart_), workbookRels_.Serialize());
  parts_.Put("[Content_Types].xml", contentTypes_.Serialize());
  WriteZipFile(path, parts_, largeParts);
  // Sheets are written again from their cells by every save.
  parts_.deflated.clear();
}

}  // namespace tabrix::xlsx
