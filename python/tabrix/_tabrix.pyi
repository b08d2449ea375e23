# Type stubs of the extension module tabrix._tabrix (the classes the package tabrix re-exports).
from __future__ import annotations

import datetime
import os
from typing import Any, Callable, Iterable, Optional, Sequence, Union

Path = Union[str, os.PathLike[str]]
Value = Union[None, bool, int, float, str, bytes, datetime.date, datetime.datetime, datetime.time]
CellPath = Union[str, os.PathLike[str]]
Value = Union[None, bool, float, str, bytes, datetime.datetime]

version: str

class ErrorInfo:
    number: int
    source: str
    description: str

class Statement:
    number: int
    name: str
    type: int
    records: int
    error: Optional[ErrorInfo]

class SkippedStatement:
    line: int
    name: str
    reason: str

class RunResult:
    report: str
    log: str
    template: str
    statements: list[Statement]
    skipped: list[SkippedStatement]
    error: Optional[ErrorInfo]

class Recordset:
    columns: list[str]
    is_open: bool
    def rows(self) -> list[tuple[CellValue, ...]]: ...
    def close(self) -> None: ...

class Connection:
    connection_string: str
    is_open: bool
    def __init__(self, connection_string: str = "", user: str = "", password: str = "",
                 base_folder: Path = "") -> None: ...
    def execute(self, sql: str) -> None: ...
    def query(self, sql: str) -> Recordset: ...
    def close(self) -> None: ...
    def __enter__(self) -> Connection: ...
    def __exit__(self, *args: Any) -> None: ...

def recordset(data: Any, columns: Optional[Sequence[str]] = None) -> Recordset: ...

class Application:
    version: str
    def __init__(self, recalculate: bool = True, converter_program: str = "",
                 converter_timeout: int = 0) -> None: ...
    def open(self, path: Path, read_only: bool = True) -> Workbook: ...

class Workbook:
    full_name: str
    name: str
    file_format: int
    application: Application
    sheet_names: list[str]
    active_sheet: Worksheet
    def worksheet(self, key: Union[int, str]) -> Worksheet: ...
    def __getitem__(self, key: Union[int, str]) -> Worksheet: ...
    def __len__(self) -> int: ...
    def save_as(self, path: Path, format: Union[None, int, str] = None) -> None: ...
    def has_name(self, name: str) -> bool: ...
    def set_name(self, name: str, value: Value) -> None: ...

class Worksheet:
    name: str
    workbook: Workbook
    def __getitem__(self, reference: str) -> CellValue: ...
    def __setitem__(self, reference: str, value: Value) -> None: ...
    def cell(self, row: int, column: int) -> CellValue: ...
    def set_cell(self, row: int, column: int, value: Value) -> None: ...
    def activate(self) -> None: ...
    def protect(self, password: Optional[str] = None) -> None: ...
    def delete(self) -> None: ...

class Login:
    user: str
    password: str
    data_source: str
    connection: Optional[Connection]

class Tabrix:
    before_connect: Optional[Callable[[Login], Any]]
    template_open: Optional[Callable[[Workbook], Any]]
    report_complete: Optional[Callable[[Workbook], Any]]
    function_before_execute: Optional[Callable[[str, int, int, str], Any]]
    function_after_execute: Optional[Callable[[str, int, int, Optional[ErrorInfo]], Any]]
    function_progress: Optional[Callable[[int, int], Any]]
    # The interface's own names of the same attributes.
    BeforeConnect = before_connect
    TemplateOpen = template_open
    ReportComplete = report_complete
    FunctionBeforeExectue = function_before_execute
    FunctionAfterExectue = function_after_execute
    FunctionProgress = function_progress
    def __init__(self) -> None: ...
    def fix_table_report(self, recordset: Recordset, worksheet: Worksheet, cell_list: str, range: str = "",
                         copy: int = 0, fill_order: int = 0, image_list: str = "", page_break: str = "") -> None: ...
    def var_table_report(self, recordset: Recordset, worksheet: Worksheet, cell_list: str, range: str = "",
                         copy: int = 0, reserve: int = 1, fill_order: int = 0, image_list: str = "",
                         page_break: str = "", no_data: int = 0) -> None: ...
    def group_table_report(self, recordset: Recordset, worksheet: Worksheet, cell_list: str, range: str = "",
                           fill_order: int = 0, image_list: str = "", page_break: str = "", no_data: int = 0,
                           groups: Iterable[tuple[str, str]] = ()) -> None: ...
    def set_excel_name(self, recordset: Recordset, workbook: Workbook, name_list: str) -> None: ...
    def foliowright(self, application: Application, definition: Path, *params: Any) -> None: ...
    FixTableReport = fix_table_report
    VarTableReport = var_table_report
    GroupTableReport = group_table_report
    SetExcelName = set_excel_name
    Foliowright = foliowright

def _set_conversion_table(path: str) -> None: ...
def _definition_parameters(definition: str) -> list[tuple[str, str]]: ...
def _run(definition: str, parameters: list[str], output: str, type: str, conversion_table: str,
         on_progress: Optional[Callable[[int, int], Any]], on_statement: Optional[Callable[[Statement], Any]],
         before_connect: Optional[Callable[[Login], Any]], application: Optional[Application],
         recalculate: bool) -> RunResult: ...
