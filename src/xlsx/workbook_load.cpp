// Opening workbooks: the package, the workbook part, styles, shared strings, sheets and names.
#include <algorithm>
#include <filesystem>
#include <new>
#include <stdexcept>

#include "xlsx/engine_errors.h"
#include "xlsx/formula_references.h"
#include "convert/office_conversion.h"
#include "xlsx/blank_package.h"
#include "xlsx/xlsx_application.h"
#include "xlsx/xlsx_workbook.h"
#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

namespace {

std::string LowerExtension(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

std::int32_t FormatOfContentType(const std::string& type) {
  if (type == contenttype::kWorkbookXlsm) return kFormatXlsm;
  if (type == contenttype::kWorkbookXltx) return kFormatXltx;
  if (type == contenttype::kWorkbookXltm) return kFormatXltm;
  return kFormatXlsx;
}

}  // namespace

XlsxWorkbook::XlsxWorkbook(std::shared_ptr<platform::Application> application, std::string fullName)
    : application_(std::move(application)), fullName_(std::move(fullName)) {}

XlsxWorkbook::~XlsxWorkbook() {
  // Worksheet objects a caller still holds must not reach a workbook that is gone.
  for (auto& entry : sheets_)
    if (entry.worksheet) entry.worksheet->Detach();
}

std::shared_ptr<XlsxWorkbook> XlsxWorkbook::CreateBlank(std::shared_ptr<platform::Application> application,
                                                        const std::string& sheetName) {
  auto book = std::make_shared<XlsxWorkbook>(std::move(application), "");
  book->LoadPackage(BlankPackage(sheetName));
  return book;
}

std::shared_ptr<XlsxWorkbook> XlsxWorkbook::Open(std::shared_ptr<platform::Application> application,
                                                 const std::string& path,
                                                 const std::function<PackageParts(const std::string&)>& readPackage) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error).lexically_normal();
  std::string fullName = error ? path : absolute.string();
  if (!std::filesystem::is_regular_file(fullName, error))
    RaiseOpenFailed(path, std::filesystem::exists(fullName, error) ? "it is not a file" : "the file does not exist");
  auto book = std::make_shared<XlsxWorkbook>(std::move(application), fullName);
  book->openedPath_ = fullName;
  std::string extension = LowerExtension(fullName);
  try {
    if (extension == ".csv" || extension == ".txt" || extension == ".prn") {
      book->LoadText(fullName, extension == ".csv"   ? kFormatCsv
                               : extension == ".prn" ? kFormatFormattedText
                                                     : kFormatText);
    } else if (const OfficeFormat* converted = OfficeTemplateFormat(extension)) {
      // Read through LibreOffice; the workbook keeps the original's name and format.
      book->LoadPackage(ReadOfficeTemplate(fullName, *converted, ConverterSettingsOf(*book)));
      book->fileFormat_ = converted->fileFormat;
    } else {
      book->LoadPackage(readPackage ? readPackage(fullName) : ReadZipFile(fullName, true));
    }
  } catch (const AutomationError&) {
    throw;
  } catch (const std::bad_alloc&) {
    RaiseOpenFailed(fullName, "out of memory");
  } catch (const std::exception& e) {
    RaiseOpenFailed(fullName, e.what());
  }
  return book;
}

void XlsxWorkbook::LoadPackage(PackageParts parts) {
  parts_ = std::move(parts);
  auto need = [&](const std::string& name) -> const std::string& {
    auto it = parts_.data.find(name);
    if (it == parts_.data.end()) throw std::runtime_error("the part " + name + " is missing");
    return it->second;
  };
  contentTypes_.Load(need("[Content_Types].xml"));
  // Large parts read compressed are inflated now, except worksheets: their rows are read as
  // their text is inflated.
  for (auto it = parts_.deflated.begin(); it != parts_.deflated.end();) {
    if (contentTypes_.TypeOf(it->first) == contenttype::kWorksheet) {
      ++it;
      continue;
    }
    std::string& text = parts_.data[it->first];
    InflatePart(it->first, it->second, [&](std::string_view piece) { return text.append(piece), true; });
    it = parts_.deflated.erase(it);
  }
  Relationships packageRels;
  packageRels.Load(need("_rels/.rels"), "_rels/.rels");
  const Relationship* office = packageRels.FindByType(reltype::kOfficeDocument);
  if (!office) throw std::runtime_error("the package has no workbook part");
  workbookPart_ = ResolvePartTarget("", office->target);
  ParseXml(workbookXml_, need(workbookPart_), workbookPart_);
  fileFormat_ = FormatOfContentType(contentTypes_.TypeOf(workbookPart_));
  if (pugi::xml_node workbookPr = ChildByLocalName(workbookXml_.document_element(), "workbookPr")) {
    std::string_view date1904 = workbookPr.attribute("date1904").value();
    date1904_ = date1904 == "1" || date1904 == "true";
  }
  std::string workbookRelsName = RelationshipsPartName(workbookPart_);
  if (parts_.Has(workbookRelsName)) workbookRels_.Load(parts_.data[workbookRelsName], workbookRelsName);

  // Styles.
  if (const Relationship* rel = workbookRels_.FindByType(reltype::kStyles)) {
    stylesPart_ = ResolvePartTarget(workbookPart_, rel->target);
    styles_.Load(parts_.Has(stylesPart_) ? parts_.data[stylesPart_] : std::string());
  } else {
    styles_.Load("");
  }

  // Shared strings, mapped onto the string table.
  std::vector<std::uint32_t> sharedStrings;
  if (const Relationship* rel = workbookRels_.FindByType(reltype::kSharedStrings)) {
    sharedStringsPart_ = ResolvePartTarget(workbookPart_, rel->target);
    if (parts_.Has(sharedStringsPart_)) {
      pugi::xml_document sst;
      ParseXml(sst, parts_.data[sharedStringsPart_], sharedStringsPart_);
      std::string().swap(parts_.data[sharedStringsPart_]);  // written again from the table
      for (pugi::xml_node si : sst.document_element().children()) {
        if (LocalName(si.name()) != "si") continue;
        pugi::xml_node first = si.first_child();
        if (first && !first.next_sibling() && LocalName(first.name()) == "t") {
          sharedStrings.push_back(strings_.Intern(UnescapeSpreadsheetText(first.text().get())));
          continue;
        }
        // Rich text (runs, phonetic text): keep the XML, gather the plain text of the runs.
        std::string text;
        for (pugi::xml_node child : si.children()) {
          std::string_view local = LocalName(child.name());
          if (local == "t") text += child.text().get();
          if (local == "r") text += ChildByLocalName(child, "t").text().get();
        }
        std::string xml = InnerXml(si);
        if (xml.empty()) xml = "<t></t>";
        sharedStrings.push_back(strings_.AddRich(UnescapeSpreadsheetText(text), std::move(xml)));
      }
    }
  }
  if (sharedStrings.empty() && strings_.Size() == 0) strings_.Intern("");

  // Sheets.
  pugi::xml_node root = workbookXml_.document_element();
  pugi::xml_node sheetsNode = ChildByLocalName(root, "sheets");
  if (!sheetsNode) throw std::runtime_error("the workbook part has no sheet list");
  for (pugi::xml_node sheet : sheetsNode.children()) {
    if (LocalName(sheet.name()) != "sheet") continue;
    SheetEntry entry;
    entry.name = sheet.attribute("name").value();
    entry.relId = RelationshipIdAttribute(sheet).value();
    const Relationship* rel = workbookRels_.FindById(entry.relId);
    if (!rel) throw std::runtime_error("the sheet \"" + entry.name + "\" has no part");
    if (RelationshipTypeIs(rel->type, reltype::kWorksheet)) {
      std::string partName = ResolvePartTarget(workbookPart_, rel->target);
      auto worksheet = std::make_shared<XlsxWorksheet>(this, entry.name);
      worksheet->SetPart(partName, entry.relId);
      std::string relsName = RelationshipsPartName(partName);
      if (parts_.Has(relsName)) worksheet->EditRels().Load(parts_.data[relsName], relsName);
      const std::string& text = need(partName);
      auto deflated = parts_.deflated.find(partName);
      worksheet->LoadXml([&](const std::function<bool(std::string_view)>& piece) {
        if (deflated != parts_.deflated.end()) return InflatePart(partName, deflated->second, piece);
        constexpr std::size_t kPiece = 1 << 20;
        for (std::size_t at = 0; at < text.size(); at += kPiece)
          if (!piece(std::string_view(text).substr(at, kPiece))) return;
      });
      // The cells are held apart from now on and the part is written again by every save:
      // its text is not kept beside them.
      std::string().swap(parts_.data[partName]);
      if (deflated != parts_.deflated.end()) parts_.deflated.erase(deflated);
      // Rebuild the string indexes: the sheet holds shared-string numbers until now.
      for (Row& row : worksheet->Cells().Rows())
        for (Cell& cell : row.cells)
          if ((cell.kind == CellKind::Text) && cell.text >= 0x80000000u) {
            std::uint32_t index = cell.text - 0x80000000u;
            if (index >= sharedStrings.size())
              throw std::runtime_error("the sheet \"" + entry.name + "\" uses a shared string that does not exist");
            cell.text = sharedStrings[index];
          }
      entry.worksheet = worksheet;
    }
    sheets_.push_back(std::move(entry));
  }
  if (Worksheets().empty()) throw std::runtime_error("the workbook has no worksheet");

  // Active sheet.
  std::int32_t activeTab = 0;
  if (pugi::xml_node views = ChildByLocalName(root, "bookViews"))
    activeTab = ChildByLocalName(views, "workbookView").attribute("activeTab").as_int(0);
  if (activeTab >= 0 && activeTab < static_cast<std::int32_t>(sheets_.size()) && sheets_[activeTab].worksheet)
    active_ = sheets_[activeTab].worksheet.get();
  else
    active_ = Worksheets().front().get();

  LoadDefinedNames();
}

void XlsxWorkbook::LoadDefinedNames() {
  pugi::xml_node list = ChildByLocalName(workbookXml_.document_element(), "definedNames");
  for (pugi::xml_node node : list.children()) {
    if (LocalName(node.name()) != "definedName") continue;
    DefinedName name;
    name.formula = node.text().get();
    for (pugi::xml_attribute a : node.attributes()) {
      std::string_view attributeName = a.name();
      if (attributeName == "name") {
        name.name = a.value();
      } else if (attributeName == "localSheetId") {
        name.rawScope = a.as_int(-1);
        if (name.rawScope >= 0 && name.rawScope < static_cast<std::int32_t>(sheets_.size())) {
          name.scope = sheets_[name.rawScope].worksheet.get();
          name.scopeLost = name.scope == nullptr;
        }
      } else {
        name.attributes.emplace_back(a.name(), a.value());
      }
    }
    definedNames_.push_back(std::move(name));
  }
}

std::string XlsxWorkbook::Name() const {
  return std::filesystem::path(fullName_).filename().string();
}

std::vector<std::shared_ptr<XlsxWorksheet>> XlsxWorkbook::Worksheets() const {
  std::vector<std::shared_ptr<XlsxWorksheet>> list;
  for (const auto& entry : sheets_)
    if (entry.worksheet) list.push_back(entry.worksheet);
  return list;
}

std::int32_t XlsxWorkbook::WorksheetCount() { return static_cast<std::int32_t>(Worksheets().size()); }

std::shared_ptr<platform::Worksheet> XlsxWorkbook::WorksheetAt(std::int32_t index) {
  auto list = Worksheets();
  if (index < 1 || index > static_cast<std::int32_t>(list.size())) RaiseRuntimeError(kErrSubscriptOutOfRange);
  return list[index - 1];
}

std::shared_ptr<platform::Worksheet> XlsxWorkbook::WorksheetByName(std::string_view name) {
  XlsxWorksheet* sheet = FindWorksheet(name);
  if (!sheet) RaiseRuntimeError(kErrSubscriptOutOfRange);
  return std::static_pointer_cast<platform::Worksheet>(sheet->shared_from_this());
}

XlsxWorksheet* XlsxWorkbook::FindWorksheet(std::string_view name) const {
  for (const auto& entry : sheets_)
    if (entry.worksheet && NamesEqual(entry.name, name)) return entry.worksheet.get();
  return nullptr;
}

std::shared_ptr<platform::Worksheet> XlsxWorkbook::ActiveSheet() {
  if (!active_) RaiseApplicationDefined();
  return std::static_pointer_cast<platform::Worksheet>(active_->shared_from_this());
}

void XlsxWorkbook::SetActive(XlsxWorksheet* sheet) { active_ = sheet; }

std::uint16_t XlsxWorkbook::FormulaSheetNumber(const XlsxWorksheet* sheet) {
  for (std::size_t i = 1; i < formulaSheets_.size(); ++i)
    if (formulaSheets_[i] == sheet) return static_cast<std::uint16_t>(i);
  if (formulaSheets_.size() > 0xFFFF) RaiseEngineError("Too many sheets with formulas.");
  formulaSheets_.push_back(const_cast<XlsxWorksheet*>(sheet));
  return static_cast<std::uint16_t>(formulaSheets_.size() - 1);
}

std::uint32_t XlsxWorkbook::PlaceFormula(Formula formula) {
  if (freeFormulas_.empty()) {
    formulas_.push_back(std::move(formula));
    return static_cast<std::uint32_t>(formulas_.size() - 1);
  }
  const std::uint32_t index = freeFormulas_.back();
  freeFormulas_.pop_back();
  formulas_[index] = std::move(formula);
  return index;
}

std::uint32_t XlsxWorkbook::AddFormula(XlsxWorksheet* sheet, std::string text) {
  Formula formula(text);
  formula.sheet = FormulaSheetNumber(sheet);
  const std::uint32_t index = PlaceFormula(std::move(formula));
  ReferenceReach reach = MeasureReferences(text);
  if (reach.HasReferences) {
    formulas_[index].prefixed = reach.HasSheetPrefix;
    FormulaIndex& list = reach.HasSheetPrefix ? prefixedFormulas_ : localFormulas_[sheet];
    list.Add(index, FormulaIndex::Reach{reach.MaxRow, reach.MaxColumn});
  }
  return index;
}

std::uint32_t XlsxWorkbook::AddSharedFormula(XlsxWorksheet* sheet, std::string_view text, CellRect ref,
                                             std::int32_t row, std::int32_t column) {
  Formula formula(text);
  formula.sheet = FormulaSheetNumber(sheet);
  formula.type = Formula::kShared;
  formula.prefixed = MeasureReferences(text).HasSheetPrefix;
  const std::uint32_t index = PlaceFormula(std::move(formula));
  FormulaExtra& extra = FormulaExtraOf(index);
  extra.ref = ref;
  extra.masterRow = row;
  extra.masterColumn = column;
  extra.uses = 1;
  sharedFormulas_.push_back(index);
  return index;
}

std::string XlsxWorkbook::CellFormulaText(std::uint32_t index, std::int32_t row, std::int32_t column) {
  const Formula& formula = formulas_[index];
  if (formula.type != Formula::kShared) return std::string(FormulaText(index));
  const FormulaExtra& extra = formulaExtras_.at(index);
  if (row == extra.masterRow && column == extra.masterColumn) return std::string(formula.Text());
  return TranslatedFormula(formula.Text(), row - extra.masterRow, column - extra.masterColumn);
}

void XlsxWorkbook::SplitSharedFormulas(const XlsxWorksheet* sheet, const SheetEdit& edit) {
  // A group the edit can neither move (its cells lie before the edited line) nor change (every
  // reference of every cell lies before it) stays one entry. A cell's references reach at most
  // as far past the master's as the cell lies past the master.
  auto reached = [&](std::uint32_t group) {
    const Formula& formula = formulas_[group];
    const FormulaExtra& extra = formulaExtras_.at(group);
    ReferenceReach cells{extra.ref.row2, extra.ref.col2, true, false};
    if (FormulaSheet(formula) == sheet && EditCanAffect(cells, edit)) return true;
    ReferenceReach references = MeasureReferences(formula.Text());
    references.MaxRow += std::max(0, extra.ref.row2 - extra.masterRow);
    references.MaxColumn += std::max(0, extra.ref.col2 - extra.masterColumn);
    return EditCanAffect(references, edit);
  };
  std::vector<std::uint32_t> groups;
  for (std::uint32_t group : sharedFormulas_)
    if ((FormulaSheet(formulas_[group]) == sheet || formulas_[group].prefixed) && reached(group))
      groups.push_back(group);
  for (std::uint32_t group : groups) {
    XlsxWorksheet* on = FormulaSheet(formulas_[group]);
    const FormulaExtra extra = formulaExtras_.at(group);
    const std::string master(formulas_[group].Text());
    SheetCells& cells = on->Cells();
    for (auto it = cells.LowerBound(extra.ref.row1); it != cells.Rows().end() && it->number <= extra.ref.row2; ++it)
      for (Cell& cell : it->cells) {
        if (cell.formula != group) continue;
        cell.formula = AddFormula(on, TranslatedFormula(master, it->number - extra.masterRow,
                                                        cell.column - extra.masterColumn));
        if (!extra.attributes.empty()) FormulaExtraOf(cell.formula).attributes = extra.attributes;
        ReleaseFormula(group);  // one use fewer: the last one releases the entry
      }
    // Uses no cell holds any more (a cell the file wrote twice).
    if (formulas_[group].type == Formula::kShared && formulas_[group].sheet != 0) {
      formulaExtras_.at(group).uses = 1;
      ReleaseFormula(group);
    }
  }
}

FormulaIndex::Reach XlsxWorkbook::MeasureFormula(std::uint32_t index) {
  ReferenceReach reach = MeasureReferences(formulas_[index].Text());
  return FormulaIndex::Reach{reach.MaxRow, reach.MaxColumn};
}

const std::vector<std::uint32_t>& XlsxWorkbook::SpecialFormulas(const XlsxWorksheet* sheet) {
  std::vector<std::uint32_t>& list = specialFormulas_[sheet];
  list.erase(std::remove_if(list.begin(), list.end(),
                            [&](std::uint32_t index) {
                              const Formula& formula = formulas_[index];
                              return FormulaSheet(formula) != sheet || formula.type == Formula::kNormal;
                            }),
             list.end());
  return list;
}

AnchoredFormulas* XlsxWorkbook::AnchoredOn(const XlsxWorksheet* sheet) {
  auto it = anchored_.find(sheet);
  return it == anchored_.end() ? nullptr : &it->second;
}

AnchoredFormulas& XlsxWorkbook::Anchors(const XlsxWorksheet* sheet, bool rows) {
  return anchored_.try_emplace(sheet, rows).first->second;
}

void XlsxWorkbook::SettleFormula(std::uint32_t index) {
  Formula& formula = formulas_[index];
  if (!formula.anchored) return;
  XlsxWorksheet* sheet = FormulaSheet(formula);
  AnchoredFormulas& held = anchored_.at(sheet);
  formula.SetText(held.Release(index));
  formula.anchored = false;
  LocalFormulas(sheet).AddTo(held.Rows(), index, MeasureFormula(index));
}

void XlsxWorkbook::SettleFormulas(const XlsxWorksheet* sheet) {
  auto it = anchored_.find(sheet);
  if (it == anchored_.end()) return;
  const bool rows = it->second.Rows();
  FormulaIndex& index = LocalFormulas(sheet);
  for (auto& [id, text] : it->second.ReleaseAll()) {
    Formula& formula = formulas_[id];
    formula.SetText(text);
    formula.anchored = false;
    index.AddTo(rows, id, MeasureFormula(id));
  }
  anchored_.erase(sheet);
}

void XlsxWorkbook::SettleAllFormulas() {
  while (!anchored_.empty()) SettleFormulas(anchored_.begin()->first);
}

void XlsxWorkbook::ReleaseFormula(std::uint32_t index) {
  Formula& formula = formulas_[index];
  if (formula.sheet == 0) return;  // released already: the slot must not be freed twice
  if (formula.type == Formula::kShared) {
    if (--formulaExtras_.at(index).uses > 0) return;
    sharedFormulas_.erase(std::find(sharedFormulas_.begin(), sharedFormulas_.end(), index));
  }
  if (formula.anchored) {
    anchored_.at(FormulaSheet(formula)).Release(index);
    formula.anchored = false;
  }
  if (formula.extra) formulaExtras_.erase(index);
  formula = Formula();
  releasedFormulas_.push_back(index);
  // Index entries of released formulas are dropped in one pass once they are a good share of
  // the table, so that each release costs a constant amount on average.
  if (releasedFormulas_.size() >= std::max<std::size_t>(64, formulas_.size() / 8)) PurgeReleasedFormulas();
}

void XlsxWorkbook::PurgeReleasedFormulas() {
  auto gone = [&](std::uint32_t id) { return formulas_[id].sheet == 0; };
  for (auto& [sheet, index] : localFormulas_) index.RemoveIf(gone);
  prefixedFormulas_.RemoveIf(gone);
  for (auto& [sheet, list] : specialFormulas_)
    list.erase(std::remove_if(list.begin(), list.end(), gone), list.end());
  freeFormulas_.insert(freeFormulas_.end(), releasedFormulas_.begin(), releasedFormulas_.end());
  releasedFormulas_.clear();
}

const DefinedName* XlsxWorkbook::FindName(std::string_view name, const XlsxWorksheet* preferredScope) const {
  // "Sheet1!Name" addresses a sheet-level name.
  QualifiedText qualified = SplitSheetQualifier(name);
  if (qualified.qualified) {
    XlsxWorksheet* sheet = FindWorksheet(qualified.sheet);
    for (const auto& entry : definedNames_)
      if (entry.scope == sheet && sheet && NamesEqual(entry.name, qualified.rest)) return &entry;
    return nullptr;
  }
  const DefinedName* global = nullptr;
  const DefinedName* local = nullptr;
  const DefinedName* other = nullptr;
  for (const auto& entry : definedNames_) {
    if (!NamesEqual(entry.name, name) || entry.scopeLost) continue;
    if (preferredScope && entry.scope == preferredScope) local = &entry;
    else if (!entry.scope) global = &entry;
    else if (!other) other = &entry;
  }
  if (local) return local;
  if (global) return global;
  return other;
}

std::string XlsxWorkbook::NewPartName(const std::string& prefix, const std::string& extension) {
  int& next = nextPartNumber_[prefix + extension];
  for (int n = std::max(next, 1);; ++n) {
    std::string name = prefix + std::to_string(n) + extension;
    if (!parts_.Has(name) && !drawings_.count(name)) {
      next = n + 1;
      return name;
    }
  }
}

const platform::ApplicationSettings& XlsxWorkbook::Settings() const {
  static const platform::ApplicationSettings kDefaults;
  const auto* application = dynamic_cast<const XlsxApplication*>(application_.get());
  return application ? application->Settings() : kDefaults;
}

}  // namespace tabrix::xlsx
