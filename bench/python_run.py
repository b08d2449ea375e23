#!/usr/bin/python3
"""A growing-table report of N rows x 8 fields from SQLite, run through tabrix.run (Python) and
through the foliowright program on the same definition, data and template, as a whole python3
process, and as a fill of the same rows read with sqlite3 into tabrix.recordset; prints wall and
CPU times and their ratios to foliowright. Each is run `repeats` times, alternating; the best of
each counts (CPU time is the steadier measure on a busy machine).

Usage: PYTHONPATH=build/python /usr/bin/python3 bench/python_run.py [N] [repeats]   (100000, 3)
Environment: TABRIX_BUILD_DIR (default build), BENCH_WORK (default $TMPDIR/tabrix-python-bench).
The build must hold foliowright and the Python package (cmake --build build --target foliowright _tabrix).
"""
import os
import random
import resource
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
    folder = os.environ.get("BENCH_WORK", os.path.join(tempfile.gettempdir(), "tabrix-python-bench"))
    os.makedirs(os.path.join(folder, "out"), exist_ok=True)
    make_data(folder, n)
    make_template(folder)
    definition = os.path.join(folder, "bench.def")
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
    script = f"import sys; sys.path.insert(0, {os.path.join(BUILD, 'python')!r}); import tabrix; " \
             f"tabrix.run({definition!r}, 'process')"
    runs = {"foliowright": lambda: subprocess.run([foliowright, "--quiet", definition, "program"], check=True),
            "tabrix.run": lambda: check(tabrix.run(definition, "python"), n),
            "+ on_progress": lambda: check(tabrix.run(definition, "progress", on_progress=lambda done, count: None), n),
            "python3 process": lambda: subprocess.run([sys.executable, "-c", script], check=True),
            "fill from rows": lambda: fill_from_rows(folder, n)}
    best = {name: (float("inf"), float("inf")) for name in runs}
    for _ in range(repeats):
        for name, work in runs.items():
            wall, cpu = timed(work)
            best[name] = (min(best[name][0], wall), min(best[name][1], cpu))

    base_wall, base_cpu = best["foliowright"]
    print(f"growing table, {n} rows x 8 fields, best of {repeats} (work folder {folder})")
    print(f"  {'':16s} {'wall s':>8s} {'cpu s':>8s}   ratio to foliowright (wall, cpu)")
    for name, (wall, cpu) in best.items():
        ratio = "" if name == "foliowright" else f"   {wall / base_wall:.3f}x, {cpu / base_cpu:.3f}x"
        print(f"  {name:16s} {wall:8.3f} {cpu:8.3f}{ratio}")


def fill_from_rows(folder, n):
    """The same table filled by a Python host: rows read with sqlite3, a recordset over them."""
    con = sqlite3.connect(os.path.join(folder, f"sales_{n}.db"))
    rows = con.execute("SELECT region, customer, order_no, order_date, product, qty, price, amount "
                       "FROM sales ORDER BY id").fetchall()
    con.close()
    data = tabrix.recordset(rows, ["region", "customer", "order_no", "order_date", "product", "qty", "price",
                                   "amount"])
    workbook = tabrix.open_workbook(os.path.join(folder, "template.xlsx"))
    tabrix.Tabrix().var_table_report(data, workbook["Sales"], "A5,B5,C5,D5,E5,F5,G5,H5", reserve=2)
    workbook.save_as(os.path.join(folder, "out", "rows.xlsx"))


def check(result, n):
    assert result.statements[0].records == n and result.statements[0].error is None


def timed(work):
    """Wall time and CPU time (this process and its children) of work()."""
    def cpu():
        own, children = resource.getrusage(resource.RUSAGE_SELF), resource.getrusage(resource.RUSAGE_CHILDREN)
        return own.ru_utime + own.ru_stime + children.ru_utime + children.ru_stime

    wall, used = time.perf_counter(), cpu()
    work()
    return time.perf_counter() - wall, cpu() - used


if __name__ == "__main__":
    main()
