"""Tabrix for Python: run report definitions, or fill templates from your own data.

    import tabrix
    result = tabrix.run("reports/sales.def", 2024)
    print(result.report)

See help(tabrix.run), tabrix.Tabrix, tabrix.recordset and the guide's Python page.
"""
# The package around the extension module _tabrix: run(), the error classes, and the
# format-conversion table shipped beside the module.
import os as _os

from . import _tabrix
from ._tabrix import (Application, Connection, ErrorInfo, Login, Recordset, RunResult, SkippedStatement,
                      Statement, Tabrix, Workbook, Worksheet, recordset)

__all__ = ["run", "open_workbook", "Error", "RunError", "Tabrix", "Application", "Workbook", "Worksheet", "Connection",
           "Recordset", "recordset", "RunResult", "Statement", "SkippedStatement", "ErrorInfo", "Login"]
__version__ = _tabrix.version

_CONVERSION_TABLE = _os.path.join(_os.path.dirname(_os.path.abspath(__file__)), "fmtconv.cfg")
_tabrix._set_conversion_table(_CONVERSION_TABLE)


class Error(Exception):
    """An error of the engine, a database driver or the workbook engine.

    number: the error number as an unsigned value (0x8004000E: the template is missing, ...);
    source: who raised it ("TabrixCom" for the engine's own errors); description: the message.
    """

    def __init__(self, number, source, description):
        super().__init__(number, source, description)
        self.number = number
        self.source = source
        self.description = description

    def __str__(self):
        return f"0x{self.number:08X} ({self.source}): {self.description}"


class RunError(Error):
    """A run that ended before its report was saved. Besides number, source and description:
    log, the path of the run log (empty when the run ended before it was opened), and result,
    the RunResult with the statements that ran."""

    def __init__(self, number, source, description, log="", result=None):
        super().__init__(number, source, description)
        self.log = log
        self.result = result


def _text(value):
    return "" if value is None else str(value)


def run(definition, *params, output=None, type=None, on_progress=None, on_statement=None,
        before_connect=None, conversion_table=None, application=None, recalculate=True):
    """Run the report a definition file describes and return what it did.

    definition: path of the definition file (relative to the current directory).
    params: values of the definition's parameters Name1, Name2, ... in order (up to 10; numbers
        and other values are turned into text). Parameters not given take their DefaultN values,
        as on the command line. More values than the definition has parameters: TypeError.
    output: save the report to this file instead of the definition's ReportFileName (relative to
        the current directory).
    type: save in this format instead of the definition's ReportFileType: a name or number of
        the conversion table ("xlOpenXMLWorkbook", "xlTypePDF", "xlCSV", 51, ...).
    on_progress(progress, record_count): called while a REPORT statement fills, once with 0 and
        then once per record.
    on_statement(statement): called after each statement with a Statement (below).
    before_connect(login): called before each data source connects. login.user,
        login.password and login.data_source may be changed (a password from a vault, say), and
        login.connection replaced by a tabrix.Connection of your own.
    conversion_table: a fmtconv.cfg to use instead of the one shipped with the package.
    application: a tabrix.Application to open the template with (the report then stays open in
        it); None: a new one, computing formulas before saving unless recalculate is False.

    Returns a RunResult:
        .report       absolute path of the saved report
        .log          absolute path of the run log
        .statements   one Statement per executed statement: .number, .name (after "@"),
                      .type (0 EXECSQL, 1 NAME, 2 REPORT), .records, and .error: None when it
                      succeeded, otherwise an ErrorInfo with .number, .source, .description
        .skipped      statements that did not run (.line, .name, .reason)

    A statement that fails does not end the run: the report is saved and the failure is in its
    Statement's .error (and the log). A run that ends early (definition or template missing,
    no connection, report not saved) raises tabrix.RunError with .number, .source,
    .description, .log and .result.

    The engine works without holding the GIL, so reports run in parallel on several threads;
    callbacks are called on the running thread with the GIL. An exception raised by a callback
    fails what the engine was doing (the connection, the statement) and is raised again by
    run() once the run is over.
    """
    definition = _os.fspath(definition)
    values = [_text(p) for p in params]
    try:
        declared = _tabrix._definition_parameters(definition)
    except Error:
        declared = None  # the run reports a definition it cannot read
    if declared is not None:
        if len(values) > len(declared):
            raise TypeError(f"{definition} has {len(declared)} parameters, but {len(values)} values were given")
        values += [default for _, default in declared[len(values):]]
    result = _tabrix._run(definition, values, _text(output and _os.fspath(output)), _text(type),
                          _text(conversion_table and _os.fspath(conversion_table)), on_progress, on_statement,
                          before_connect, application, recalculate)
    error = result.error
    if error is not None:
        raise RunError(error.number, error.source, error.description, result.log, result)
    return result


def open_workbook(path, read_only=True, **settings):
    """Open a workbook (a template) in a new Application(**settings)."""
    return Application(**settings).open(path, read_only)
