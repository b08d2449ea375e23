// Deleting sheets and protecting them.
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstring>

#include "xlsx/engine_errors.h"
#include "xlsx/formula_references.h"
#include "xlsx/utf16.h"
#include "xlsx/xlsx_workbook.h"
#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

namespace {

std::string Base64(const unsigned char* data, std::size_t size) {
  std::string out(4 * ((size + 2) / 3) + 1, '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data, static_cast<int>(size));
  out.resize(static_cast<std::size_t>(n));
  return out;
}


}  // namespace

std::string SheetPasswordHash(const std::string& password, const unsigned char salt[16], std::uint32_t spinCount) {
  unsigned char hash[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  std::string utf16 = Utf16Le(password);
  EVP_DigestInit_ex(context, EVP_sha512(), nullptr);
  EVP_DigestUpdate(context, salt, 16);
  EVP_DigestUpdate(context, utf16.data(), utf16.size());
  EVP_DigestFinal_ex(context, hash, &length);
  for (std::uint32_t i = 0; i < spinCount; ++i) {
    unsigned char counter[4] = {static_cast<unsigned char>(i), static_cast<unsigned char>(i >> 8),
                                static_cast<unsigned char>(i >> 16), static_cast<unsigned char>(i >> 24)};
    EVP_DigestInit_ex(context, EVP_sha512(), nullptr);
    EVP_DigestUpdate(context, hash, length);
    EVP_DigestUpdate(context, counter, 4);
    EVP_DigestFinal_ex(context, hash, &length);
  }
  EVP_MD_CTX_free(context);
  return Base64(hash, length);
}

void XlsxWorksheet::Protect(const std::optional<std::string>& password) {
  CheckAlive();
  pugi::xml_node node = EnsureChild("sheetProtection");
  while (node.first_attribute()) node.remove_attribute(node.first_attribute());
  if (password && !password->empty()) {
    unsigned char salt[16];
    if (RAND_bytes(salt, sizeof salt) != 1) RaiseEngineError("Method 'Protect' of object '_Worksheet' failed");
    constexpr std::uint32_t kSpinCount = 100000;
    node.append_attribute("algorithmName") = "SHA-512";
    node.append_attribute("hashValue") = SheetPasswordHash(*password, salt, kSpinCount).c_str();
    node.append_attribute("saltValue") = Base64(salt, sizeof salt).c_str();
    node.append_attribute("spinCount") = kSpinCount;
  }
  node.append_attribute("sheet") = 1;
  node.append_attribute("objects") = 1;
  node.append_attribute("scenarios") = 1;
}

bool XlsxWorksheet::IsProtected() const {
  pugi::xml_node node = ChildByLocalName(xml_.document_element(), "sheetProtection");
  std::string_view sheet = node.attribute("sheet").value();
  return node && (sheet == "1" || sheet == "true");
}

void XlsxWorkbook::RemoveSheet(XlsxWorksheet* sheet) {
  std::size_t position = sheets_.size();
  std::size_t visibleWorksheets = 0;
  pugi::xml_node sheetsNode = ChildByLocalName(workbookXml_.document_element(), "sheets");
  for (std::size_t i = 0; i < sheets_.size(); ++i) {
    if (sheets_[i].worksheet.get() == sheet) position = i;
  }
  if (position == sheets_.size()) RaiseMethodFailed("Delete", "_Worksheet");
  for (pugi::xml_node node : sheetsNode.children()) {
    std::string_view state = node.attribute("state").value();
    if (state != "hidden" && state != "veryHidden") ++visibleWorksheets;
  }
  if (visibleWorksheets <= 1)
    RaiseEngineError("Method 'Delete' of object '_Worksheet' failed: a workbook must contain at least one visible worksheet.");

  const std::string deletedName = sheet->Name();
  ForgetHeldReferences();
  // References into the deleted sheet become #REF! everywhere.
  std::string changed;
  for (auto& entry : sheets_) {
    if (!entry.worksheet || entry.worksheet.get() == sheet) continue;
    for (Row& row : entry.worksheet->Cells().Rows())
      for (Cell& cell : row.cells)
        if (cell.HasFormula() && formulas_[cell.formula].prefixed &&
            RemoveSheetReferences(formulas_[cell.formula].Text(), deletedName, changed))
          formulas_[cell.formula].SetText(changed);
  }
  // Chart series over the deleted sheet lose their source too.
  for (auto& [partName, nodes] : ReferencingParts()) {
    (void)partName;
    for (pugi::xml_node node : nodes.formulas)
      if (RemoveSheetReferences(node.text().get(), deletedName, changed)) node.text().set(changed.c_str());
  }
  std::vector<DefinedName> kept;
  for (DefinedName& name : definedNames_) {
    if (name.scope == sheet) continue;
    if (name.scopeLost && name.rawScope > static_cast<std::int32_t>(position)) --name.rawScope;
    if (RemoveSheetReferences(name.formula, deletedName, changed)) name.formula = changed;
    kept.push_back(std::move(name));
  }
  definedNames_.swap(kept);
  for (Row& row : sheet->Cells().Rows())
    for (Cell& cell : row.cells)
      if (cell.HasFormula()) ReleaseFormula(cell.formula);
  localFormulas_.erase(sheet);
  formulaSheets_[FormulaSheetNumber(sheet)] = nullptr;
  anchored_.erase(sheet);
  specialFormulas_.erase(sheet);

  // The package: sheet entry, relationship, content type, part.
  for (pugi::xml_node node : sheetsNode.children())
    if (std::string_view(RelationshipIdAttribute(node).value()) == sheet->RelationshipId()) {
      sheetsNode.remove_child(node);
      break;
    }
  workbookRels_.Remove(sheet->RelationshipId());
  contentTypes_.RemoveOverride(sheet->PartName());
  parts_.Remove(sheet->PartName());
  parts_.Remove(RelationshipsPartName(sheet->PartName()));

  auto keepAlive = sheets_[position].worksheet;
  sheets_.erase(sheets_.begin() + static_cast<std::ptrdiff_t>(position));
  if (active_ == sheet) {
    active_ = nullptr;
    for (std::size_t i = position; i < sheets_.size() && !active_; ++i)
      if (sheets_[i].worksheet) active_ = sheets_[i].worksheet.get();
    for (std::size_t i = position; i-- > 0 && !active_;)
      if (sheets_[i].worksheet) active_ = sheets_[i].worksheet.get();
  }
  sheet->Detach();
  sheet->Cells() = SheetCells();
}

}  // namespace tabrix::xlsx
