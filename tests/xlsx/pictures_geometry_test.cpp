// Pictures added from real image files and the cell geometry they are placed by.
#include <gtest/gtest.h>


#include "xlsx/sheet_layout.h"
#include "xlsx/xlsx_workbook.h"
#include "fixtures/office_tools.h"
#include "fixtures/report_files.h"
#include "fixtures/required_tools.h"
#include "tabrix/error.h"
#include "template_factory.h"

namespace tabrix::xlsx {
namespace {

using platform::CellRect;
using testing::Matches;
using testing::TempFolder;

// Pictures in four formats made with PIL: name -> (pixels, dpi).
void MakePictures(const std::string& folder) {
  testing::RunPython(R"PY(
import sys
from PIL import Image
d = sys.argv[1]
Image.new("RGB", (200, 100), "blue").save(d + "/wide.png", dpi=(96, 96))
Image.new("RGB", (150, 75), "green").save(d + "/photo.jpg", dpi=(144, 144))
Image.new("P", (30, 30)).save(d + "/icon.gif")
Image.new("RGB", (64, 32), "red").save(d + "/plain.bmp")
open(d + "/fake.png", "w").write("not a picture")
)PY",
                     {folder});
}

// Column widths, row heights and merged areas in points: the growing table's pictures over a
// merged area (fill tests) and the anchors below, which follow from 48-point columns and 15-point
// rows.
TEST(PicturesGeometry, AddPictureEmbedsEachFormatSizedAndAnchoredByPlacement) {
  TempFolder folder;
  MakePictures(folder.Path());
  auto book = platform::CreateSpreadsheetApplication()->OpenWorkbook(test::MakeReportTemplate(folder.Path()), true);
  auto summary = book->WorksheetByName("Summary");  // a sheet without a drawing yet

  // Own size: pixels at the file's resolution.
  auto wide = summary->AddPicture(folder.File("wide.png"), false, true, summary->CellLeft(3), summary->CellTop(4), 10, 10);
  wide->ScaleHeight(1, true);
  wide->ScaleWidth(1, true);
  EXPECT_DOUBLE_EQ(wide->Width(), 150);
  EXPECT_DOUBLE_EQ(wide->Height(), 75);
  wide->SetPlacement(platform::kPlacementMove);
  // Width given: the height follows in proportion.
  auto photo = summary->AddPicture(folder.File("photo.jpg"), false, true, 0, 200, 10, 10);
  photo->ScaleWidth(1, true);
  EXPECT_DOUBLE_EQ(photo->Width(), 75);  // 150 pixels at 144 dpi
  double factor = 30 / photo->Width();
  photo->SetWidth(30);
  photo->ScaleHeight(factor, true);
  EXPECT_DOUBLE_EQ(photo->Height(), 15);  // 37.5 * 30 / 75
  photo->SetPlacement(platform::kPlacementFreeFloating);
  auto icon = summary->AddPicture(folder.File("icon.gif"), false, true, 0, 300, -1, -1);
  EXPECT_DOUBLE_EQ(icon->Width(), 22.5);
  auto bmp = summary->AddPicture(folder.File("plain.bmp"), false, true, 0, 400, 64, 32);
  EXPECT_EQ(bmp->Placement(), platform::kPlacementMoveAndSize);

  // Rows inserted above the pictures move them by their placement: the one-cell picture
  // keeps its size, the free-floating one stays. On the sheet whose template has a drawing
  // (a chart at F2, a picture at F10) a picture below an insertion moves and the template's
  // anchors above it keep their text as it was.
  auto data = book->WorksheetByName("Data");
  data->AddPicture(folder.File("plain.bmp"), false, true, data->CellLeft(2), data->CellTop(20), 30, 10);
  data->InsertCells(CellRect{15, 1, 16, platform::kMaxColumns}, platform::kShiftDown);
  summary->InsertCells(CellRect{1, 1, 2, platform::kMaxColumns}, platform::kShiftDown);

  for (const char* bad : {"missing.png", "fake.png"}) {
    const AutomationError e = testing::CaughtError([&] { summary->AddPicture(folder.File(bad), false, true, 0, 0, 10, 10); });
    EXPECT_EQ(e.Number(), 1004);
    EXPECT_NE(e.Description().find(bad), std::string::npos) << e.Description();
  }

  const std::string output = testing::Saved(book, folder.File("pictures.xlsx"));
  std::string types = testing::ReadZipPart(output, "[Content_Types].xml");
  for (const char* extension : {"png", "jpeg", "gif", "bmp"})
    EXPECT_NE(types.find("Extension=\"" + std::string(extension) + "\""), std::string::npos) << extension;
  std::string sheetRels = testing::ReadZipPart(output, "xl/worksheets/_rels/sheet2.xml.rels");
  std::string drawingName = Matches(sheetRels, "Target=\"../drawings/([^\"]+)\"").at(0);
  std::string drawing = testing::ReadZipPart(output, "xl/drawings/" + drawingName);
  EXPECT_EQ(Matches(drawing, "editAs=\"(\\w+)\""), (std::vector<std::string>{"oneCell", "absolute", "twoCell", "twoCell"}));
  // The wide picture starts at C4 (0-based 2, 3) and its 150 x 75 points end at F9 after
  // 48-point columns and 15-point rows: column 2 + 150/48 -> 5 (offset 6pt), row 3 + 5 -> 8;
  // the two rows inserted above move it to C6:F11. The free-floating photo stays at row 13.
  const std::string fromRow = "<xdr:from><xdr:col>\\d+</xdr:col><xdr:colOff>\\d+</xdr:colOff><xdr:row>(\\d+)</xdr:row>";
  const std::string toRow = "<xdr:to><xdr:col>\\d+</xdr:col><xdr:colOff>\\d+</xdr:colOff><xdr:row>(\\d+)</xdr:row>";
  EXPECT_EQ(Matches(drawing, "<xdr:from><xdr:col>(\\d+)</xdr:col>").at(0), "2");
  EXPECT_EQ(Matches(drawing, fromRow), (std::vector<std::string>{"5", "13", "22", "28"}));
  EXPECT_EQ(Matches(drawing, "<xdr:to><xdr:col>(\\d+)</xdr:col>").at(0), "5");
  EXPECT_EQ(Matches(drawing, "<xdr:to><xdr:col>\\d+</xdr:col><xdr:colOff>(\\d+)</xdr:colOff>").at(0), "76200");
  EXPECT_EQ(Matches(drawing, toRow).at(0), "10");
  EXPECT_EQ(Matches(drawing, "<a:ext cx=\"(\\d+)\"").at(0), "1905000");
  const std::string templateDrawing = testing::ReadZipPart(test::MakeReportTemplate(folder.Path()), "xl/drawings/drawing1.xml");
  const std::string dataDrawing = testing::ReadZipPart(output, "xl/drawings/drawing1.xml");
  EXPECT_EQ(dataDrawing.substr(0, templateDrawing.rfind("</")), templateDrawing.substr(0, templateDrawing.rfind("</")));
  EXPECT_EQ(Matches(dataDrawing, "<(?:xdr:)?from>.*?<(?:xdr:)?row>(\\d+)</"), (std::vector<std::string>{"1", "9", "21"}));

  REQUIRE_LIBREOFFICE();
  // LibreOffice finds every picture (the template's chart as its replacement image) where the
  // insertions moved them.
  std::string ods = testing::LibreOfficeConvert(output, "ods", folder.Path());
  std::string content = testing::ReadZipPart(ods, "content.xml");
  EXPECT_EQ(Matches(content, "<draw:image ").size(), 7u);
  // Pictures sized with their cells end where the insertions moved them (two rows down).
  EXPECT_EQ(Matches(content, "table:end-cell-address=\"([^\"]+)\""),
            (std::vector<std::string>{"Data.B22", "Summary.A24", "Summary.B31"}));
}

// One file placed many times is embedded once; a file rewritten between two placements is read
// again (its new size and its new bytes).
TEST(PicturesGeometry, SameFileSharesOneMediaPartUntilItChanges) {
  TempFolder folder;
  MakePictures(folder.Path());
  auto book = platform::CreateSpreadsheetApplication()->OpenWorkbook(test::MakeReportTemplate(folder.Path()), true);
  auto summary = book->WorksheetByName("Summary");
  for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(summary->AddPicture(folder.File("wide.png"), false, true, 0, 20.0 * i, -1, -1)->Width(), 150);
  testing::RunPython(R"PY(
import sys
from PIL import Image
Image.new("RGB", (40, 100), "yellow").save(sys.argv[1] + "/wide.png", dpi=(96, 96))
)PY",
                     {folder.Path()});
  EXPECT_DOUBLE_EQ(summary->AddPicture(folder.File("wide.png"), false, true, 0, 100, -1, -1)->Width(), 30);
  book->WorksheetByName("Data")->AddPicture(folder.File("wide.png"), false, true, 0, 0, -1, -1);
  const std::string output = testing::Saved(book, folder.File("shared.xlsx"));
  std::string sheetRels = testing::ReadZipPart(output, "xl/worksheets/_rels/sheet2.xml.rels");
  std::string drawing =
      testing::ReadZipPart(output, "xl/drawings/" + Matches(sheetRels, "Target=\"../drawings/([^\"]+)\"").at(0));
  std::vector<std::string> embeds = Matches(drawing, "r:embed=\"(\\w+)\"");
  ASSERT_EQ(embeds.size(), 4u);
  EXPECT_EQ(embeds[0], embeds[1]);
  EXPECT_EQ(embeds[1], embeds[2]);
  EXPECT_NE(embeds[2], embeds[3]);

  // Saved again, every drawing (the template's with its own anchors too) holds each picture once.
  const std::string again = testing::Saved(book, folder.File("again.xlsx"));
  for (const std::string& part : testing::ZipPartNames(output))
    if (part.rfind("xl/drawings/", 0) == 0) EXPECT_EQ(testing::ReadZipPart(again, part), testing::ReadZipPart(output, part)) << part;
}

// Anchors are found from points: the row that holds a point, over tall, short and hidden rows
// and far below the last stored row, is the last row whose top is at or above it (checked
// against a walk over every row top).
TEST(PicturesGeometry, RowAtPointMatchesRowTopsOverUnevenRows) {
  SheetCells cells;
  StyleSheet styles;
  styles.Load("");
  SheetLayout layout(cells, styles);
  layout.SetRowHeight(3, 60);
  layout.SetRowHeight(4, 2);
  for (std::int32_t row : {6, 7, 8, 40}) {
    cells.GetRow(row).flags |= kRowHidden;
    cells.RowsChangedFrom(row);
  }
  layout.SetRowHeight(20, 409);
  for (std::int32_t row = 100; row < 140; ++row) layout.SetRowHeight(row, 1 + row % 7);
  std::vector<double> tops{0};
  for (std::int32_t row = 1; row <= 400; ++row) tops.push_back(layout.CellTop(row));
  for (double y = -3; y < tops.back(); y += 0.75) {
    std::int32_t expected = 1;
    for (std::int32_t row = 1; row < static_cast<std::int32_t>(tops.size()); ++row)
      if (tops[row] <= y) expected = row;
    auto [row, offset] = layout.RowAt(y);
    ASSERT_EQ(row, expected) << "y = " << y;
    EXPECT_DOUBLE_EQ(offset, y - tops[expected]);
  }
  // Past the last row: the sheet's last row, the rest as offset.
  double bottom = layout.CellTop(kMaxRows);
  EXPECT_EQ(layout.RowAt(bottom + 1000).first, kMaxRows);
}

}  // namespace
}  // namespace tabrix::xlsx
