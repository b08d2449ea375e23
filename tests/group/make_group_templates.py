#!/usr/bin/python3
"""Templates of the grouped-report tests.

orders.xlsx, sheet "Report" (records going down), customer / order / line:
  row 3  customer header   A3 [customer]
  row 4  order header      B4 [order]
  row 5  order line        C5 [item]  D5 [qty]  E5 [amount]
  row 6  order footer      B6 "Order total"     F6 =SUM(E5:E6)
  row 7  customer footer   A7 "Customer total"  F7 =SUM(E3:E7)
  row 9  A9 "Grand total"  F9 =SUM(E3:E8)
  row 10 A10 "end"
  H3..H10 "side3".."side10": cells beside the table
The totals reach one row past the rows they add up, so that the rows inserted for further
records land inside their ranges. A second sheet "Other" keeps the workbook alive when the
report deletes its worksheet.

orders_right.xlsx, sheet "Report": the same template transposed (records going right).

orders_decorated.xlsx: orders.xlsx decorated the way real templates are: on the line row a
merged A5:B5, a list validation on D5, F5 =E5/$F$9 (the line's share of the grand total),
G5 =D5*E5 merged with G6 of the order footer; conditional formats on both header rows, a hyperlink on G3, a taller row 5 and a
wider column C; the names GrandTotal and Lines; a sheet "Summary" with an array formula over
the amounts; a bar chart over E3:E8. orders_outside.xlsx adds G5 =E4+E6, a line formula
reaching the rows above and below its own.

Usage: /usr/bin/python3 make_group_templates.py OUTDIR
"""
import os
import re
import sys

from openpyxl import Workbook
from openpyxl.chart import BarChart, Reference
from openpyxl.formatting.rule import CellIsRule
from openpyxl.styles import Font, PatternFill
from openpyxl.workbook.defined_name import DefinedName
from openpyxl.worksheet.datavalidation import DataValidation
from openpyxl.utils import get_column_letter, column_index_from_string

CELLS = {
    (1, 1): "Orders",
    (3, 1): "[customer]",
    (4, 2): "[order]",
    (5, 3): "[item]",
    (5, 4): "[qty]",
    (5, 5): "[amount]",
    (6, 2): "Order total",
    (6, 6): "=SUM(E5:E6)",
    (7, 1): "Customer total",
    (7, 6): "=SUM(E3:E7)",
    (9, 1): "Grand total",
    (9, 6): "=SUM(E3:E8)",
    (10, 1): "end",
}
for r in range(3, 11):
    CELLS[(r, 8)] = f"side{r}"


def transpose_formula(text):
    def swap(m):
        col, row = m.group(1), int(m.group(2))
        return f"{get_column_letter(row)}{column_index_from_string(col)}"
    return re.sub(r"([A-Z]+)([0-9]+)", swap, text[1:]) if text.startswith("=") else text


def decorate(wb, outside):
    ws = wb["Report"]
    ws.merge_cells("A5:B5")
    ws["A5"] = "line"
    validation = DataValidation(type="list", formula1='"1,2,3"', allow_blank=True)
    ws.add_data_validation(validation)
    validation.add("D5")
    ws["F5"] = "=E5/$F$9"
    ws["F5"].number_format = "0.00%"
    ws["G5"] = "=E4+E6" if outside else "=D5*E5"
    ws.merge_cells("G5:G6")
    red = PatternFill("solid", fgColor="FFFFC7CE")
    ws.conditional_formatting.add("A3:G3", CellIsRule(operator="equal", formula=['"C1"'], fill=red))
    ws.conditional_formatting.add("B4:G4", CellIsRule(operator="greaterThan", formula=["$F$9"], fill=red))
    ws["G3"] = "top"
    ws["G3"].hyperlink = "#Report!A1"
    ws.row_dimensions[5].height = 18
    ws.column_dimensions["C"].width = 14
    wb.defined_names.append(DefinedName("GrandTotal", attr_text="Report!$F$9"))
    wb.defined_names.append(DefinedName("Lines", attr_text="Report!$E$3:$E$8"))
    summary = wb["Other"]
    summary["B1"] = "=MAX(Report!E3:E8*1)"
    summary.formula_attributes["B1"] = {"t": "array", "ref": "B1"}
    chart = BarChart()
    chart.add_data(Reference(ws, min_col=5, min_row=3, max_row=8), titles_from_data=False)
    ws.add_chart(chart, "J3")


def build(path, transpose, decorated=False, outside=False):
    wb = Workbook()
    ws = wb.active
    ws.title = "Report"
    for (r, c), value in CELLS.items():
        if transpose:
            r, c = c, r
            if isinstance(value, str) and value.startswith("="):
                value = "=" + transpose_formula(value)
        ws.cell(row=r, column=c, value=value)
    ws.cell(row=1, column=1).font = Font(bold=True)
    other = wb.create_sheet("Other")
    other["A1"] = "kept"
    if decorated:
        decorate(wb, outside)
    wb.save(path)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    build(os.path.join(out, "orders.xlsx"), transpose=False)
    build(os.path.join(out, "orders_right.xlsx"), transpose=True)
    build(os.path.join(out, "orders_decorated.xlsx"), transpose=False, decorated=True)
    build(os.path.join(out, "orders_outside.xlsx"), transpose=False, decorated=True, outside=True)


if __name__ == "__main__":
    main()
