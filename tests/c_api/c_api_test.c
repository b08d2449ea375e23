/* The C interface from a C11 program: a whole report run on a real SQLite database and .xlsx
 * template (read back with openpyxl), its events through a user pointer, a failing statement, an
 * early failure with its number, and calls refused for their arguments. Exit status 0: passed. */
#define _POSIX_C_SOURCE 200809L

#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tabrix/tabrix_c.h"

static int failures = 0;

#define CHECK(condition)                                                   \
  do {                                                                     \
    if (!(condition)) {                                                    \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                          \
    }                                                                      \
  } while (0)

#define CHECK_TEXT(actual, expected)                                                             \
  do {                                                                                           \
    const char* actual_ = (actual);                                                              \
    if (strcmp(actual_, (expected)) != 0) {                                                      \
      fprintf(stderr, "%s:%d: %s is \"%s\", expected \"%s\"\n", __FILE__, __LINE__, #actual, actual_, \
              (expected));                                                                       \
      ++failures;                                                                                \
    }                                                                                            \
  } while (0)

static char folder[256];

static const char* in_folder(const char* name) {
  static char paths[4][512];
  static int next = 0;
  char* path = paths[next++ % 4];
  snprintf(path, sizeof paths[0], "%s/%s", folder, name);
  return path;
}

static void write_file(const char* path, const char* text) {
  FILE* file = fopen(path, "wb");
  if (!file || fputs(text, file) < 0 || fclose(file) != 0) {
    fprintf(stderr, "cannot write %s\n", path);
    exit(2);
  }
}

/* Everything a run reports through its callbacks, in order. */
typedef struct recorder {
  char events[32][200];
  int count;
  int progress_calls;
  int table_done;
  int log_lines;
  int renamed_in_log;
} recorder;

static void record(recorder* r, const char* text) {
  if (r->count < 32) snprintf(r->events[r->count++], sizeof r->events[0], "%s", text);
}

static void on_before_connect(void* user, tabrix_login* login) {
  char text[200];
  snprintf(text, sizeof text, "BeforeConnect %s user=%s", tabrix_login_data_source(login), tabrix_login_user_id(login));
  record(user, text);
  /* The run goes on with the changed login: the log names the data source as changed here. */
  CHECK(tabrix_login_set_data_source(login, "Renamed") == TABRIX_OK);
  CHECK(tabrix_login_set_user_id(login, "reporter") == TABRIX_OK);
  CHECK_TEXT(tabrix_login_user_id(login), "reporter");
}

static void on_template_open(void* user, const char* path) {
  record(user, strstr(path, "report.xlsx") ? "TemplateOpen report.xlsx" : "TemplateOpen ?");
}

static void on_report_complete(void* user, const char* path) {
  record(user, path[0] ? "ReportComplete" : "ReportComplete no path");
}

static void on_before(void* user, const char* name, int16_t type, int32_t number, const char* sql) {
  char text[200];
  snprintf(text, sizeof text, "Before %s %d %d %s", name, type, number, sql);
  record(user, text);
}

static void on_after(void* user, const char* name, int16_t type, int32_t number, const tabrix_error* error) {
  char text[200];
  snprintf(text, sizeof text, "After %s %d %d %s", name, type, number,
           error->number == 0 ? "ok" : error->source);
  record(user, text);
}

static void on_progress(void* user, int32_t progress, int32_t record_count) {
  recorder* r = user;
  ++r->progress_calls;
  /* The growing table reports each of its three records, the last one too. */
  if (progress == 3 && record_count == 3) ++r->table_done;
}

static void on_log_line(void* user, const char* line) {
  recorder* r = user;
  ++r->log_lines;
  if (strstr(line, "DSN=Renamed")) ++r->renamed_in_log;
}

static void make_database_and_template(void) {
  sqlite3* db = NULL;
  char* message = NULL;
  if (sqlite3_open(in_folder("items.db"), &db) != SQLITE_OK ||
      sqlite3_exec(db,
                   "CREATE TABLE items (name TEXT, qty INTEGER);"
                   "INSERT INTO items VALUES ('cherry', 7), ('apple', 3), ('banana', 1);",
                   NULL, NULL, &message) != SQLITE_OK) {
    fprintf(stderr, "SQLite: %s\n", message ? message : sqlite3_errmsg(db));
    exit(2);
  }
  sqlite3_close(db);
  char command[1024];
  snprintf(command, sizeof command, "/usr/bin/python3 %s/tests/component/data/make_templates.py %s",
           TABRIX_SOURCE_DIR, folder);
  if (system(command) != 0) {
    fprintf(stderr, "failed: %s\n", command);
    exit(2);
  }
}

/* Cells of the saved report as openpyxl reads them, one line. */
static void read_report(const char* path, char* out, size_t size) {
  char command[1024];
  snprintf(command, sizeof command,
           "/usr/bin/python3 -c \"import sys, openpyxl; wb = openpyxl.load_workbook(sys.argv[1]); "
           "d = wb['Data']; print('|'.join(str(d[r].value) for r in ('A1','A4','B4','A5','A6','B6','A7','B7')), "
           "wb.defined_names.get('RunYear').attr_text)\" '%s'",
           path);
  out[0] = '\0';
  FILE* pipe = popen(command, "r");
  if (!pipe) return;
  if (!fgets(out, (int)size, pipe)) out[0] = '\0';
  pclose(pipe);
  out[strcspn(out, "\n")] = '\0';
}

static void whole_run_with_events_and_a_failing_statement(void) {
  const char* definition = in_folder("report.def");
  write_file(definition,
             "Foliowright Version 2.0\r\n"
             "[Data Source]\r\nName1=Main\r\nConnectionString1=Provider=SQLite;Data Source=items.db\r\n"
             "[File]\r\nReportTemplateFileName=report.xlsx\r\nReportFileName=out\\ignored.xlsx\r\n"
             "ReportFileType=xlOpenXMLWorkbook\r\nLogFileName=run.log\r\n"
             "[Parameter]\r\nName1=%Year%\r\nName2=%Min%\r\n"
             "[SQL]\r\n"
             "@title=REPORT(SHEET=Data TYPE=FIX CELL=Title) SELECT 'Report %Year%'\r\n"
             "@bad=EXECSQL(CONNECT=1) UPDATE nosuchtable SET a = 1\r\n"
             "@items=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4) SELECT name, qty FROM items WHERE qty >= %Min% "
             "ORDER BY name\r\n"
             "@year=NAME(NAME=RunYear) SELECT %Year%\r\n");
  recorder events;
  memset(&events, 0, sizeof events);
  const tabrix_events callbacks = {on_before_connect, on_template_open, on_report_complete,
                                   on_before,         on_after,         on_progress};
  tabrix_options* options = tabrix_options_new();
  CHECK(options != NULL);
  CHECK(tabrix_options_set_events(options, &callbacks, &events) == TABRIX_OK);
  CHECK(tabrix_options_set_log_echo(options, on_log_line, &events) == TABRIX_OK);
  CHECK(tabrix_options_set_report_file(options, in_folder("chosen.xlsx"), "xlOpenXMLWorkbook") == TABRIX_OK);

  const char* const parameters[] = {"2009", "1"};
  tabrix_result* result = NULL;
  CHECK(tabrix_run_report(definition, parameters, 2, options, &result) == TABRIX_OK);
  tabrix_options_free(options);
  CHECK(result != NULL);
  if (!result) return;

  CHECK(tabrix_result_error(result).number == 0);
  CHECK_TEXT(tabrix_result_report_path(result), in_folder("chosen.xlsx"));
  CHECK_TEXT(tabrix_result_log_path(result), in_folder("run.log"));
  CHECK_TEXT(tabrix_result_template_path(result), in_folder("report.xlsx"));

  /* Each statement's outcome: the failing one carries the database's error. */
  static const struct {
    const char* name;
    int16_t type;
    int32_t records;
    int failed;
  } expected[] = {{"title", TABRIX_REPORT, 1, 0}, {"bad", TABRIX_EXECSQL, 0, 1},
                  {"items", TABRIX_REPORT, 3, 0}, {"year", TABRIX_NAME, 1, 0}};
  CHECK(tabrix_result_statement_count(result) == 4);
  for (size_t i = 0; i < 4 && i < tabrix_result_statement_count(result); ++i) {
    tabrix_statement statement;
    CHECK(tabrix_result_statement(result, i, &statement) == TABRIX_OK);
    CHECK_TEXT(statement.name, expected[i].name);
    CHECK(statement.number == (int32_t)i + 1);
    CHECK(statement.type == expected[i].type);
    CHECK(statement.records == expected[i].records);
    CHECK((statement.error.number != 0) == expected[i].failed);
    if (expected[i].failed) CHECK(strstr(statement.error.description, "nosuchtable") != NULL);
  }
  tabrix_statement beyond;
  CHECK(tabrix_result_statement(result, 4, &beyond) == TABRIX_INVALID_ARGUMENT);

  /* The events in order, each with the recorder as its user pointer. */
  static const char* const order[] = {
      "BeforeConnect Main user=",
      "TemplateOpen report.xlsx",
      "Before title 2 1 SELECT 'Report 2009'",
      "After title 2 1 ok",
      "Before bad 0 2 UPDATE nosuchtable SET a = 1",
      "After bad 0 2 SQLite",
      "Before items 2 3 SELECT name, qty FROM items WHERE qty >= 1 ORDER BY name",
      "After items 2 3 ok",
      "Before year 1 4 SELECT 2009",
      "After year 1 4 ok",
      "ReportComplete",
  };
  CHECK(events.count == (int)(sizeof order / sizeof order[0]));
  for (int i = 0; i < events.count && i < (int)(sizeof order / sizeof order[0]); ++i) {
    /* The failing statement's source is the driver's; only its start is fixed here. */
    if (strncmp(order[i], "After bad", 9) == 0)
      CHECK(strncmp(events.events[i], "After bad 0 2 ", 14) == 0 && strcmp(events.events[i], "After bad 0 2 ok") != 0);
    else
      CHECK_TEXT(events.events[i], order[i]);
  }
  CHECK(events.progress_calls > 1 && events.table_done == 1);
  CHECK(events.log_lines > 10 && events.renamed_in_log == 1);

  char cells[512];
  read_report(tabrix_result_report_path(result), cells, sizeof cells);
  CHECK_TEXT(cells, "Report 2009|apple|3|banana|cherry|7|Total|=SUM(B4:B6) 2009");
  tabrix_result_free(result);
}

static void early_failure_and_refused_calls(void) {
  tabrix_result* result = NULL;
  /* A definition file that does not exist ends the run before it starts. */
  CHECK(tabrix_run_report(in_folder("missing.def"), NULL, 0, NULL, &result) == TABRIX_RUN_FAILED);
  CHECK(result != NULL);
  if (result) {
    const tabrix_error error = tabrix_result_error(result);
    CHECK((uint32_t)error.number == 0x8004000Bu);
    CHECK_TEXT(error.source, "TabrixCom");
    CHECK(strlen(error.description) > 0);
    CHECK(tabrix_result_statement_count(result) == 0);
    CHECK_TEXT(tabrix_result_report_path(result), "");
    tabrix_result_free(result);
  }

  /* Calls refused for their arguments still explain why through the handle. */
  const char* eleven[11] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"};
  CHECK(tabrix_run_report(in_folder("report.def"), eleven, 11, NULL, &result) == TABRIX_INVALID_ARGUMENT);
  CHECK(result != NULL && tabrix_result_error(result).number == 5);
  if (result) CHECK(strstr(tabrix_result_error(result).description, "10 parameters") != NULL);
  tabrix_result_free(result);
  CHECK(tabrix_run_report(NULL, NULL, 0, NULL, &result) == TABRIX_INVALID_ARGUMENT);
  CHECK(result != NULL && tabrix_result_error(result).number == 5);
  tabrix_result_free(result);
  CHECK(tabrix_run_report(in_folder("report.def"), NULL, 0, NULL, NULL) == TABRIX_INVALID_ARGUMENT);
}

int main(void) {
  snprintf(folder, sizeof folder, "/tmp/tabrix-c-XXXXXX");
  if (!mkdtemp(folder)) {
    perror("mkdtemp");
    return 2;
  }
  make_database_and_template();
  whole_run_with_events_and_a_failing_statement();
  early_failure_and_refused_calls();
  char command[300];
  snprintf(command, sizeof command, "rm -rf '%s'", folder);
  if (!getenv("TABRIX_KEEP") && system(command) != 0) fprintf(stderr, "could not remove %s\n", folder);
  if (failures) fprintf(stderr, "%d checks failed\n", failures);
  else printf("all checks passed\n");
  return failures ? 1 : 0;
}
