// The parts of a new workbook: content types, relationships, a workbook part with one sheet,
// empty styles (the style sheet fills in its defaults) and an empty worksheet.
#include "xlsx/blank_package.h"

#include "xlsx/package.h"
#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

namespace {

std::string XmlEscaped(std::string_view text) {
  std::string out;
  AppendEscaped(out, text, true);
  return out;
}

}  // namespace

PackageParts BlankPackage(const std::string& sheetName) {
  PackageParts parts;
  parts.Put("[Content_Types].xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
            "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
            "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
            "<Override PartName=\"/xl/workbook.xml\" ContentType=\"" + std::string(contenttype::kWorkbookXlsx) + "\"/>"
            "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"" + std::string(contenttype::kWorksheet) + "\"/>"
            "<Override PartName=\"/xl/styles.xml\" ContentType=\"" + std::string(contenttype::kStyles) + "\"/>"
            "</Types>");
  parts.Put("_rels/.rels",
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
            "<Relationship Id=\"rId1\" Type=\"" + std::string(reltype::kOfficeDocument) + "\" Target=\"xl/workbook.xml\"/>"
            "</Relationships>");
  parts.Put("xl/workbook.xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
            "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
            "<bookViews><workbookView activeTab=\"0\"/></bookViews>"
            "<sheets><sheet name=\"" + XmlEscaped(sheetName) + "\" sheetId=\"1\" r:id=\"rId1\"/></sheets>"
            "<calcPr calcId=\"191029\"/></workbook>");
  parts.Put("xl/_rels/workbook.xml.rels",
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
            "<Relationship Id=\"rId1\" Type=\"" + std::string(reltype::kWorksheet) + "\" Target=\"worksheets/sheet1.xml\"/>"
            "<Relationship Id=\"rId2\" Type=\"" + std::string(reltype::kStyles) + "\" Target=\"styles.xml\"/>"
            "</Relationships>");
  parts.Put("xl/styles.xml", "");
  parts.Put("xl/worksheets/sheet1.xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
            "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
            "<sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\"/></sheetViews>"
            "<sheetFormatPr defaultRowHeight=\"15\"/><sheetData/>"
            "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/>"
            "</worksheet>");
  return parts;
}

}  // namespace tabrix::xlsx
