// A workbook of the native engine: the object model's Workbook over an .xlsx package held in
// memory, with the tables its worksheets share (strings, styles, formulas, defined names).
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tabrix/platform/spreadsheet.h"
#include "xlsx/defined_name.h"
#include "xlsx/anchored_formulas.h"
#include "xlsx/drawing_part.h"
#include "xlsx/engine_work.h"
#include "xlsx/file_formats.h"
#include "xlsx/formula.h"
#include "xlsx/formula_index.h"
#include "xlsx/held_references.h"
#include "xlsx/package.h"
#include "xlsx/zip_archive.h"
#include "xlsx/string_table.h"
#include "xlsx/style_sheet.h"
#include "xlsx/xlsx_names.h"
#include "xlsx/xlsx_worksheet.h"

namespace tabrix::xlsx {

// A sheet entry of the workbook: a worksheet, or another kind of sheet kept as it is.
struct SheetEntry {
  std::string name;
  std::string relId;
  std::shared_ptr<XlsxWorksheet> worksheet;  // nullptr for chart sheets and others
};

class XlsxWorkbook final : public platform::Workbook {
 public:
  XlsxWorkbook(std::shared_ptr<platform::Application> application, std::string fullName);
  ~XlsxWorkbook() override;

  // Opens the file at `path` (.xlsx/.xlsm/.xltx/.xltm, or a text file) into a new workbook.
  // `readPackage` reads the parts of a zip package (empty: ReadZipFile).
  static std::shared_ptr<XlsxWorkbook> Open(std::shared_ptr<platform::Application> application,
                                            const std::string& path,
                                            const std::function<PackageParts(const std::string&)>& readPackage = {});
  // A new workbook of one empty sheet.
  static std::shared_ptr<XlsxWorkbook> CreateBlank(std::shared_ptr<platform::Application> application,
                                                   const std::string& sheetName);

  // platform::Workbook
  std::string FullName() const override { return fullName_; }
  std::string Name() const override;
  std::int32_t FileFormat() const override { return fileFormat_; }
  void SaveAs(const std::string& path, std::optional<std::int32_t> fileFormat,
              int accessMode = platform::kAccessModeNoChange) override;
  std::int32_t WorksheetCount() override;
  std::shared_ptr<platform::Worksheet> WorksheetAt(std::int32_t index) override;
  std::shared_ptr<platform::Worksheet> WorksheetByName(std::string_view name) override;
  std::shared_ptr<platform::Worksheet> ActiveSheet() override;
  platform::Names& GetNames() override { return names_; }
  std::shared_ptr<platform::Application> GetApplication() override { return application_; }
  // The settings of the engine application the workbook belongs to (defaults without one).
  const platform::ApplicationSettings& Settings() const;

  // Engine internals shared by the worksheets.
  StringTable& Strings() { return strings_; }
  // Drops the string-table entries no cell uses and renumbers the cells' texts. Called where no
  // string index is held outside the cells: between edits and before saving.
  void ReclaimStrings();
  // The same once the table has doubled since the last time, so that the cost per text added
  // stays constant while replaced texts do not pile up.
  void ReclaimStringsIfGrown() {
    if (strings_.Size() >= reclaimStringsAt_) ReclaimStrings();
  }
  StyleSheet& Styles() { return styles_; }
  std::vector<Formula>& Formulas() { return formulas_; }
  // Adds a formula of a sheet and indexes it by the rows and columns it reaches.
  std::uint32_t AddFormula(XlsxWorksheet* sheet, std::string text);
  void ReleaseFormula(std::uint32_t index);
  // Formulas of a sheet whose references name no sheet, and formulas (of any sheet) with
  // sheet-qualified references.
  FormulaIndex& LocalFormulas(const XlsxWorksheet* sheet) { return localFormulas_[sheet]; }
  FormulaIndex& PrefixedFormulas() { return prefixedFormulas_; }
  // Measures a formula's reach; used after its text changed.
  FormulaIndex::Reach MeasureFormula(std::uint32_t index);
  // The sheet's formulas held by anchors while entire rows (columns) are inserted; nullptr
  // when it has none. Anchors creates the set.
  AnchoredFormulas* AnchoredOn(const XlsxWorksheet* sheet);
  AnchoredFormulas& Anchors(const XlsxWorksheet* sheet, bool rows);
  // Gives anchored formulas their text again and indexes them by row (one formula, the
  // formulas of one sheet, every formula).
  void SettleFormula(std::uint32_t index);
  void SettleFormulas(const XlsxWorksheet* sheet);
  void SettleAllFormulas();
  // A formula's text as things are now.
  std::string_view FormulaText(std::uint32_t index) {
    if (formulas_[index].anchored) SettleFormula(index);
    return formulas_[index].Text();
  }
  // The formula text of the cell at (row, column) that holds formula `index`.
  std::string CellFormulaText(std::uint32_t index, std::int32_t row, std::int32_t column);
  // A shared formula read from a file: one entry for the cells of `ref` that hold it, the
  // master at (row, column). Each cell that takes it counts a use (the master one at once); the
  // entry is released with its last use. Not indexed: an edit that can reach it splits it first.
  std::uint32_t AddSharedFormula(XlsxWorksheet* sheet, std::string_view text, CellRect ref, std::int32_t row,
                                 std::int32_t column);
  void UseSharedFormula(std::uint32_t index) { ++formulaExtras_.at(index).uses; }
  // Gives every cell of a shared formula a formula of its own where `edit` of `sheet` can move
  // its cells or change its references (groups on `sheet` or with sheet-qualified references).
  void SplitSharedFormulas(const XlsxWorksheet* sheet, const SheetEdit& edit);
  // The sheet a formula lives on (nullptr once released), and the number formulas know a sheet by.
  XlsxWorksheet* FormulaSheet(const Formula& formula) const { return formulaSheets_[formula.sheet]; }
  std::uint16_t FormulaSheetNumber(const XlsxWorksheet* sheet);
  // The range and attributes of formulas that have them (array formulas, attributes kept from
  // the file); FormulaExtraOf creates the entry.
  const FormulaExtra* FindFormulaExtra(std::uint32_t index) const {
    if (!formulas_[index].extra) return nullptr;
    return &formulaExtras_.find(index)->second;
  }
  FormulaExtra& FormulaExtraOf(std::uint32_t index) {
    formulas_[index].extra = true;
    return formulaExtras_[index];
  }
  // The cells an array or data-table formula covers.
  CellRect FormulaRef(std::uint32_t index) const {
    const FormulaExtra* extra = FindFormulaExtra(index);
    return extra ? extra->ref : CellRect{};
  }
  std::vector<DefinedName>& DefinedNames() { return definedNames_; }
  const DefinedName* FindName(std::string_view name, const XlsxWorksheet* preferredScope) const;
  XlsxWorksheet* FindWorksheet(std::string_view name) const;
  std::vector<std::shared_ptr<XlsxWorksheet>> Worksheets() const;
  PackageParts& Parts() { return parts_; }
  ContentTypes& Types() { return contentTypes_; }
  DrawingPart* LoadDrawing(const std::string& partName);
  // The media part holding these picture bytes, added on first use (once per distinct picture).
  std::string EmbedMedia(const std::string& bytes, const std::string& extension, const std::string& contentType);
  // A part name not used yet: "xl/media/image" + n + extension.
  std::string NewPartName(const std::string& prefix, const std::string& extension);
  void SetActive(XlsxWorksheet* sheet);
  void RemoveSheet(XlsxWorksheet* sheet);
  // Parsed XML of a part that references cells (charts, tables), loaded once and saved back.
  pugi::xml_document* EditablePart(const std::string& partName);

  // Parts outside the sheets that hold cell references (charts, pivot caches), parsed once:
  // their formula elements and pivot sources.
  struct ReferenceNodes {
    std::vector<pugi::xml_node> formulas;
    std::vector<pugi::xml_node> pivotSources;
  };
  std::map<std::string, ReferenceNodes>& ReferencingParts();
  // The references of names, charts, rule formulas, hyperlinks and comments, held parsed while
  // the sheets are edited (collected on first use). Settle writes their texts into the XML;
  // Forget does too and drops them, before anything else changes those texts or their nodes.
  HeldReferences& Held();
  void SettleHeldReferences();
  void ForgetHeldReferences();

  // Writes the package as .xlsx-family bytes into a zip file at `path`.
  void WritePackage(const std::string& path, std::int32_t format);
  bool Date1904() const { return date1904_; }
  // Array and data-table formulas by sheet, noted as they are added (their ranges move with
  // edits of their sheet). Released formulas leave the list at the next SpecialFormulas.
  void NoteSpecialFormula(std::uint32_t index) { specialFormulas_[FormulaSheet(formulas_[index])].push_back(index); }
  const std::vector<std::uint32_t>& SpecialFormulas(const XlsxWorksheet* sheet);
  // What structural edits and copies have visited so far.
  EngineWork& Work() { return work_; }

 private:
  void LoadPackage(PackageParts parts);
  void LoadText(const std::string& path, std::int32_t format);
  void LoadDefinedNames();
  void SaveWorkbookXml(std::int32_t format);
  void SaveSharedStrings(std::vector<std::uint32_t>& remap);
  void WriteTextFile(const std::string& path, std::int32_t format);

  std::shared_ptr<platform::Application> application_;
  std::string fullName_;
  std::string openedPath_;  // the file the workbook was opened from: never written
  std::int32_t fileFormat_ = kFormatXlsx;
  bool date1904_ = false;
  PackageParts parts_;
  ContentTypes contentTypes_;
  std::string workbookPart_;
  pugi::xml_document workbookXml_;
  Relationships workbookRels_;
  StringTable strings_;
  std::size_t reclaimStringsAt_ = 1 << 16;
  StyleSheet styles_;
  std::string stylesPart_;
  std::string sharedStringsPart_;
  std::vector<Formula> formulas_;
  std::unordered_map<std::uint32_t, FormulaExtra> formulaExtras_;
  std::vector<std::uint32_t> sharedFormulas_;
  std::vector<XlsxWorksheet*> formulaSheets_{nullptr};  // by formula sheet number; 0: none
  // Released formula slots: `released` may still be named by index entries until the next
  // purge; `freeFormulas_` are reused by AddFormula.
  std::vector<std::uint32_t> releasedFormulas_, freeFormulas_;
  void PurgeReleasedFormulas();
  // Puts a formula into a free slot of the table, or a new one; returns its index.
  std::uint32_t PlaceFormula(Formula formula);
  std::map<const XlsxWorksheet*, FormulaIndex> localFormulas_;
  FormulaIndex prefixedFormulas_;
  std::map<const XlsxWorksheet*, AnchoredFormulas> anchored_;
  std::vector<SheetEntry> sheets_;
  std::vector<DefinedName> definedNames_;
  XlsxWorksheet* active_ = nullptr;
  XlsxNames names_{this};
  std::map<std::string, std::unique_ptr<DrawingPart>> drawings_;
  std::map<std::string, std::unique_ptr<pugi::xml_document>> editedParts_;
  std::optional<std::map<std::string, ReferenceNodes>> referencingParts_;
  std::unique_ptr<HeldReferences> held_;
  std::map<const XlsxWorksheet*, std::vector<std::uint32_t>> specialFormulas_;
  EngineWork work_;
  std::map<std::size_t, std::string> media_;  // picture content hash -> media part
  std::map<std::string, int> nextPartNumber_;
};

}  // namespace tabrix::xlsx
