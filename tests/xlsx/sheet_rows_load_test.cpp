// Reading a worksheet's rows in slices: sheets larger than one slice, with the markup that can
// mislead a splitter, read the same values as written; what the slices cannot settle is read
// from the whole part and broken parts fail with the whole part's parse error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/office_tools.h"
#include "tabrix/error.h"
#include "tabrix/platform/spreadsheet.h"
#include "xlsx/blank_package.h"
#include "xlsx/sheet_xml_splitter.h"
#include "xlsx/xml_util.h"
#include "xlsx/zip_archive.h"

namespace tabrix {
namespace {

using testing::TempFolder;

const std::string kSheetPart = "xl/worksheets/sheet1.xml";
constexpr int kRows = 40000;  // about 12 MB of rows: several slices, inflated as they are read

std::string WriteWorkbook(const TempFolder& folder, const std::string& sheetXml) {
  xlsx::PackageParts parts = xlsx::BlankPackage("Sheet1");
  parts.Put(kSheetPart, sheetXml);
  const std::string path = folder.File("rows.xlsx");
  xlsx::WriteZipFile(path, parts, {});
  return path;
}

// A prefixed sheet whose rows hold what a splitter must not take for the end of a row: comments
// and CDATA holding end tags, '>' in attribute values, rich inline text, rows and cells without
// positions, a shared formula whose dependents are many slices away from its master, and a
// row given again out of order at the end. `before` and `broken` go before the root element and
// in the place of one row.
std::string LargeSheet(const std::string& before = "", const std::string& broken = "") {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + before +
                    "<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                    "<x:dimension ref=\"A1\"/><x:sheetData>\n";
  for (int r = 1; r <= kRows; ++r) {
    const std::string n = std::to_string(r);
    if (!broken.empty() && r == kRows / 2) {
      xml += broken;
      continue;
    }
    xml += r % 7 == 0 ? "<x:row>" : "<x:row r=\"" + n + "\" x:note=\"a>b '</x:row>'\">";
    xml += "<x:c r=\"A" + n + "\"><x:v>" + n + "</x:v></x:c>";
    xml += r % 5 == 0 ? "<x:c><x:v><![CDATA[" + n + "]]></x:v></x:c>" : "<x:c><x:v>" + n + "</x:v></x:c>";
    xml += r == 1 ? "<x:c r=\"C1\"><x:f t=\"shared\" ref=\"C1:C" + std::to_string(kRows) + "\" si=\"0\">A1*2</x:f></x:c>"
                  : "<x:c r=\"C" + n + "\"><x:f t=\"shared\" si=\"0\"/><x:v>0</x:v></x:c>";
    xml += "<x:c r=\"D" + n + "\" t=\"inlineStr\"><x:is><x:r><x:rPr><x:b/></x:rPr><x:t>bold</x:t></x:r>"
           "<x:r><x:t xml:space=\"preserve\"> " + n + "</x:t></x:r></x:is></x:c>";
    xml += "</x:row>";
    if (r % 1000 == 0) xml += "<!-- </x:row></x:sheetData> --><?pi </x:sheetData>?>\n";
  }
  xml += "<x:row r=\"3\"><x:c r=\"F3\" t=\"inlineStr\"><x:is><x:t>late</x:t></x:is></x:c></x:row>";
  xml += "</x:sheetData><x:pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" "
         "footer=\"0.3\"/></x:worksheet>";
  return xml;
}

// The slices put back into the rest where the rows were give the part again; every slice is
// whole rows, whatever the sizes of the pieces fed.
TEST(SheetRowsLoad, SlicesAndRestMakeThePart) {
  const std::string xml = LargeSheet();
  const std::string open = "<x:sheetData>";
  const std::size_t contentStart = xml.find(open) + open.size();
  for (std::size_t piece : {std::size_t{7}, std::size_t{65536}, xml.size()}) {
    SCOPED_TRACE(piece);
    std::string rows;
    int slices = 0;
    xlsx::SheetXmlSplitter splitter([&](std::string_view slice, std::uint64_t offset) {
      EXPECT_EQ(offset, contentStart + rows.size());
      pugi::xml_document doc;
      EXPECT_TRUE(xlsx::TryParseXml(doc, slice, pugi::parse_fragment, 64));
      rows += slice;
      ++slices;
      return true;
    });
    for (std::size_t at = 0; at < xml.size(); at += piece) ASSERT_TRUE(splitter.Feed(std::string_view(xml).substr(at, piece)));
    ASSERT_TRUE(splitter.Finish());
    EXPECT_GT(slices, 3);
    std::string joined = splitter.Rest();
    joined.insert(contentStart, rows);
    EXPECT_EQ(joined, xml);
  }
  // What the splitter leaves to pugixml: a document type, another encoding, rows never closed.
  for (const std::string& odd : {LargeSheet("<!DOCTYPE worksheet>"),
                                 "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + LargeSheet().substr(38),
                                 LargeSheet().substr(0, 2000000)}) {
    xlsx::SheetXmlSplitter splitter([](std::string_view, std::uint64_t) { return true; });
    EXPECT_FALSE(splitter.Feed(odd) && splitter.Finish()) << odd.substr(0, 80);
  }
}

TEST(SheetRowsLoad, RowsAcrossSlicesReadAsWritten) {
  TempFolder folder;
  auto application = platform::CreateSpreadsheetApplication();
  // The second sheet has a document type declaration and is read whole.
  for (const std::string& before : {std::string(), std::string("<!DOCTYPE worksheet>")}) {
    auto book = application->OpenWorkbook(WriteWorkbook(folder, LargeSheet(before)), true);
    auto sheet = book->WorksheetAt(1);
    for (int r : {1, 3, 5, 7, 1000, 1001, 20000, 34999, kRows}) {
      const std::string n = std::to_string(r);
      SCOPED_TRACE(before + " row " + n);
      EXPECT_EQ(sheet->GetValue(r, 1).Number(), r);
      EXPECT_EQ(sheet->GetValue(r, 2).Number(), r);
      EXPECT_EQ(sheet->CellFormula(r, 3).value_or(""), "=A" + n + "*2");
      EXPECT_EQ(sheet->GetValue(r, 4).Text(), "bold " + n);
    }
    EXPECT_EQ(sheet->GetValue(3, 6).Text(), "late");
    EXPECT_TRUE(sheet->GetValue(4, 6).IsEmpty());
    EXPECT_TRUE(sheet->GetValue(kRows + 1, 1).IsEmpty());
  }
}

std::string Nested(int depth) {
  std::string deep;
  for (int i = 0; i < depth; ++i) deep = "<x>" + deep + "</x>";
  return deep;
}

TEST(SheetRowsLoad, BrokenPartsFailWithTheWholePartsParseError) {
  TempFolder folder;
  auto application = platform::CreateSpreadsheetApplication();
  struct Case {
    const char* what;
    std::string xml;
  };
  const std::vector<Case> cases = {
      {"a row whose cell is not closed", LargeSheet("", "<x:row><x:c><x:v>1</x:v></x:row>")},
      {"an end tag too many", LargeSheet("", "<x:row></x:row></x:row>")},
      {"a start tag that never ends", LargeSheet("", "<x:row r=\"5\" x:a=\"></x:row>")},
      {"text after the root", LargeSheet() + "<x:extra>"},
      {"sheet data never closed", LargeSheet().substr(0, 3000000)},
      {"rows nested too deep", LargeSheet("", Nested(300))},
      {"nesting too deep at the end of the rows", "<worksheet><sheetData>" + Nested(300) + "</sheetData></worksheet>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    pugi::xml_document whole;
    std::string expected;
    try {
      xlsx::ParseXml(whole, c.xml, kSheetPart);
    } catch (const std::runtime_error& error) {
      expected = error.what();
    }
    ASSERT_NE(expected, "");
    const std::string path = WriteWorkbook(folder, c.xml);
    try {
      application->OpenWorkbook(path, true);
      ADD_FAILURE() << "opened";
    } catch (const AutomationError& error) {
      EXPECT_NE(error.Description().find(expected), std::string::npos) << error.Description();
    }
  }
  // Compressed bytes damaged in the middle of the sheet part.
  const std::string path = WriteWorkbook(folder, LargeSheet());
  std::string zip = testing::ReadTextFile(path);
  ASSERT_GT(zip.size(), 100000u);
  zip[zip.size() / 2] ^= 0x55;
  testing::WriteTextFile(path, zip);
  try {
    application->OpenWorkbook(path, true);
    ADD_FAILURE() << "opened";
  } catch (const AutomationError& error) {
    EXPECT_NE(error.Description().find("the part " + kSheetPart + " is damaged"), std::string::npos)
        << error.Description();
  }
}

}  // namespace
}  // namespace tabrix
