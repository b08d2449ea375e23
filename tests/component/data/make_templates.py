#!/usr/bin/python3
"""Templates of the run tests.   Usage: /usr/bin/python3 make_templates.py FOLDER

FOLDER/report.xlsx
  Data    A1 title (name Title); row 3 headers; rows 4-5 the reserved rows of a growing table
          (item, quantity); row 6 "Total" with =SUM(B4:B5); A8 a note below the table
  Groups  A2 group key (header row 2), A3:B3 detail, A4 footer text; the group spans A2:B4
  Other   B1 holds the name RunYear
"""
import os
import sys

from openpyxl import Workbook
from openpyxl.workbook.defined_name import DefinedName


def add_name(wb, name, ref):
    dn = DefinedName(name, attr_text=ref)
    try:
        wb.defined_names.append(dn)
    except AttributeError:
        wb.defined_names[name] = dn


folder = sys.argv[1]
os.makedirs(folder, exist_ok=True)
wb = Workbook()
ws = wb.active
ws.title = "Data"
ws["A1"] = "Title"
ws["A3"] = "Item"
ws["B3"] = "Qty"
ws["A6"] = "Total"
ws["B6"] = "=SUM(B4:B5)"
ws["A8"] = "note"
add_name(wb, "Title", "Data!$A$1")

gs = wb.create_sheet("Groups")
gs["A1"] = "Groups"
gs["A4"] = "end of group"

os_ = wb.create_sheet("Other")
os_["A1"] = "Year"
os_["B1"] = 0
add_name(wb, "RunYear", "Other!$B$1")

wb.active = 0
wb.save(os.path.join(folder, "report.xlsx"))
