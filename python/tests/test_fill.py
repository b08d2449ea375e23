# The component from Python: templates opened, tables filled from Python data and from SQL, names,
# events of a fill, errors of the engine, and saving in another format through LibreOffice.
import datetime
import math
import sqlite3

import pytest
import tabrix
from conftest import cells, make_items
from openpyxl import load_workbook

ROWS = [("fig", 4, datetime.datetime(2024, 3, 1)), ("kiwi", None, datetime.datetime(2024, 3, 2, 12, 0)),
        ("lime", 2.5, None)]
COLUMNS = ["name", "qty", "when"]


class Frame:
    """A data frame as far as tabrix looks at one: columns and itertuples()."""

    def __init__(self, rows, columns):
        self.rows, self.columns = rows, columns

    def itertuples(self, index=True, name="Pandas"):
        assert (index, name) == (False, None)
        return iter(self.rows)


def cursor(folder):
    con = sqlite3.connect(folder / "python.db", detect_types=sqlite3.PARSE_DECLTYPES)
    con.execute("CREATE TABLE t (name TEXT, qty REAL, \"when\" TIMESTAMP)")
    con.executemany("INSERT INTO t VALUES (?, ?, ?)", ROWS)
    return con.execute("SELECT name, qty, \"when\" FROM t ORDER BY name")


@pytest.mark.parametrize("shape", ["tuples", "dicts", "frame", "cursor"])
def test_a_growing_table_fills_from_python_rows(tmp_path, shape):
    make_items(tmp_path)
    data = {"tuples": lambda: tabrix.recordset(ROWS, COLUMNS),
            "dicts": lambda: tabrix.recordset([dict(zip(COLUMNS, row)) for row in ROWS]),
            "frame": lambda: tabrix.recordset(Frame(ROWS, COLUMNS)),
            "cursor": lambda: tabrix.recordset(cursor(tmp_path))}[shape]()
    assert data.columns == COLUMNS
    workbook = tabrix.open_workbook(tmp_path / "items.xlsx")
    tabrix.Tabrix().var_table_report(data, workbook["Data"], "A4,B4,C4", reserve=2)
    workbook.save_as(tmp_path / "out.xlsx")
    values = cells(tmp_path / "out.xlsx", "Data", 4, 7, 2)
    assert values == [["fig", 4], ["kiwi", ""], ["lime", 2.5], ["Total", "=SUM(B4:B6)"]]
    computed = load_workbook(tmp_path / "out.xlsx", data_only=True)["Data"]
    assert computed["B7"].value == 6.5
    assert [computed.cell(r, 3).value for r in (4, 5, 6)] == [ROWS[0][2], ROWS[1][2], ""]


def test_values_go_into_cells_and_come_back(tmp_path):
    workbook = tabrix.Application().open(str(make_items(tmp_path) / "items.xlsx"))
    sheet = workbook.worksheet(1)
    when = datetime.datetime(2024, 2, 29, 6, 30, 15)
    cases = [(None, None, None), (True, True, True), (3, 3.0, 3), (-2.5, -2.5, -2.5), (math.nan, None, None),
             ("grüße", "grüße", "grüße"), (when, when, when),
             (datetime.date(1900, 1, 15), datetime.datetime(1900, 1, 15), datetime.datetime(1900, 1, 15)),
             (datetime.date(1900, 3, 1), datetime.datetime(1900, 3, 1), datetime.datetime(1900, 3, 1)),
             (datetime.time(18, 45), datetime.time(18, 45), datetime.time(18, 45))]
    for row, (value, back, _) in enumerate(cases, 10):
        sheet[f"D{row}"] = value
        assert sheet.cell(row, 4) == back, value
    with pytest.raises(TypeError, match="cannot store a value of type object"):
        sheet["D2"] = object()
    # An independent reader sees the same values in the saved file.
    workbook.save_as(str(tmp_path / "values.xlsx"))
    saved = load_workbook(tmp_path / "values.xlsx")["Data"]
    assert [saved.cell(row, 4).value for row in range(10, 10 + len(cases))] == [c[2] for c in cases]


def test_grouped_fixed_and_named_fills_from_sql_saved_as_csv(sales):
    workbook = tabrix.open_workbook(sales / "sales_template.xlsx")
    engine = tabrix.Tabrix()
    with tabrix.Connection("Provider=SQLite;Data Source=sales.db", base_folder=sales) as db:
        engine.fix_table_report(db.query("SELECT 'Sales', 'All years'"), workbook["Summary"], "ReportTitle,ReportPeriod")
        engine.set_excel_name(db.query("SELECT 'Quarterly'"), workbook, "ReportTitle")
        regions = db.query("SELECT region, manager FROM regions ORDER BY region").rows()
        engine.group_table_report(
            db.query("SELECT r.region, r.manager, 0 AS q, 0 AS a, c.name, 1, 2, 3 FROM customers c "
                     "JOIN regions r ON r.region = c.region ORDER BY r.region, c.name"),
            workbook["Regions"], "A3,C3,C6,D6,A5,B5,C5,D5", groups=[("region,manager,q,a", "A3:D7")])
    assert workbook["Summary"]["A1"] == "Sales" and workbook["Summary"]["A2"] == "All years"
    workbook["Regions"].activate()
    workbook.save_as(str(sales / "regions.csv"), "xlCSV")
    text = (sales / "regions.csv").read_text(encoding="utf-8", errors="replace")
    heads = [line.split(",")[0] for line in text.splitlines()]
    assert [region for region, _ in regions] == [h for h in heads if h in {r for r, _ in regions}]
    assert len(regions) > 1


def test_a_fill_raises_progress_events_and_engine_errors(tmp_path):
    make_items(tmp_path)
    workbook = tabrix.open_workbook(tmp_path / "items.xlsx")
    engine = tabrix.Tabrix()
    progress = []
    engine.FunctionProgress = lambda done, count: progress.append((done, count))
    assert engine.function_progress is engine.FunctionProgress
    engine.var_table_report(tabrix.recordset([("a",), ("b",)], ["name"]), workbook["data"], "A4")
    assert progress == [(0, 2), (1, 2), (2, 2)]

    with pytest.raises(tabrix.Error) as missing:
        workbook["Nope"]
    assert missing.value.number == 9
    with pytest.raises(tabrix.Error) as bad_cells:
        engine.fix_table_report(tabrix.recordset([(1,)], ["n"]), workbook[1], "!!")
    assert (bad_cells.value.number, bad_cells.value.source) == (0x80040071, "TabrixCom")

    def stop(done, count):
        if done == 1:
            raise RuntimeError("enough")

    engine.function_progress = stop
    with pytest.raises(RuntimeError, match="enough"):
        engine.var_table_report(tabrix.recordset([("c",), ("d",)], ["name"]), workbook["Data"], "A4")
