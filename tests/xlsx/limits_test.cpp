// Limits that protect the host from hostile or broken inputs: each exceeded limit ends in a clear
// error that names the file, before the input can exhaust memory, disk or stack.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "component/run_context.h"
#include "definition/definition_file.h"
#include "xlsx/engine_errors.h"
#include "xlsx/blank_package.h"
#include "xlsx/xlsx_workbook.h"
#include "xlsx/xml_util.h"
#include "xlsx/zip_archive.h"
#include "fixtures/office_tools.h"
#include "fixtures/report_files.h"
#include "tabrix/error.h"
#include "tabrix/error_codes.h"
#include "tabrix/platform/spreadsheet.h"

namespace tabrix {
namespace {

using testing::TempFolder;

const std::string kSheetPart = "xl/worksheets/sheet1.xml";

std::string SheetXml(const std::string& sheetData, const std::string& after = "") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
         "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
         "<sheetData>" + sheetData + "</sheetData>" + after + "</worksheet>";
}

// A one-sheet workbook whose sheet part (and any further parts) are replaced.
std::string WriteWorkbook(const TempFolder& folder, const std::string& sheetXml,
                          const std::vector<std::pair<std::string, std::string>>& extraParts = {}) {
  xlsx::PackageParts parts = xlsx::BlankPackage("Sheet1");
  parts.Put(kSheetPart, sheetXml);
  for (const auto& [name, bytes] : extraParts) parts.Put(name, bytes);
  const std::string path = folder.File("template.xlsx");
  xlsx::WriteZipFile(path, parts, {});
  return path;
}

// The engine's error on opening `path`, or "" when it opens.
std::string OpenError(const std::string& path) {
  try {
    platform::CreateSpreadsheetApplication()->OpenWorkbook(path, true);
  } catch (const AutomationError& error) {
    EXPECT_EQ(error.Number(), xlsx::kErrApplicationDefined);
    EXPECT_NE(error.Description().find("'" + path + "'"), std::string::npos)
        << "the error names the file: " << error.Description();
    return error.Description();
  }
  return "";
}

std::string Nested(int depth) {
  std::string open, close;
  for (int i = 0; i < depth; ++i) {
    open += "<x>";
    close += "</x>";
  }
  return open + close;
}

TEST(PartLimits, XmlNestingDeeperThanTheLimitIsRefused) {
  TempFolder folder;
  // The worksheet element and sheetData already take two levels.
  const std::string deep = OpenError(WriteWorkbook(folder, SheetXml("", "<extLst>" + Nested(xlsx::kMaxXmlDepth) + "</extLst>")));
  EXPECT_NE(deep.find("the part xl/worksheets/sheet1.xml nests elements deeper than 256 levels"),
            std::string::npos) << deep;
  // Far deeper than any stack would take if something walked it recursively.
  const std::string deeper = OpenError(WriteWorkbook(folder, SheetXml("", Nested(200000))));
  EXPECT_NE(deeper.find("deeper than 256 levels"), std::string::npos) << deeper;
  // Just inside the limit the workbook opens.
  EXPECT_EQ(OpenError(WriteWorkbook(folder, SheetXml("", "<extLst>" + Nested(xlsx::kMaxXmlDepth - 3) + "</extLst>"))), "");
}

TEST(PartLimits, CellsAndRowsOutsideTheSheetAreRefused) {
  TempFolder folder;
  const std::string row = OpenError(WriteWorkbook(folder, SheetXml("<row r=\"1048577\"><c r=\"A1048577\"><v>1</v></c></row>")));
  EXPECT_NE(row.find("outside the sheet's limits"), std::string::npos) << row;
  const std::string column = OpenError(WriteWorkbook(folder, SheetXml("<row r=\"1\"><c r=\"XFE1\"><v>1</v></c></row>")));
  EXPECT_NE(column.find("outside the sheet's limits"), std::string::npos) << column;
  const std::string huge = OpenError(WriteWorkbook(folder, SheetXml("<row r=\"99999999999999999999\"><c><v>1</v></c></row>")));
  EXPECT_NE(huge, "");
  // The last cell of the sheet is fine.
  EXPECT_EQ(OpenError(WriteWorkbook(folder, SheetXml("<row r=\"1048576\"><c r=\"XFD1048576\"><v>1</v></c></row>"))), "");
}

TEST(PartLimits, TooManyPartsAreRefusedBeforeAnyIsRead) {
  TempFolder folder;
  const std::string path = folder.File("many.xlsx");
  int code = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  ASSERT_NE(archive, nullptr);
  for (std::uint64_t i = 0; i <= xlsx::kMaxPartCount; ++i) {
    zip_source_t* source = zip_source_buffer(archive, nullptr, 0, 0);
    const zip_int64_t index = zip_file_add(archive, ("p" + std::to_string(i)).c_str(), source, 0);
    ASSERT_GE(index, 0);
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
  }
  ASSERT_EQ(zip_close(archive), 0);
  const std::string error = OpenError(path);
  EXPECT_NE(error.find("too many entries"), std::string::npos) << error;
}

// A zip whose only entry declares an inflated size past the part limit (its data is an empty
// deflate stream: nothing is inflated before the size is checked).
TEST(PartLimits, AnEntryInflatingPastThePartLimitIsRefused) {
  TempFolder folder;
  const std::string path = folder.File("bomb.xlsx");
  testing::RunPython(R"PY(
import struct, sys, zipfile
path, size = sys.argv[1], int(sys.argv[2])
with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("xl/worksheets/sheet1.xml", b"")
data = bytearray(open(path, "rb").read())
struct.pack_into("<I", data, 22, size)  # the local header's uncompressed size
struct.pack_into("<I", data, data.rfind(b"PK\x01\x02") + 24, size)  # the central directory's
open(path, "wb").write(data)
)PY",
                     {path, std::to_string(xlsx::kMaxPartSize + 1)});
  const std::string error = OpenError(path);
  EXPECT_NE(error.find("the part xl/worksheets/sheet1.xml inflates past the size limit"), std::string::npos) << error;
}

TEST(PartLimits, ADamagedDrawingReadOnFirstUseIsAnEngineErrorNamingTheFile) {
  TempFolder folder;
  const std::string path = WriteWorkbook(
      folder, SheetXml("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>", "<drawing r:id=\"rId1\"/>"),
      {{"xl/worksheets/_rels/sheet1.xml.rels",
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/drawing\" "
        "Target=\"../drawings/drawing1.xml\"/></Relationships>"},
       {"xl/drawings/drawing1.xml", "<xdr:wsDr xmlns:xdr=\"x\"><xdr:twoCellAnchor></xdr:wsDr>"}});
  auto book = platform::CreateSpreadsheetApplication()->OpenWorkbook(path, true);
  auto sheet = book->WorksheetAt(1);
  // Inserting rows moves the drawing, which cannot be read.
  const AutomationError error = testing::CaughtError(
      [&] { sheet->InsertCells(platform::CellRect{1, 1, 1, platform::kMaxColumns}, platform::kShiftDown); });
  EXPECT_EQ(error.Number(), xlsx::kErrApplicationDefined);
  EXPECT_NE(error.Description().find("'" + path + "' has a damaged part: the part xl/drawings/drawing1.xml"),
            std::string::npos) << error.Description();
}

// (Packages that are no zip, hold malformed XML or lack the workbook part, through whole runs:
// tests/component/bad_inputs_test.cpp.)
TEST(PartLimits, AMissingPackageIsRefused) {
  TempFolder folder;
  EXPECT_NE(OpenError(folder.File("absent.xlsx")).find("does not exist"), std::string::npos);
}

// A sparse file of the given size: no disk blocks are written.
void MakeSparseFile(const std::string& path, std::uint64_t size, const std::string& head) {
  testing::WriteTextFile(path, head);
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
}

TEST(FileLimits, APictureFileOverTheLimitIsRefusedNamingIt) {
  TempFolder folder;
  const std::string path = WriteWorkbook(folder, SheetXml(""));
  auto book = platform::CreateSpreadsheetApplication()->OpenWorkbook(path, true);
  auto sheet = book->WorksheetAt(1);
  const std::string picture = folder.File("huge.png");
  MakeSparseFile(picture, xlsx::kMaxPictureFileBytes + 1, "\x89PNG\r\n\x1a\n");
  const AutomationError error = testing::CaughtError([&] { sheet->AddPicture(picture, false, true, 0, 0, -1, -1); });
  EXPECT_NE(error.Description().find("\"" + picture + "\" is larger than"), std::string::npos) << error.Description();
}

TEST(FileLimits, ADefinitionFileOverTheLimitIsAReadError) {
  TempFolder folder;
  const std::string path = folder.File("huge.def");
  MakeSparseFile(path, kMaxDefinitionFileBytes + 1, "Foliowright Version 2.0\r\n[File]\r\nReportFileName=a.xlsx\r\n");
  RunContext run;
  const AutomationError error = testing::CaughtError([&] { LoadDefinitionFile(run, path); });
  EXPECT_EQ(error.Number(), kErrDefinitionFileUnreadable);
  EXPECT_EQ(error.Description(), "Error in reading the file \"" + path + "\".");
}

}  // namespace
}  // namespace tabrix
