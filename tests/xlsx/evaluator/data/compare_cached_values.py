# Lists every formula cell of a workbook with its cached value in two files: the workbook as
# our engine saved it and the same workbook recalculated by LibreOffice.
#
# usage: compare_cached_values.py OURS.xlsx LIBREOFFICE.xlsx
# output: one line per formula cell: sheet, cell, our value, LibreOffice's value, formula;
# values as "n:<number>", "t:<text>", "b:TRUE", "e:#N/A" or "empty", tab-separated.
import datetime
import warnings
import sys

import openpyxl
from openpyxl.utils.datetime import to_excel

warnings.simplefilter("ignore")


def describe(cell):
    v = cell.value
    if v is None:
        return "empty"
    if isinstance(v, bool):
        return "b:TRUE" if v else "b:FALSE"
    if isinstance(v, (datetime.datetime, datetime.date, datetime.time, datetime.timedelta)):
        return "n:%r" % float(to_excel(v))
    if isinstance(v, (int, float)):
        return "n:%r" % float(v)
    text = str(v).replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")
    return ("e:" if cell.data_type == "e" else "t:") + text


formulas = openpyxl.load_workbook(sys.argv[1])
ours = openpyxl.load_workbook(sys.argv[1], data_only=True)
theirs = openpyxl.load_workbook(sys.argv[2], data_only=True)
for ws in formulas.worksheets:
    for row in ws.iter_rows():
        for cell in row:
            if not (isinstance(cell.value, str) and cell.value.startswith("=")):
                continue
            a = describe(ours[ws.title][cell.coordinate])
            b = describe(theirs[ws.title][cell.coordinate])
            print("\t".join([ws.title, cell.coordinate, a, b, cell.value.replace("\t", " ")]))
