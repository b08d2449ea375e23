// Templates for the engine's tests, made by an independent program (openpyxl).
#pragma once

#include <memory>
#include <string>

#include "fixtures/office_tools.h"
#include "xlsx/xlsx_workbook.h"

namespace tabrix::xlsx::test {

// A growing-table report template, sheet "Data":
//   A1:D1 merged title; header row 4 (A4:D4) with an auto-filter over A4:D6;
//   record block row 5: A5 text, B5 number, C5 number, D5 = B5*C5 (number format "0.00");
//   reserved row 6 (D6 = B6*C6); totals row 7: B7 = SUM(B5:B6), D7 = SUM(D5:D6), E7 = $D$7*2;
//   footer A8:D8 merged with a hyperlink to Summary!A1; manual page break above row 8;
//   row 5 height 20; conditional format on B5:B6 (B5>100), list validation on C5:C6;
//   a bar chart of D5:D6 by A5:A6 anchored at F2; a picture anchored at F10 (one-cell).
// Sheet "Summary": A1 = Data!B7, A2 = SUM(Data!D5:D6), A3 = Data!$B$5.
// Sheet "Table": a table "Items" over A1:B4.
// Names: GrandTotal = Data!$D$7, Block = Data!$A$5:$D$6, print area of Data $A$1:$D$8,
// print titles $4:$4.
inline std::string MakeReportTemplate(const std::string& folder) {
  std::string path = folder + "/report_template.xlsx";
  std::string picture = folder + "/logo.png";
  testing::RunPython(R"PY(
import sys, struct, zlib, openpyxl
from openpyxl.chart import BarChart, Reference
from openpyxl.formatting.rule import CellIsRule
from openpyxl.worksheet.datavalidation import DataValidation
from openpyxl.workbook.defined_name import DefinedName
from openpyxl.worksheet.table import Table
from openpyxl.drawing.image import Image
from openpyxl.worksheet.pagebreak import Break
from openpyxl.styles import PatternFill

path, picture = sys.argv[1], sys.argv[2]
# A 40x20 red PNG made by hand (no imaging library needed).
def png(w, h):
    raw = b"".join(b"\x00" + b"\xff\x00\x00" * w for _ in range(h))
    def chunk(t, d):
        c = struct.pack(">I", len(d)) + t + d
        return c + struct.pack(">I", zlib.crc32(t + d) & 0xffffffff)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) + \
        chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")
open(picture, "wb").write(png(40, 20))

wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Data"
ws["A1"] = "Report"
ws.merge_cells("A1:D1")
for c, t in zip("ABCD", ["Item", "Qty", "Price", "Amount"]):
    ws[c + "4"] = t
ws["A5"] = "first"
ws["B5"] = 1
ws["C5"] = 2
ws["D5"] = "=B5*C5"
ws["D5"].number_format = "0.00"
ws["D5"].fill = PatternFill("solid", fgColor="FFFF00")
ws["D6"] = "=B6*C6"
ws["A7"] = "TOTAL"
ws["B7"] = "=SUM(B5:B6)"
ws["D7"] = "=SUM(D5:D6)"
ws["E7"] = "=$D$7*2"
ws["A8"] = "footer"
ws.merge_cells("A8:D8")
ws["A8"].hyperlink = "#Summary!A1"
ws.row_breaks.append(Break(id=7))
ws.row_dimensions[5].height = 20
ws.column_dimensions["B"].width = 15
ws.auto_filter.ref = "A4:D6"
ws.conditional_formatting.add("B5:B6", CellIsRule(operator="greaterThan", formula=["100"], fill=PatternFill("solid", fgColor="FF0000")))
dv = DataValidation(type="list", formula1='"a,b,c"')
dv.add("C5:C6")
ws.add_data_validation(dv)
chart = BarChart()
chart.add_data(Reference(ws, min_col=4, min_row=5, max_row=6))
chart.set_categories(Reference(ws, min_col=1, min_row=5, max_row=6))
ws.add_chart(chart, "F2")
ws.add_image(Image(picture), "F10")
ws.print_area = "A1:D8"
ws.print_title_rows = "4:4"

summary = wb.create_sheet("Summary")
summary["A1"] = "=Data!B7"
summary["A2"] = "=SUM(Data!D5:D6)"
summary["A3"] = "=Data!$B$5"

table_sheet = wb.create_sheet("Table")
table_sheet.append(["Name", "Value"])
for i in range(3):
    table_sheet.append(["n%d" % i, i])
table_sheet.add_table(Table(displayName="Items", ref="A1:B4"))

wb.defined_names.append(DefinedName("GrandTotal", attr_text="Data!$D$7"))
wb.defined_names.append(DefinedName("Block", attr_text="Data!$A$5:$D$6"))
wb.save(path)
)PY",
                     {path, picture});
  return path;
}

// Everything about sheet Data (and the workbook) that a structural edit should move, as text:
// one "key=value" line per item ("cf", "dv" and "x14", the extension list's validations, list
// their ranges separated by " | "), read with openpyxl and from the sheet part.
inline std::string DescribeReport(const std::string& path) {
  return testing::RunPython(R"PY(
import re, sys, warnings, zipfile, openpyxl
warnings.simplefilter("ignore")  # openpyxl drops the extension lists it cannot read, with a warning
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb["Data"]
out = []
out.append("merges=" + " ".join(sorted(str(r) for r in ws.merged_cells.ranges)))
out.append("breaks=" + " ".join(str(b.id) for b in ws.row_breaks.brk))
out.append("filter=" + str(ws.auto_filter.ref))
out.append("cf=" + " | ".join(sorted(str(r.sqref) for r in ws.conditional_formatting)))
out.append("dv=" + " | ".join(str(d.sqref) for d in ws.data_validations.dataValidation))
sheet = zipfile.ZipFile(sys.argv[1]).read("xl/worksheets/sheet1.xml").decode()
out.append("x14=" + " | ".join(re.findall(r"<xm:sqref>([^<]*)</xm:sqref>", sheet)))
out.append("links=" + " ".join("%s>%s" % (c.coordinate, c.hyperlink.location or c.hyperlink.target)
                               for row in ws.iter_rows() for c in row if c.hyperlink))
names = {n.name: n.attr_text for n in wb.defined_names.definedName}
for key in sorted(names):
    out.append("name:%s=%s" % (key, names[key]))
out.append("printarea=" + str(ws.print_area))
out.append("heights=" + " ".join("%d:%s" % (r, d.height) for r, d in sorted(ws.row_dimensions.items()) if d.height))
if "Table" in wb.sheetnames:
    out.append("table=" + wb["Table"].tables["Items"].ref)
print("\n".join(out))
)PY",
                            {path});
}

// Entire rows first..last, entire columns first..last.
inline platform::CellRect Rows(std::int32_t first, std::int32_t last) {
  return platform::CellRect{first, 1, last, platform::kMaxColumns};
}
inline platform::CellRect Columns(std::int32_t first, std::int32_t last) {
  return platform::CellRect{1, first, platform::kMaxRows, last};
}

// A workbook opened through the engine, with its sheet "Data".
struct Opened {
  std::shared_ptr<platform::Application> application = platform::CreateSpreadsheetApplication();
  std::shared_ptr<platform::Workbook> book;
  XlsxWorksheet* data = nullptr;
  explicit Opened(const std::string& path) : book(application->OpenWorkbook(path, true)) {
    data = dynamic_cast<XlsxWorksheet*>(book->WorksheetByName("Data").get());
  }
};

// The value of one "key=value" line of DescribeReport's text.
inline std::string Line(const std::string& description, const std::string& key) {
  const std::size_t at = ("\n" + description).find("\n" + key + "=");
  if (at == std::string::npos) return "<missing " + key + ">";
  const std::size_t start = at + key.size() + 1;
  return description.substr(start, description.find('\n', start) - start);
}

}  // namespace tabrix::xlsx::test
