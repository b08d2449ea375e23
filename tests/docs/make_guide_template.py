#!/usr/bin/python3
"""Writes a template workbook from the template description of a guide example.

Usage: /usr/bin/python3 make_guide_template.py DESCRIPTION OUTPUT.xlsx

Description lines (sheets are created in the order they first appear):
  Sheet!A1: text            a text; a number when the text is a number
  Sheet!B7: =SUM(B5:B6)     a formula
  name Total: Sheet!$B$7    a workbook name
  width Sheet!A: 30         a column width in characters
"""
import re
import sys

from openpyxl import Workbook
from openpyxl.workbook.defined_name import DefinedName

NUMBER = re.compile(r"^-?\d+(\.\d+)?$")


def main():
    description, output = sys.argv[1], sys.argv[2]
    wb = Workbook()
    wb.remove(wb.active)
    sheets = {}

    def sheet(name):
        if name not in sheets:
            sheets[name] = wb.create_sheet(name)
        return sheets[name]

    with open(description, encoding="utf-8") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            head, value = line.split(": ", 1) if ": " in line else (line.rstrip(":"), "")
            if head.startswith("name "):
                dn = DefinedName(head[5:], attr_text=value)
                try:
                    wb.defined_names.append(dn)
                except AttributeError:
                    wb.defined_names[head[5:]] = dn
            elif head.startswith("width "):
                name, column = head[6:].rsplit("!", 1)
                sheet(name).column_dimensions[column].width = float(value)
            else:
                name, cell = head.rsplit("!", 1)
                target = sheet(name)
                if NUMBER.match(value):
                    target[cell] = float(value) if "." in value else int(value)
                else:
                    target[cell] = value if value else None
    wb.save(output)


main()
