# Shared pieces of the Python package's tests: the example sales report built in a temporary
# folder, small definition files and templates, and reading reports back with openpyxl.
import os
import shutil
import sqlite3
import subprocess
import sys

import pytest
from openpyxl import Workbook, load_workbook

SOURCE = os.environ.get("TABRIX_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
EXAMPLE = os.path.join(SOURCE, "examples", "sales")


@pytest.fixture
def sales(tmp_path):
    """The example sales report (examples/sales) with its database and template in tmp_path."""
    shutil.copy(os.path.join(EXAMPLE, "sales.def"), tmp_path)
    con = sqlite3.connect(tmp_path / "sales.db")
    with open(os.path.join(EXAMPLE, "sales.sql"), encoding="utf-8") as f:
        con.executescript(f.read())
    con.close()
    subprocess.run([sys.executable, os.path.join(EXAMPLE, "make_template.py"), str(tmp_path)], check=True,
                   stdout=subprocess.DEVNULL)
    return tmp_path


def write_definition(path, statements, template="items.xlsx", data_source=None):
    """A definition file over items.db and `template` in the folder of `path`."""
    data_source = data_source or ["Name1=Main", "ConnectionString1=Provider=SQLite;Data Source=items.db"]
    lines = ["Foliowright Version 2.0", "[Data Source]", "EncryptPassword=N", *data_source, "[File]",
             f"ReportTemplateFileName={template}", "ReportFileName=out\\items.xlsx", "LogFileName=out\\items.log",
             "[SQL]", *statements]
    path.write_bytes("\r\n".join(lines).encode() + b"\r\n")
    return path


def make_items(folder, rows=(("cherry", 7), ("apple", 3), ("banana", 11))):
    """items.db with a table items(name, qty), and the template items.xlsx."""
    con = sqlite3.connect(folder / "items.db")
    con.execute("CREATE TABLE items (name TEXT, qty INTEGER)")
    con.executemany("INSERT INTO items VALUES (?, ?)", rows)
    con.commit()
    con.close()
    make_template(folder)
    return folder


def make_template(folder):
    """items.xlsx: sheet Data with headers in row 3, the reserved rows 4-5 of a growing table and
    a total in row 6 (tests/install uses it too)."""
    wb = Workbook()
    ws = wb.active
    ws.title = "Data"
    ws["A1"] = "Items"
    ws["A3"], ws["B3"], ws["C3"] = "Item", "Qty", "When"
    ws["A6"], ws["B6"] = "Total", "=SUM(B4:B5)"
    wb.save(folder / "items.xlsx")


def cells(path, sheet, first_row, last_row, columns):
    """Values of a block of a saved report, row by row."""
    ws = load_workbook(path)[sheet]
    return [[c.value for c in row] for row in ws.iter_rows(min_row=first_row, max_row=last_row, max_col=columns)]
