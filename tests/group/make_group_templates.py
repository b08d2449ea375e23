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

Usage: /usr/bin/python3 make_group_templates.py OUTDIR
"""
import os
import re
import sys

from openpyxl import Workbook
from openpyxl.styles import Font
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


def build(path, transpose):
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
    wb.save(path)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    build(os.path.join(out, "orders.xlsx"), transpose=False)
    build(os.path.join(out, "orders_right.xlsx"), transpose=True)


if __name__ == "__main__":
    main()
