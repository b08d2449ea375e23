// What structural edits cost and what they leave: formulas held by line anchors, and names,
// chart series, rule formulas, hyperlinks and comments held parsed, read exactly as rewriting
// their text on every edit reads; on a decorated template filled the way a grouped report fills
// it, the work of one record's insertion and copy stays the same however many records are
// already in the sheet; column edits visit only the pictures they move; released formula slots
// are reused.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <random>
#include <regex>

#include <pugixml.hpp>

#include "fixtures/office_tools.h"
#include "xlsx/cell_address.h"
#include "xlsx/xlsx_workbook.h"

namespace tabrix::xlsx {
namespace {

using platform::CellRect;
using platform::kMaxColumns;
using platform::kMaxRows;

// Every formula of the sheet by cell, read without giving anchored formulas their text back.
std::map<std::pair<int, int>, std::string> FormulaTexts(XlsxWorksheet& sheet) {
  XlsxWorkbook& book = sheet.Book();
  std::map<std::pair<int, int>, std::string> texts;
  for (const Row& row : sheet.Cells().Rows())
    for (const Cell& cell : row.cells) {
      if (!cell.HasFormula()) continue;
      const Formula& formula = book.Formulas()[cell.formula];
      texts[{row.number, cell.column}] =
          formula.anchored ? book.AnchoredOn(&sheet)->Text(cell.formula) : std::string(formula.Text());
    }
  return texts;
}

TEST(EditCost, AnchoredFormulasReadAsRewritingOnEveryEditReads) {
  std::mt19937 random(61206);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  const std::vector<std::string> shapes = {"A{r}", "$B${r}", "C{r}:D{s}", "SUM(E{r}:E{s})*2", "F:F", "{r}:{s}",
                                           "Data!B{r}", "$A$1:$A$1048576", "A1048574+G{r}", "IF(H{r}>0,\"a1\",I{s})"};
  for (int round = 0; round < 12; ++round) {
    auto application = platform::CreateSpreadsheetApplication();
    // `lazy` keeps anchors across edits; `eager` gives every formula its text back after each.
    auto lazyBook = XlsxWorkbook::CreateBlank(application, "Data");
    auto eagerBook = XlsxWorkbook::CreateBlank(application, "Data");
    auto* lazy = dynamic_cast<XlsxWorksheet*>(lazyBook->WorksheetByName("Data").get());
    auto* eager = dynamic_cast<XlsxWorksheet*>(eagerBook->WorksheetByName("Data").get());
    for (int f = 0; f < 40; ++f) {
      std::string text = shapes[static_cast<std::size_t>(pick(0, static_cast<int>(shapes.size()) - 1))];
      const int r = pick(1, 60), s = r + pick(0, 20);
      for (auto at = text.find("{r}"); at != std::string::npos; at = text.find("{r}")) text.replace(at, 3, std::to_string(r));
      for (auto at = text.find("{s}"); at != std::string::npos; at = text.find("{s}")) text.replace(at, 3, std::to_string(s));
      const int row = pick(1, 70), column = pick(1, 12);
      lazy->SetFormula(row, column, text);
      eager->SetFormula(row, column, text);
    }
    for (int step = 0; step < 80; ++step) {
      const int what = pick(0, 19);
      auto both = [&](auto&& edit) {
        edit(*lazy);
        edit(*eager);
      };
      if (what < 11) {
        const int at = pick(1, 90), count = pick(1, 3);
        both([&](XlsxWorksheet& s) { s.InsertCells(CellRect{at, 1, at + count - 1, kMaxColumns}, platform::kShiftDown); });
      } else if (what < 13) {
        const int at = pick(1, 14);
        both([&](XlsxWorksheet& s) { s.InsertCells(CellRect{1, at, kMaxRows, at}, platform::kShiftToRight); });
      } else if (what < 14) {
        const int at = pick(1, 90), count = pick(1, 3);
        both([&](XlsxWorksheet& s) { s.DeleteCells(CellRect{at, 1, at + count - 1, kMaxColumns}, platform::kShiftUp); });
      } else if (what < 15) {
        const int at = pick(1, 90), c = pick(1, 6);
        both([&](XlsxWorksheet& s) { s.InsertCells(CellRect{at, c, at, c + 2}, platform::kShiftDown); });
      } else if (what < 16) {
        // Pushing references past the last row: anchors give way to the text.
        both([&](XlsxWorksheet& s) { s.InsertCells(CellRect{50, 1, 50, kMaxColumns}, platform::kShiftDown); });
      } else if (what < 18) {
        const int from = pick(1, 80), to = pick(1, 100);
        both([&](XlsxWorksheet& s) { s.CopyCells(CellRect{from, 1, from + 2, 12}, to, 1); });
      } else {
        // Reading one formula gives it its text back; the others stay anchored.
        const auto texts = FormulaTexts(*lazy);
        if (texts.empty()) continue;
        auto it = texts.begin();
        std::advance(it, pick(0, static_cast<int>(texts.size()) - 1));
        EXPECT_EQ(lazy->GetFormula(it->first.first, it->first.second), "=" + it->second);
      }
      eagerBook->SettleAllFormulas();
      ASSERT_EQ(FormulaTexts(*lazy), FormulaTexts(*eager)) << "round " << round << " step " << step;
    }
  }
}

// References kept outside cells, as the saved parts hold them: defined names, chart series,
// rule formulas and hyperlinks of the sheets, comments and their note shapes. `home` is the
// sheet whose unqualified references they hold (empty for names and charts); a hyperlink keeps
// its location in `extra`.
struct OutsideReference {
  enum Kind { Formula, Area, Note } kind;
  std::string home, text, extra;
  bool operator==(const OutsideReference&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const OutsideReference& r) {
    return out << "\n  " << r.kind << " [" << r.home << "] " << r.text << " " << r.extra;
  }
};

std::vector<OutsideReference> OutsideReferences(const std::string& path) {
  std::vector<OutsideReference> found;
  pugi::xml_document doc;
  auto load = [&](const std::string& part) {
    const std::string text = testing::ReadZipPart(path, part);
    doc.load_buffer(text.data(), text.size());
    return doc.document_element();
  };
  auto local = [](pugi::xml_node node) {
    std::string_view name = node.name();
    return std::string(name.substr(name.find(':') == std::string_view::npos ? 0 : name.find(':') + 1));
  };
  auto walk = [&](pugi::xml_node root, auto&& each) {
    std::vector<pugi::xml_node> stack{root};
    while (!stack.empty()) {
      pugi::xml_node node = stack.back();
      stack.pop_back();
      each(node);
      std::vector<pugi::xml_node> children(node.begin(), node.end());
      for (auto it = children.rbegin(); it != children.rend(); ++it)
        if (it->type() == pugi::node_element) stack.push_back(*it);
    }
  };
  walk(load("xl/workbook.xml"), [&](pugi::xml_node n) {
    if (local(n) == "definedName") found.push_back({OutsideReference::Formula, "", n.text().get(), ""});
  });
  walk(load("xl/charts/chart1.xml"), [&](pugi::xml_node n) {
    if (local(n) == "f") found.push_back({OutsideReference::Formula, "", n.text().get(), ""});
  });
  for (const auto& sheet : {std::pair{"xl/worksheets/sheet1.xml", "Data"}, std::pair{"xl/worksheets/sheet2.xml", "It's"}})
    walk(load(sheet.first), [&, home = sheet.second](pugi::xml_node n) {
      const std::string name = local(n);
      if (name == "formula" || name == "formula1") found.push_back({OutsideReference::Formula, home, n.text().get(), ""});
      if (name == "hyperlink")
        found.push_back({OutsideReference::Area, home, n.attribute("ref").value(), n.attribute("location").value()});
    });
  for (const std::string& part : testing::ZipPartNames(path)) {
    if (part.find("comments") != std::string::npos && part.ends_with(".xml"))
      walk(load(part), [&](pugi::xml_node n) {
        if (local(n) == "comment") found.push_back({OutsideReference::Area, "Data", n.attribute("ref").value(), ""});
      });
    if (part.ends_with(".vml"))
      walk(load(part), [&](pugi::xml_node n) {
        if (local(n) != "ClientData") return;
        std::string row, column;
        for (pugi::xml_node child : n.children()) {
          if (local(child) == "Row") row = child.text().get();
          if (local(child) == "Column") column = child.text().get();
        }
        found.push_back({OutsideReference::Note, "Data", row, column});
      });
  }
  return found;
}

// What rewriting each text on every edit makes of them (hyperlinks and comments over deleted
// cells are gone; a note shape over deleted cells stays).
void Rewrite(std::vector<OutsideReference>& references, const std::string& sheet, const SheetEdit& edit) {
  std::vector<OutsideReference> kept;
  std::string changed;
  for (OutsideReference reference : references) {
    const bool here = reference.home == sheet;
    if (reference.kind == OutsideReference::Formula) {
      if (ShiftFormula(reference.text, edit, FormulaContext{sheet, here}, changed)) reference.text = changed;
    } else if (reference.kind == OutsideReference::Area) {
      if (here) {
        auto moved = ShiftRect(*ParseArea(reference.text), edit);
        if (!moved) continue;
        reference.text = FormatRef(*moved);
      }
      if (!reference.extra.empty() && ShiftFormula(reference.extra, edit, FormulaContext{sheet, here}, changed))
        reference.extra = changed;
    } else if (here) {
      const int row = std::stoi(reference.text) + 1, column = std::stoi(reference.extra) + 1;
      if (auto moved = ShiftRect(CellRect{row, column, row, column}, edit)) {
        reference.text = std::to_string(moved->row1 - 1);
        reference.extra = std::to_string(moved->col1 - 1);
      }
    }
    kept.push_back(std::move(reference));
  }
  references.swap(kept);
}

TEST(EditCost, HeldReferencesReadAsRewritingTheirTextOnEveryEditReads) {
  testing::TempFolder folder;
  const std::string path = folder.File("outside.xlsx");
  testing::RunPython(R"PY(
import sys
from openpyxl import Workbook
from openpyxl.chart import BarChart, Reference
from openpyxl.comments import Comment
from openpyxl.formatting.rule import FormulaRule
from openpyxl.styles import PatternFill
from openpyxl.workbook.defined_name import DefinedName
from openpyxl.worksheet.datavalidation import DataValidation
from openpyxl.worksheet.hyperlink import Hyperlink

wb = Workbook()
ws = wb.active
ws.title = "Data"
other = wb.create_sheet("It's")
wb.create_sheet("Summary")
for r in range(1, 21):
    for c in range(1, 10):
        ws.cell(row=r, column=c, value=r * c)
        other.cell(row=r, column=c, value=r + c)
fill = PatternFill("solid", fgColor="FFFFC7CE")
ws.conditional_formatting.add("A1:Z300", FormulaRule(formula=["$H$12>'It''s'!$C$9"], fill=fill))
other.conditional_formatting.add("A1:Z300", FormulaRule(formula=["Data!$H$5>B2"], fill=fill))
for formula, area in (("'It''s'!$A$1:$A$8", "A1:L300"), ("$G$15", "M1:Z300")):
    validation = DataValidation(type="list", formula1=formula)
    ws.add_data_validation(validation)
    validation.add(area)
ws["C4"].hyperlink = Hyperlink(ref="C4", location="'It''s'!B6")
ws["E9"].hyperlink = Hyperlink(ref="E9", location="Data!$I$12")
other["B3"].hyperlink = Hyperlink(ref="B3", location="Data!D7:E8")
for cell in ("B5", "F11", "A2"):
    ws[cell].comment = Comment("note " + cell, "me")
chart = BarChart()
chart.add_data(Reference(ws, min_col=8, min_row=3, max_row=10))
chart.set_categories(Reference(other, min_col=1, min_row=3, max_row=10))
ws.add_chart(chart, "K3")
for name, text in (("Total", "Data!$I$7"), ("Quoted", "'It''s'!$B$2:$C$9"),
                   ("Mixed", "SUM(Data!$A$3:$A$9,'It''s'!$D$4)"), ("Far", "Summary!$A$1:$A$5")):
    wb.defined_names.append(DefinedName(name, attr_text=text))
ws.print_area = "A1:I20"
wb.save(sys.argv[1])
)PY",
                     {path});
  std::vector<OutsideReference> expected = OutsideReferences(path);
  ASSERT_GE(expected.size(), 16u);

  std::mt19937 random(71207);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  auto application = platform::CreateSpreadsheetApplication();
  auto book = application->OpenWorkbook(path, false);
  for (int step = 1; step <= 60; ++step) {
    const std::string name = pick(0, 4) == 0 ? "It's" : "Data";
    auto* sheet = dynamic_cast<XlsxWorksheet*>(book->WorksheetByName(name).get());
    const int what = pick(0, 9), at = pick(1, 24), count = pick(1, 2), band = pick(1, 6);
    SheetEdit edit = what < 4   ? SheetEdit::InsertRows(at, count)
                     : what < 6 ? SheetEdit::DeleteRows(at, count)
                     : what < 7 ? SheetEdit::InsertColumns(at % 12 + 1, count)
                     : what < 8 ? SheetEdit::DeleteColumns(at % 12 + 1, 1)
                                : SheetEdit::InsertRows(at, count, band, band + 3);
    const bool rows = edit.OnRows();
    const CellRect rect = rows ? CellRect{at, edit.HasBand() ? band : 1, at + count - 1, edit.HasBand() ? band + 3 : kMaxColumns}
                               : CellRect{1, edit.First, kMaxRows, edit.First + edit.Count - 1};
    if (edit.IsInsert()) sheet->InsertCells(rect, rows ? platform::kShiftDown : platform::kShiftToRight);
    else sheet->DeleteCells(rect, rows ? platform::kShiftUp : platform::kShiftToLeft);
    Rewrite(expected, name, edit);
    if (step % 20 == 0) {
      // Saving writes the held texts back; edits after it go on from there.
      const std::string saved = folder.File("step" + std::to_string(step) + ".xlsx");
      book->SaveAs(saved, std::nullopt);
      ASSERT_EQ(OutsideReferences(saved), expected) << "step " << step;
    }
  }
}

// A grouped report's template: group header row 3 (a conditional format, a hyperlink), record
// row 4 (the line's share of the grand total below the table, a merged cell, a list
// validation), group footer row 5 (a total), grand total row 7, a page break above the footer,
// a chart over the table, an array formula on another sheet referring to the table; in the
// extension list a data bar on the header row and a list validation on the record row whose
// source is on another sheet; a print area over the table, a comment on the grand total and one
// above the table, and 40 names of another sheet. A picture (picture.png beside it) is placed on
// every record.
std::string MakeDecoratedTemplate(const std::string& folder) {
  const std::string path = folder + "/decorated.xlsx";
  testing::RunPython(R"PY(
import sys
from openpyxl import Workbook
from openpyxl.chart import BarChart, Reference
from openpyxl.comments import Comment
from openpyxl.formatting.rule import CellIsRule
from openpyxl.styles import PatternFill
from openpyxl.workbook.defined_name import DefinedName
from openpyxl.worksheet.datavalidation import DataValidation
from openpyxl.worksheet.pagebreak import Break

wb = Workbook()
ws = wb.active
ws.title = "Data"
ws["A3"] = "group"
ws["E4"] = 1
ws["H4"] = 10
ws["I4"] = "=H4/$I$7"
ws["I5"] = "=SUM(H3:H5)"
ws["I7"] = "=SUM(H3:H6)"
ws.merge_cells("B4:D4")
red = PatternFill("solid", fgColor="FFFFC7CE")
ws.conditional_formatting.add("A3:I3", CellIsRule(operator="greaterThan", formula=["$I$7"], fill=red))
ws["I3"].hyperlink = "#Data!A7"
validation = DataValidation(type="list", formula1='"1,2,3"', allow_blank=True)
ws.add_data_validation(validation)
validation.add("F4")
ws.row_breaks.append(Break(id=4))
chart = BarChart()
chart.add_data(Reference(ws, min_col=8, min_row=3, max_row=6))
ws.add_chart(chart, "K3")
summary = wb.create_sheet("Summary")
summary["B1"] = "=MAX(Data!H3:H6*1)"
summary.formula_attributes["B1"] = {"t": "array", "ref": "B1"}
ws.print_area = "A1:I7"
ws["I7"].comment = Comment("grand total", "me")
ws["A1"].comment = Comment("title", "me")
for i in range(1, 41):
    wb.defined_names.append(DefinedName("Summary%d" % i, attr_text="Summary!$A$%d" % i))
wb.save(sys.argv[1])

import zipfile
from PIL import Image
Image.new("RGB", (8, 8), "red").save(sys.argv[1].rsplit("/", 1)[0] + "/picture.png")
with zipfile.ZipFile(sys.argv[1]) as z:
    parts = {name: z.read(name) for name in z.namelist()}
ext = ('<extLst><ext uri="{78C0D931-6437-407d-A8EE-F0AAD7539E65}" '
       'xmlns:x14="http://schemas.microsoft.com/office/spreadsheetml/2009/9/main">'
       '<x14:conditionalFormattings><x14:conditionalFormatting xmlns:xm="http://schemas.microsoft.com/office/excel/2006/main">'
       '<x14:cfRule type="dataBar" id="{00000000-0000-0000-0000-000000000001}"><x14:dataBar minLength="0" maxLength="100">'
       '<x14:cfvo type="autoMin"/><x14:cfvo type="autoMax"/></x14:dataBar></x14:cfRule><xm:sqref>H3:I3</xm:sqref>'
       '</x14:conditionalFormatting></x14:conditionalFormattings></ext>'
       '<ext uri="{CCE6A557-97BC-4b89-ADB6-D9C93CAAB3DF}" xmlns:x14="http://schemas.microsoft.com/office/spreadsheetml/2009/9/main">'
       '<x14:dataValidations count="1" xmlns:xm="http://schemas.microsoft.com/office/excel/2006/main">'
       '<x14:dataValidation type="list" allowBlank="1"><x14:formula1><xm:f>Summary!$A$1:$A$3</xm:f></x14:formula1>'
       '<xm:sqref>G4</xm:sqref></x14:dataValidation></x14:dataValidations></ext></extLst>')
sheet = parts["xl/worksheets/sheet1.xml"].decode()
parts["xl/worksheets/sheet1.xml"] = sheet.replace("</worksheet>", ext + "</worksheet>").encode()
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for name, data in parts.items():
        z.writestr(name, data)
)PY",
                     {path});
  return path;
}

struct Work {
  double formulas = 0, entries = 0, items = 0, indexMoves = 0, references = 0;
  double Total() const { return formulas + entries + items + indexMoves + references; }
};

// Also counts the formula index entries moved to keep it ordered as copies add formulas.
Work Visited(XlsxWorksheet& sheet) {
  XlsxWorkbook& book = sheet.Book();
  const EngineWork& work = book.Work();
  return Work{static_cast<double>(work.formulasVisited), static_cast<double>(work.rangeEntriesVisited),
              static_cast<double>(work.itemsVisited),
              static_cast<double>(book.LocalFormulas(&sheet).EntriesMoved() + book.PrefixedFormulas().EntriesMoved()),
              static_cast<double>(work.referencesVisited)};
}

TEST(EditCost, WorkPerRecordDoesNotGrowWithTheRecordsAlreadyFilled) {
  testing::TempFolder folder;
  auto application = platform::CreateSpreadsheetApplication();
  auto book = application->OpenWorkbook(MakeDecoratedTemplate(folder.Path()), false);
  auto* sheet = dynamic_cast<XlsxWorksheet*>(book->WorksheetByName("Data").get());

  // The spare template (rows 3-5) is copied below the grand total; records and groups are
  // made from it as the grouped report makes them: room inserted, the spare's rows copied in.
  sheet->InsertCells(CellRect{9, 1, 11, kMaxColumns}, platform::kShiftDown);
  sheet->CopyCells(CellRect{3, 1, 5, kMaxColumns}, 9, 1);
  const std::string picture = folder.File("picture.png");
  std::int32_t spare = 9, recordRow = 4, footer = 5, header = 3;
  const int records = 3000, perGroup = 12;
  std::vector<Work> perRecord;
  for (int r = 1; r < records; ++r) {
    const Work before = Visited(*sheet);
    if (r % perGroup == 0) {
      // A new group after the current group's footer.
      sheet->InsertCells(CellRect{footer + 1, 1, footer + 3, kMaxColumns}, platform::kShiftDown);
      spare += 3;
      sheet->CopyCells(CellRect{spare, 1, spare + 2, kMaxColumns}, footer + 1, 1);
      sheet->SetRowPageBreak(footer + 1, platform::kPageBreakManual);
      header = footer + 1;
      recordRow = footer + 2;
      footer += 3;
    } else {
      sheet->InsertCells(CellRect{recordRow + 1, 1, recordRow + 1, kMaxColumns}, platform::kShiftDown);
      spare += 1;
      sheet->CopyCells(CellRect{spare + 1, 1, spare + 1, kMaxColumns}, recordRow + 1, 1);
      ++recordRow;
      ++footer;
    }
    sheet->SetValue(recordRow, 8, Variant(static_cast<double>(r)));
    sheet->AddPicture(picture, false, true, sheet->CellLeft(2), sheet->CellTop(recordRow), -1, -1);
    const Work after = Visited(*sheet);
    perRecord.push_back(Work{after.formulas - before.formulas, after.entries - before.entries, after.items - before.items,
                             after.indexMoves - before.indexMoves, after.references - before.references});
  }
  // Averages over 20 groups early and late in the fill.
  auto average = [&](std::size_t from) {
    Work sum;
    for (std::size_t i = from; i < from + 240; ++i) {
      sum.formulas += perRecord[i].formulas / 240;
      sum.entries += perRecord[i].entries / 240;
      sum.items += perRecord[i].items / 240;
      sum.indexMoves += perRecord[i].indexMoves / 240;
      sum.references += perRecord[i].references / 240;
    }
    return sum;
  };
  const Work early = average(120), late = average(perRecord.size() - 240);
  EXPECT_GT(early.Total(), 0);
  EXPECT_LE(late.Total(), early.Total() * 1.25 + 2)
      << "formulas " << early.formulas << " -> " << late.formulas << ", list entries " << early.entries << " -> "
      << late.entries << ", other items " << early.items << " -> " << late.items << ", index entries moved "
      << early.indexMoves << " -> " << late.indexMoves << ", references " << early.references << " -> "
      << late.references;
  // The names of the other sheet are never visited: what an insertion visits is what reaches
  // the table (the chart, the rule formula, the print area, the grand total's comment).
  EXPECT_GT(late.references, 0);
  EXPECT_LT(late.references, 40);

  // What the anchors and lists held comes out right: the line formulas refer to the grand
  // total, wherever it went.
  const std::int32_t grand = footer + 2;
  EXPECT_EQ(sheet->GetFormula(grand, 9), "=SUM(H3:H" + std::to_string(grand - 1) + ")");
  EXPECT_EQ(sheet->GetFormula(4, 9), "=H4/$I$" + std::to_string(grand));
  EXPECT_EQ(sheet->GetFormula(recordRow, 9), "=H" + std::to_string(recordRow) + "/$I$" + std::to_string(grand));

  // The extension list's data bar covers every group header, its validation every record row
  // (the first group's, the last group's); the pictures sit on their records and the chart
  // stays where the template put it.
  const std::string output = folder.File("filled.xlsx");
  book->SaveAs(output, std::nullopt);
  const std::string xml = testing::ReadZipPart(output, "xl/worksheets/sheet1.xml");
  const std::string workbookXml = testing::ReadZipPart(output, "xl/workbook.xml");
  EXPECT_NE(workbookXml.find("Data'!$A$1:$I$" + std::to_string(grand) + "<"), std::string::npos);
  EXPECT_NE(workbookXml.find(">Summary!$A$40<"), std::string::npos);
  const std::string comments = testing::ReadZipPart(output, "xl/comments/comment1.xml");
  EXPECT_NE(comments.find("ref=\"I" + std::to_string(grand) + "\""), std::string::npos);
  EXPECT_NE(comments.find("ref=\"A1\""), std::string::npos);
  const std::string bars = xml.substr(xml.find("<xm:sqref>") + 10, xml.find("</xm:sqref>") - xml.find("<xm:sqref>") - 10);
  EXPECT_EQ(bars.substr(0, 6), "H3:I3 ");
  EXPECT_EQ(std::count(bars.begin(), bars.end(), ' ') + 1, records / perGroup + 1) << bars.substr(0, 200);
  EXPECT_NE(bars.find(" H" + std::to_string(header) + ":I" + std::to_string(header)), std::string::npos);
  const std::string validated = xml.substr(xml.rfind("<xm:sqref>") + 10, xml.rfind("</xm:sqref>") - xml.rfind("<xm:sqref>") - 10);
  EXPECT_EQ(validated.substr(0, 6), "G4:G15");
  EXPECT_NE(validated.find("G" + std::to_string(header + 1) + ":G" + std::to_string(recordRow)), std::string::npos);
  const std::string drawing = testing::ReadZipPart(output, "xl/drawings/drawing1.xml");
  static const std::regex fromRow("<(?:xdr:)?from>.*?<(?:xdr:)?row>(\\d+)</");
  std::vector<int> rows;
  for (std::sregex_iterator it(drawing.begin(), drawing.end(), fromRow), end; it != end; ++it) rows.push_back(std::stoi((*it)[1]));
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(records));
  EXPECT_EQ(rows.front(), 2);  // the chart at K3
  EXPECT_EQ(rows[1], 4);       // the first record filled, row 5
  EXPECT_EQ(rows.back(), recordRow - 1);
}

// Pictures are indexed by column as by row: a column edit right of every picture visits none of
// them, one left of them moves each once, and the saved anchors show it.
TEST(EditCost, ColumnEditsVisitOnlyThePicturesAtOrRightOfTheColumn) {
  testing::TempFolder folder;
  testing::RunPython("from PIL import Image\nimport sys\nImage.new('RGB', (8, 8), 'red').save(sys.argv[1])\n",
                     {folder.File("picture.png")});
  auto application = platform::CreateSpreadsheetApplication();
  auto book = XlsxWorkbook::CreateBlank(application, "Data");
  auto* sheet = dynamic_cast<XlsxWorksheet*>(book->WorksheetByName("Data").get());
  constexpr int kPictures = 200;
  for (int r = 1; r <= kPictures; ++r)
    sheet->AddPicture(folder.File("picture.png"), false, true, sheet->CellLeft(2), sheet->CellTop(r), -1, -1);
  auto visitedBy = [&](const CellRect& columns) {
    const std::uint64_t before = book->Work().itemsVisited;
    sheet->InsertCells(columns, platform::kShiftToRight);
    return book->Work().itemsVisited - before;
  };
  EXPECT_EQ(visitedBy(CellRect{1, 6, kMaxRows, 7}), 0u);
  EXPECT_EQ(visitedBy(CellRect{1, 1, kMaxRows, 1}), static_cast<std::uint64_t>(kPictures));
  const std::string output = folder.File("pictures.xlsx");
  book->SaveAs(output, std::nullopt);
  const std::string drawing = testing::ReadZipPart(output, "xl/drawings/drawing1.xml");
  static const std::regex fromColumn("<(?:xdr:)?from><(?:xdr:)?col>(\\d+)</");
  std::map<int, int> columns;
  for (std::sregex_iterator it(drawing.begin(), drawing.end(), fromColumn), end; it != end; ++it)
    ++columns[std::stoi((*it)[1])];
  EXPECT_EQ(columns, (std::map<int, int>{{2, kPictures}}));  // column C, 0-based
}

// Formulas released by overwritten cells or deleted rows give their slots to new formulas; a slot given again must
// not be reached through what the formula index kept of its former formula (a formula visited
// twice by one insertion would move twice).
TEST(EditCost, ReleasedFormulaSlotsAreReusedAndMoveOnce) {
  auto application = platform::CreateSpreadsheetApplication();
  auto book = XlsxWorkbook::CreateBlank(application, "Data");
  auto* sheet = dynamic_cast<XlsxWorksheet*>(book->WorksheetByName("Data").get());
  constexpr int kFormulas = 300;
  for (int round = 0; round < 6; ++round) {
    for (int r = 1; r <= kFormulas; ++r) sheet->SetFormula(r, 2, "A" + std::to_string(r + 1000 + round) + "*2");
    sheet->InsertCells(CellRect{500, 1, 501, kMaxColumns}, platform::kShiftDown);
    for (int r = 1; r <= kFormulas; r += 37)
      ASSERT_EQ(sheet->GetFormula(r, 2), "=A" + std::to_string(r + 1002 + round) + "*2") << "round " << round;
    sheet->InsertCells(CellRect{400, 3, 400, 3}, platform::kShiftDown);  // a band: no anchors
    for (int r = 1; r <= kFormulas; r += 37)
      ASSERT_EQ(sheet->GetFormula(r, 2), "=A" + std::to_string(r + 1002 + round) + "*2") << "round " << round;
    if (round % 2 == 0) {
      for (int r = 1; r <= kFormulas; ++r) sheet->SetValue(r, 2, Variant(1.0));  // released in place
    } else {
      sheet->DeleteCells(CellRect{1, 1, kFormulas, kMaxColumns}, platform::kShiftUp);
    }
  }
  EXPECT_LT(book->Formulas().size(), 2u * kFormulas + 64);
}

}  // namespace
}  // namespace tabrix::xlsx
