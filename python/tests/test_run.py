# tabrix.run: whole runs of definition files, failing statements, runs that end early, the
# callbacks in the order the engine raises them, and reports running on two threads at once.
import os
import sqlite3
import threading
import time

import pytest
import tabrix
from conftest import cells, make_items, write_definition


def test_the_example_report_runs_whole(sales):
    result = tabrix.run(sales / "sales.def", 2024)
    assert os.path.isfile(result.report) and result.report.endswith("Sales_2024.xlsx")
    assert os.path.isfile(result.log)
    assert [(s.name, s.type, s.error) for s in result.statements] == [
        ("run", 0, None), ("title", 2, None), ("products", 2, None), ("regions", 2, None), ("allregions", 2, None)]
    con = sqlite3.connect(sales / "sales.db")
    products = con.execute("SELECT p.code, p.name FROM sales s JOIN products p ON p.code = s.product "
                           "WHERE substr(s.order_date, 1, 4) = '2024' GROUP BY p.code ORDER BY p.code").fetchall()
    assert con.execute("SELECT year FROM report_runs").fetchall() == [(2024,)]
    assert result.statements[2].records == len(products) > 1
    table = cells(result.report, "Summary", 5, 4 + len(products), 3)
    assert [(row[1], row[2]) for row in table] == products
    assert cells(result.report, "Summary", 1, 1, 1) == [["Sales report 2024"]]
    # The regions' footer line holds the year's amount as the database sums it.
    total = con.execute("SELECT ROUND(SUM(amount), 2) FROM sales WHERE order_date LIKE '2024%'").fetchone()[0]
    assert ["All regions", total] in [[row[0], row[3]] for row in cells(result.report, "Regions", 1, 60, 4)]


def test_a_failing_statement_is_reported_and_the_report_saved(tmp_path):
    make_items(tmp_path)
    write_definition(tmp_path / "items.def", [
        "@bad=REPORT(CONNECT=Main SHEET=Data CELL=A4,B4)", "SELECT name, qty FROM nowhere",
        "@items=REPORT(CONNECT=Main SHEET=Data RESERVE=2 CELL=A4,B4)", "SELECT name, qty FROM items ORDER BY name"])
    result = tabrix.run(tmp_path / "items.def", output=tmp_path / "report.xlsx")
    assert result.report == str(tmp_path / "report.xlsx")
    bad, items = result.statements
    assert (items.name, items.records, items.error) == ("items", 3, None)
    assert bad.name == "bad" and bad.error.number != 0 and bad.error.source
    assert "no such table: nowhere" in bad.error.description
    assert cells(result.report, "Data", 4, 7, 2) == [["apple", 3], ["banana", 11], ["cherry", 7],
                                                     ["Total", "=SUM(B4:B6)"]]


@pytest.mark.parametrize("case, number, has_log", [
    ("no definition", 0x8004000B, False),
    ("no template", 0x8004000E, True),
])
def test_a_run_that_ends_early_raises_its_error(tmp_path, case, number, has_log):
    make_items(tmp_path)
    definition = tmp_path / "missing.def"
    if case == "no template":
        write_definition(definition, ["@items=REPORT(CONNECT=Main SHEET=Data CELL=A4)", "SELECT name FROM items"],
                         template="gone.xlsx")
    with pytest.raises(tabrix.RunError) as raised:
        tabrix.run(definition)
    error = raised.value
    assert (error.number, error.source) == (number, "TabrixCom")
    assert error.description and f"0x{number:08X}" in str(error)
    assert os.path.isfile(error.log) == has_log
    assert error.result.report == "" or not os.path.exists(error.result.report)


def test_callbacks_come_in_order_with_progress(tmp_path):
    make_items(tmp_path)
    write_definition(tmp_path / "items.def", [
        "@touch=EXECSQL(CONNECT=Main)", "UPDATE items SET qty = qty + 1",
        "@items=REPORT(CONNECT=Main SHEET=Data RESERVE=2 CELL=A4,B4)", "SELECT name, qty FROM items ORDER BY qty"])
    seen = []
    tabrix.run(tmp_path / "items.def",
               before_connect=lambda login: seen.append(("connect", login.data_source)),
               on_progress=lambda progress, count: seen.append(("progress", progress, count)),
               on_statement=lambda s: seen.append(("statement", s.name, s.type, s.records, s.error)))
    assert seen == [("connect", "Main"), ("statement", "touch", 0, 0, None),
                    ("progress", 0, 3), ("progress", 1, 3), ("progress", 2, 3), ("progress", 3, 3),
                    ("statement", "items", 2, 3, None)]


def test_an_exception_in_a_callback_is_raised_again(tmp_path):
    make_items(tmp_path)
    write_definition(tmp_path / "items.def", ["@items=REPORT(CONNECT=Main SHEET=Data CELL=A4)", "SELECT name FROM items"])

    def vault(login):
        raise KeyError("no secret for " + login.data_source)

    with pytest.raises(KeyError, match="no secret for Main"):
        tabrix.run(tmp_path / "items.def", before_connect=vault)
    # The connection failed with the handler's text, so the run ended early.
    with open(tmp_path / "out" / "items.log", encoding="utf-8", errors="replace") as log:
        assert "no secret for Main" in log.read()


def test_before_connect_supplies_the_password(tmp_path):
    dsn, user, password = (os.environ.get(k, "") for k in
                           ("TABRIX_TEST_PG_DSN", "TABRIX_TEST_PG_USER", "TABRIX_TEST_PG_PASSWORD"))
    if not dsn:
        if os.environ.get("TABRIX_REQUIRE_PG") == "1" or os.environ.get("CI") == "true":
            pytest.fail("The PostgreSQL test server is not running (scripts/test-services.sh).")
        pytest.skip("The PostgreSQL test server (scripts/test-services.sh) is not running")
    make_items(tmp_path)
    write_definition(tmp_path / "pg.def", [
        "@items=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4)",
        "SELECT name, qty FROM (VALUES ('fig', 4), ('kiwi', 9)) AS t(name, qty) ORDER BY qty DESC"],
        data_source=[f"Name1={dsn}", f"User1={user}", "Password1=not the password"])
    with pytest.raises(tabrix.RunError):
        tabrix.run(tmp_path / "pg.def")

    def login_from_vault(login):
        assert (login.data_source, login.user, login.password) == (dsn, user, "not the password")
        login.password = password

    result = tabrix.run(tmp_path / "pg.def", before_connect=login_from_vault)
    assert cells(result.report, "Data", 4, 5, 2) == [["kiwi", 9], ["fig", 4]]


def test_two_threads_run_reports_at_once(tmp_path):
    rows = 40000
    spans, results, errors = {}, {}, []
    for who in ("a", "b"):
        folder = tmp_path / who
        folder.mkdir()
        make_items(folder, rows=[(f"{who}{i:06d}", i) for i in range(rows)])
        write_definition(folder / "items.def", ["@items=REPORT(CONNECT=Main SHEET=Data RESERVE=2 CELL=A4,B4)",
                                                "SELECT name, qty FROM items ORDER BY name"])

    def work(who):
        try:
            start = time.monotonic()
            results[who] = tabrix.run(tmp_path / who / "items.def")
            spans[who] = (start, time.monotonic())
        except Exception as error:  # noqa: BLE001 - reported by the main thread
            errors.append(error)

    threads = [threading.Thread(target=work, args=(who,)) for who in ("a", "b")]
    for thread in threads:
        thread.start()
    # The engine does not hold the GIL: this thread keeps running Python while the reports run.
    ticks = 0
    while any(thread.is_alive() for thread in threads):
        ticks += 1
        time.sleep(0.001)
    assert errors == []
    (a_start, a_end), (b_start, b_end) = spans["a"], spans["b"]
    assert a_start < b_end and b_start < a_end, "the runs did not overlap"
    assert ticks > 50
    for who in ("a", "b"):
        assert results[who].statements[0].records == rows
        assert cells(results[who].report, "Data", 4, 4, 2) == [[f"{who}000000", 0]]


def test_the_component_runs_a_definition_with_its_six_events(tmp_path):
    make_items(tmp_path)
    write_definition(tmp_path / "items.def", ["@items=REPORT(CONNECT=Main SHEET=Data RESERVE=2 CELL=A4,B4)",
                                              "SELECT name, qty FROM items ORDER BY name"])
    engine, seen = tabrix.Tabrix(), []
    engine.BeforeConnect = lambda login: seen.append(("BeforeConnect", login.data_source))
    engine.template_open = lambda workbook: seen.append(("TemplateOpen", workbook["Data"]["A4"]))
    engine.FunctionBeforeExectue = lambda name, kind, number, sql: seen.append(("Before", name, kind, number, sql))
    engine.function_progress = lambda done, count: seen.append(("Progress", done, count)) if done == count else None
    engine.FunctionAfterExectue = lambda name, kind, number, error: seen.append(("After", name, number, error))
    engine.report_complete = lambda workbook: seen.append(("ReportComplete", workbook["Data"]["A4"]))
    application = tabrix.Application()
    engine.foliowright(application, tmp_path / "items.def")
    assert seen == [("BeforeConnect", "Main"), ("TemplateOpen", None),
                    ("Before", "items", 2, 1, "SELECT name, qty FROM items ORDER BY name"), ("Progress", 3, 3),
                    ("After", "items", 1, None), ("ReportComplete", "apple")]
    with pytest.raises(tabrix.Error) as raised:
        engine.Foliowright(application, str(tmp_path / "missing.def"))
    assert raised.value.number == 0x8004000B
