"""Writes an .xlsx workbook from a JSON description, for the formula tests.

Usage: make_workbook.py spec.json out.xlsx
spec: {"sheets": [{"name": "Data", "cells": [[row, col, value, format?], ...]}]}
A text value starting with "=" is written as a formula.
"""
import json
import sys

import openpyxl


def main():
    spec = json.load(open(sys.argv[1], encoding="utf-8"))
    workbook = openpyxl.Workbook()
    workbook.remove(workbook.active)
    for sheet in spec["sheets"]:
        ws = workbook.create_sheet(sheet["name"])
        for entry in sheet["cells"]:
            row, col, value = entry[0], entry[1], entry[2]
            cell = ws.cell(row=row, column=col, value=value)
            if len(entry) > 3:
                cell.number_format = entry[3]
    workbook.save(sys.argv[2])


if __name__ == "__main__":
    main()
