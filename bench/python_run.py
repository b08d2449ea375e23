#!/usr/bin/python3
"""A growing-table report of N rows x 8 fields from SQLite, run through tabrix.run (Python) and
through the foliowright program on the same definition, data and template; prints both times and
the ratio. Each is run `repeats` times, alternating; the best time of each counts.

Usage: PYTHONPATH=build/python /usr/bin/python3 bench/python_run.py [N] [repeats]   (100000, 3)
Environment: TABRIX_BUILD_DIR (default build), BENCH_WORK (default $TMPDIR/tabrix-python-bench).
The build must hold foliowright and the Python package (cmake --build build --target foliowright _tabrix).
"""
import os
import random
import sqlite3
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.environ.get("TABRIX_BUILD_DIR", os.path.join(ROOT, "build"))
sys.path.insert(0, os.path.join(BUILD, "python"))
import tabrix  # noqa: E402
from openpyxl import Workbook  # noqa: E402


def make_data(folder, n):
    path = os.path.join(folder, f"sales_{n}.db")
    if os.path.exists(path):
        return
    rnd = random.Random(20261206)
    con = sqlite3.connect(path)
    con.execute("CREATE TABLE sales (id INTEGER, region TEXT, customer TEXT, order_no INTEGER, order_date TEXT, "
                "product TEXT, qty INTEGER, price REAL, amount REAL)")
    rows = []
    for i in range(n):
        qty, price = rnd.randint(1, 20), round(rnd.uniform(1, 500), 2)
        rows.append((i, f"Region {chr(65 + i % 20)}", f"Customer {i // 37:05d}", 100000 + i // 5,
                     f"2024-{1 + i % 12:02d}-{1 + i % 28:02d}", f"Product {i % 200:03d}", qty, price,
                     round(qty * price, 2)))
    con.executemany("INSERT INTO sales VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)", rows)
    con.commit()
    con.close()


def make_template(folder):
    wb = Workbook()
    ws = wb.active
    ws.title = "Sales"
    ws["A1"] = "Sales"
    for column, title in enumerate(["Region", "Customer", "Order", "Date", "Product", "Qty", "Price", "Amount"], 1):
        ws.cell(4, column, title)
    ws["A7"], ws["F7"], ws["H7"] = "Total", "=SUM(F5:F6)", "=SUM(H5:H6)"
    wb.save(os.path.join(folder, "template.xlsx"))


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 100000
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    work = os.environ.get("BENCH_WORK", os.path.join(tempfile.gettempdir(), "tabrix-python-bench"))
    os.makedirs(os.path.join(work, "out"), exist_ok=True)
    make_data(work, n)
    make_template(work)
    definition = os.path.join(work, "bench.def")
    with open(definition, "w", newline="\r\n") as f:
        f.write(f"""Foliowright Version 2.0
[Data Source]
Name1=SalesDB
ConnectionString1=Provider=SQLite;Data Source=sales_{n}.db
[File]
ReportTemplateFileName=template.xlsx
ReportFileName=out/%Who%.xlsx
ReportFileType=xlOpenXMLWorkbook
LogFileName=out/%Who%.log
[Parameter]
Name1=%Who%
[SQL]
@sales=REPORT(CONNECT=SalesDB SHEET=Sales TYPE=VAR RESERVE=2 CELL=A5,B5,C5,D5,E5,F5,G5,H5)
SELECT region, customer, order_no, order_date, product, qty, price, amount FROM sales ORDER BY id
""")
    foliowright = os.path.join(BUILD, "foliowright")
    best = {"foliowright": float("inf"), "tabrix.run": float("inf"), "python3 process": float("inf")}
    script = f"import sys; sys.path.insert(0, {os.path.join(BUILD, 'python')!r}); import tabrix; " \
             f"tabrix.run({definition!r}, 'process')"
    for _ in range(repeats):
        start = time.perf_counter()
        subprocess.run([foliowright, "--quiet", definition, "program"], check=True)
        best["foliowright"] = min(best["foliowright"], time.perf_counter() - start)

        start = time.perf_counter()
        result = tabrix.run(definition, "python")
        best["tabrix.run"] = min(best["tabrix.run"], time.perf_counter() - start)
        assert result.statements[0].records == n and result.statements[0].error is None

        start = time.perf_counter()
        subprocess.run([sys.executable, "-c", script], check=True)
        best["python3 process"] = min(best["python3 process"], time.perf_counter() - start)

    base = best["foliowright"]
    print(f"growing table, {n} rows x 8 fields, best of {repeats} (work folder {work})")
    for name, seconds in best.items():
        ratio = "" if name == "foliowright" else f"   {seconds / base:.3f}x foliowright"
        print(f"  {name:16s} {seconds:7.3f} s{ratio}")


if __name__ == "__main__":
    main()
