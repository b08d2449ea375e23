// Package plumbing: part names, relationships and content types.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace tabrix::xlsx {

namespace reltype {
inline constexpr const char* kOfficeDocument =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
inline constexpr const char* kWorksheet =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
inline constexpr const char* kSharedStrings =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings";
inline constexpr const char* kStyles =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
inline constexpr const char* kDrawing =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/drawing";
inline constexpr const char* kImage =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
inline constexpr const char* kChart =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/chart";
inline constexpr const char* kHyperlink =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink";
inline constexpr const char* kTable =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/table";
inline constexpr const char* kCalcChain =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/calcChain";
inline constexpr const char* kComments =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/comments";
inline constexpr const char* kVbaProject =
    "http://schemas.microsoft.com/office/2006/relationships/vbaProject";
inline constexpr const char* kPivotCacheDefinition =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/pivotCacheDefinition";
}  // namespace reltype

namespace contenttype {
inline constexpr const char* kWorkbookXlsx =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml";
inline constexpr const char* kWorkbookXlsm = "application/vnd.ms-excel.sheet.macroEnabled.main+xml";
inline constexpr const char* kWorkbookXltx =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml";
inline constexpr const char* kWorkbookXltm = "application/vnd.ms-excel.template.macroEnabled.main+xml";
inline constexpr const char* kWorksheet =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
inline constexpr const char* kSharedStrings =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml";
inline constexpr const char* kStyles =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml";
inline constexpr const char* kDrawing = "application/vnd.openxmlformats-officedocument.drawing+xml";
inline constexpr const char* kRelationships = "application/vnd.openxmlformats-package.relationships+xml";
}  // namespace contenttype

// Relationship part of a part: "xl/workbook.xml" -> "xl/_rels/workbook.xml.rels".
std::string RelationshipsPartName(std::string_view partName);
// Folder of a part: "xl/worksheets/sheet1.xml" -> "xl/worksheets/".
std::string PartFolder(std::string_view partName);
// Target of a relationship of `sourcePart` as a part name ("../media/a.png" from
// "xl/drawings/drawing1.xml" -> "xl/media/a.png"; "/xl/x.xml" -> "xl/x.xml").
std::string ResolvePartTarget(std::string_view sourcePart, std::string_view target);
// Target text that reaches `targetPart` from `sourcePart` ("xl/media/a.png" from
// "xl/drawings/drawing1.xml" -> "../media/a.png").
std::string RelativeTarget(std::string_view sourcePart, std::string_view targetPart);

struct Relationship {
  std::string id, type, target;
  bool external = false;
};

// The relationships of one part.
class Relationships {
 public:
  void Load(const std::string& bytes, const std::string& partName);
  std::string Serialize() const;

  const std::vector<Relationship>& All() const { return items_; }
  const Relationship* FindById(std::string_view id) const;
  // First relationship whose type ends with the last path segment of `type`.
  const Relationship* FindByType(std::string_view type) const;
  // Adds a relationship with a new "rIdN" id and returns the id.
  std::string Add(std::string type, std::string target, bool external = false);
  void Remove(std::string_view id);
  bool Empty() const { return items_.empty(); }

 private:
  std::vector<Relationship> items_;
  int nextId_ = 1;  // new ids are "rId" + a number above every id given so far
};

// True when the relationship type names `type` (compares the last path segment, so the strict
// and transitional namespaces both match).
bool RelationshipTypeIs(std::string_view actual, std::string_view type);

// [Content_Types].xml.
class ContentTypes {
 public:
  void Load(const std::string& bytes);
  std::string Serialize() const;

  std::string TypeOf(std::string_view partName) const;
  void SetOverride(std::string_view partName, std::string_view type);
  void RemoveOverride(std::string_view partName);
  void EnsureDefault(std::string_view extension, std::string_view type);

 private:
  pugi::xml_document doc_;
};

}  // namespace tabrix::xlsx
