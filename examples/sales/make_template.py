#!/usr/bin/python3
"""Creates the sales report's template workbook and its product pictures.

Usage: /usr/bin/python3 make_template.py [FOLDER]   (default: the folder of this script)
Writes FOLDER/sales_template.xlsx and FOLDER/images/*.png.

Sheet "Summary"
  A1  title (merged A1:F1), workbook name ReportTitle; A2 period, name ReportPeriod
  4   column headers
  5-6 the two reserved rows of the growing product table (A5 holds the picture options)
  7   totals: =SUM(E5:E6), =SUM(F5:F6) grow with the table; name GrandTotal on F7
  9   footer note (merged A9:F9), moves down with the table
Sheet "Regions"
  3-7 one region group: header row 3 (region; manager in C3), column headers row 4, customer rows
      starting at row 5, footer row 6 (region totals), blank row 7
  9   all regions: names RegionsQuantity (C9) and RegionsAmount (D9)
"""
import os
import struct
import sys
import zlib

from openpyxl import Workbook
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side
from openpyxl.workbook.defined_name import DefinedName


def png(path, color, mark):
    """A 16x16 picture: a coloured square with a lighter mark, written without an image library."""
    size = 16
    rows = []
    for y in range(size):
        row = bytearray([0])  # filter type none
        for x in range(size):
            inside = 1 <= x < size - 1 and 1 <= y < size - 1
            marked = mark(x, y)
            if not inside:
                pixel = (90, 90, 90)
            elif marked:
                pixel = tuple(min(255, c + 110) for c in color)
            else:
                pixel = color
            row += bytes(pixel)
        rows.append(bytes(row))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    data = b"\x89PNG\r\n\x1a\n"
    data += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
    data += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


def add_name(wb, name, ref):
    dn = DefinedName(name, attr_text=ref)
    try:
        wb.defined_names.append(dn)  # openpyxl 3.0
    except AttributeError:
        wb.defined_names[name] = dn  # openpyxl 3.1


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(os.path.join(folder, "images"), exist_ok=True)
    png(os.path.join(folder, "images", "coffee.png"), (111, 78, 55), lambda x, y: (x - 8) ** 2 + (y - 8) ** 2 < 16)
    png(os.path.join(folder, "images", "tea.png"), (60, 130, 70), lambda x, y: abs(x - y) < 2)
    png(os.path.join(folder, "images", "equipment.png"), (70, 90, 150), lambda x, y: 6 <= x <= 9 or 6 <= y <= 9)
    png(os.path.join(folder, "images", "supplies.png"), (200, 150, 40), lambda x, y: (x + y) % 5 == 0)

    bold = Font(bold=True)
    header_fill = PatternFill("solid", fgColor="FFDDEBF7")
    detail_fill = PatternFill("solid", fgColor="FFFFF8E1")
    group_fill = PatternFill("solid", fgColor="FFE2EFDA")
    thin = Side(style="thin", color="FF808080")
    top_line = Border(top=thin)

    wb = Workbook()
    ws = wb.active
    ws.title = "Summary"
    ws["A1"] = "Sales report"
    ws["A1"].font = Font(bold=True, size=16)
    ws["A1"].alignment = Alignment(horizontal="center")
    ws.merge_cells("A1:F1")
    ws.row_dimensions[1].height = 24
    ws["A2"] = "Period"
    ws["A2"].font = Font(italic=True)
    ws.merge_cells("A2:F2")
    for col, text in zip("ABCDEF", ["", "Code", "Product", "Category", "Quantity", "Amount"]):
        cell = ws[col + "4"]
        cell.value = text
        cell.font = bold
        cell.fill = header_fill
        if col in "EF":
            cell.alignment = Alignment(horizontal="right")
    ws["A5"] = "MNS"  # picture options of the picture field: move with the cells, keep the size
    for row in (5, 6):
        for col in "ABCDEF":
            ws[f"{col}{row}"].fill = detail_fill
        ws[f"E{row}"].number_format = "#,##0"
        ws[f"F{row}"].number_format = "#,##0.00"
    ws["C7"] = "Total"
    ws["E7"] = "=SUM(E5:E6)"
    ws["F7"] = "=SUM(F5:F6)"
    ws["E7"].number_format = "#,##0"
    ws["F7"].number_format = "#,##0.00"
    for col in "ABCDEF":
        ws[f"{col}7"].font = bold
        ws[f"{col}7"].border = top_line
    ws["A9"] = "Amounts in EUR. The picture shows the product's category."
    ws["A9"].font = Font(italic=True, color="FF606060")
    ws.merge_cells("A9:F9")
    for col, width in zip("ABCDEF", [4, 8, 26, 12, 10, 12]):
        ws.column_dimensions[col].width = width
    ws.sheet_properties.pageSetUpPr.fitToPage = True  # one page wide, as many pages down as needed
    ws.page_setup.fitToWidth = 1
    ws.page_setup.fitToHeight = 0
    add_name(wb, "ReportTitle", "Summary!$A$1")
    add_name(wb, "ReportPeriod", "Summary!$A$2")
    add_name(wb, "GrandTotal", "Summary!$F$7")

    rs = wb.create_sheet("Regions")
    rs["A1"] = "Sales by region and customer"
    rs["A1"].font = Font(bold=True, size=14)
    rs["A3"] = "region"
    rs["B3"] = "Manager:"
    rs["B3"].alignment = Alignment(horizontal="right")
    rs["C3"] = "manager"
    for col in "ABCD":
        rs[f"{col}3"].font = bold
        rs[f"{col}3"].fill = group_fill
    for col, text in zip("ABCD", ["Customer", "Orders", "Quantity", "Amount"]):
        rs[col + "4"] = text
        rs[col + "4"].font = Font(italic=True)
        if col != "A":
            rs[col + "4"].alignment = Alignment(horizontal="right")
    rs["C5"].number_format = "#,##0"
    rs["D5"].number_format = "#,##0.00"
    rs["A6"] = "Region total"
    rs["C6"].number_format = "#,##0"
    rs["D6"].number_format = "#,##0.00"
    for col in "ABCD":
        rs[f"{col}6"].font = bold
        rs[f"{col}6"].border = top_line
    rs["A9"] = "All regions"
    rs["C9"].number_format = "#,##0"
    rs["D9"].number_format = "#,##0.00"
    for col in "ABCD":
        rs[f"{col}9"].font = Font(bold=True, size=12)
    for col, width in zip("ABCD", [26, 10, 10, 12]):
        rs.column_dimensions[col].width = width
    add_name(wb, "RegionsQuantity", "Regions!$C$9")
    add_name(wb, "RegionsAmount", "Regions!$D$9")

    wb.active = 0
    out = os.path.join(folder, "sales_template.xlsx")
    wb.save(out)
    print(out)


if __name__ == "__main__":
    main()
