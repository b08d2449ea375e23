/* C interface of the Tabrix reporting engine: run a definition file with parameters and options,
 * receive the run's events through callbacks, read each statement's outcome and the run's error.
 * A thin layer over tabrix::RunReport (tabrix/report_run.h); no C++ exception crosses it. */
#ifndef TABRIX_TABRIX_C_H
#define TABRIX_TABRIX_C_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Conventions
 *  - Texts in and out are UTF-8 and end with a NUL byte. A NULL text argument reads as "".
 *  - Handles are opaque. Whoever gets a handle from a *_new or tabrix_run_report call owns it and
 *    frees it with the matching *_free function (NULL is accepted there and ignored).
 *  - A text returned by a handle's accessor belongs to the handle: it stays valid, unchanged,
 *    until the handle is freed. Texts handed to a callback are valid during the call only; copy
 *    what you keep.
 *  - A handle serves one thread at a time. Separate handles may be used on separate threads at
 *    once (each run has its own state).
 *  - Every function catches whatever goes wrong inside and reports it as a status code; nothing
 *    unwinds through the caller. Callbacks must not unwind through the library either (no
 *    longjmp out of them). */

/* Status codes of the functions. */
typedef enum tabrix_status {
  TABRIX_OK = 0,               /* done; for tabrix_run_report: the report was saved */
  TABRIX_RUN_FAILED = 1,       /* the run ended with an error: tabrix_result_error tells which */
  TABRIX_INVALID_ARGUMENT = 2, /* a required argument was NULL, or more than 10 parameters */
  TABRIX_OUT_OF_MEMORY = 3,
  TABRIX_INTERNAL_ERROR = 4    /* anything else that went wrong inside the library */
} tabrix_status;

/* Statement types (the type of FunctionBeforeExectue and of tabrix_statement). */
enum { TABRIX_EXECSQL = 0, TABRIX_NAME = 1, TABRIX_REPORT = 2 };

/* An automation error: number 0 means success. Library errors have source "TabrixCom" and numbers
 * 0x80040000 + code (negative as int32_t; print them with "0x%08X" and (uint32_t)number). */
typedef struct tabrix_error {
  int32_t number;
  const char* source;
  const char* description;
} tabrix_error;

/* The login of a data source as the BeforeConnect event hands it over; the callback may read and
 * change it before the connection opens. Only valid during that callback. */
typedef struct tabrix_login tabrix_login;
const char* tabrix_login_user_id(const tabrix_login* login);
const char* tabrix_login_password(const tabrix_login* login);
const char* tabrix_login_data_source(const tabrix_login* login);
tabrix_status tabrix_login_set_user_id(tabrix_login* login, const char* user_id);
tabrix_status tabrix_login_set_password(tabrix_login* login, const char* password);
tabrix_status tabrix_login_set_data_source(tabrix_login* login, const char* data_source);

/* The six events of a run, each called on the thread that runs the report with the `user`
 * pointer given to tabrix_options_set_events. Any member may be NULL. The two "Exectue" names
 * follow the engine's event names (FunctionBeforeExectue, FunctionAfterExectue). */
typedef struct tabrix_events {
  /* Before each data source connects. */
  void (*before_connect)(void* user, tabrix_login* login);
  /* The template is open; the path of the workbook's file. */
  void (*template_open)(void* user, const char* workbook_path);
  /* The report is saved at its place; the path of the file the workbook was written to. */
  void (*report_complete)(void* user, const char* workbook_path);
  /* Before and after each statement: its name (after "@"), type (TABRIX_EXECSQL...), number
   * among the executed statements, and its SQL text or its outcome. */
  void (*function_before_exectue)(void* user, const char* name, int16_t type, int32_t number,
                                  const char* sql_text);
  void (*function_after_exectue)(void* user, const char* name, int16_t type, int32_t number,
                                 const tabrix_error* error);
  /* Progress of a fill: records written so far (0 before the first) of `record_count`. */
  void (*function_progress)(void* user, int32_t progress, int32_t record_count);
} tabrix_events;

/* Options of a run. A run without options (NULL) uses the definition file's settings. */
typedef struct tabrix_options tabrix_options;
tabrix_options* tabrix_options_new(void); /* NULL when out of memory */
void tabrix_options_free(tabrix_options* options);
/* The report file and its type (a ReportFileType name such as "xlCSV", or its number as text)
 * instead of the definition's ReportFileName and ReportFileType; NULL or "" keeps the
 * definition's. A relative report file is taken against the current directory. */
tabrix_status tabrix_options_set_report_file(tabrix_options* options, const char* report_file,
                                             const char* report_file_type);
/* The format-conversion table (fmtconv.cfg); NULL or "": the one installed with the library. */
tabrix_status tabrix_options_set_conversion_table(tabrix_options* options, const char* path);
/* The LibreOffice program for conversions (NULL or "": TABRIX_OFFICE_PROGRAM, then a PATH
 * search) and the longest time one conversion may take (0: TABRIX_OFFICE_TIMEOUT, then 300). */
tabrix_status tabrix_options_set_converter(tabrix_options* options, const char* program,
                                           int timeout_seconds);
/* Whether formulas are computed before saving (default 1). */
tabrix_status tabrix_options_set_recalculate(tabrix_options* options, int recalculate);
/* The callbacks of the run's events (copied; NULL: none) and the pointer they get. */
tabrix_status tabrix_options_set_events(tabrix_options* options, const tabrix_events* events,
                                        void* user);
/* Called with every line the run writes to its log, without the time prefix. */
tabrix_status tabrix_options_set_log_echo(tabrix_options* options,
                                          void (*echo)(void* user, const char* line), void* user);

/* What a run did. */
typedef struct tabrix_result tabrix_result;

/* Runs the report described by `definition_file` (absolute, or relative to the current directory)
 * with `parameter_count` (at most 10) parameter values; `parameters` may be NULL when the count is
 * 0, and a NULL value reads as "". `options` may be NULL.
 * Returns TABRIX_OK when the report was saved, TABRIX_RUN_FAILED when the run ended early or the
 * save failed (the result holds the error), another status when the call itself failed. `*result`
 * receives a result handle whenever memory allows, also for a failed call, with the reason as its
 * error (number 5 for an invalid argument, 7 out of memory, 0x800401FF anything else); free it
 * with tabrix_result_free. tabrix_result_error of a NULL result reads as error 5. Connections are
 * closed before the function returns, however the run ends. */
tabrix_status tabrix_run_report(const char* definition_file, const char* const* parameters,
                                size_t parameter_count, const tabrix_options* options,
                                tabrix_result** result);
void tabrix_result_free(tabrix_result* result);

/* The error that ended the run (number 0: the report was saved); the texts belong to the result. */
tabrix_error tabrix_result_error(const tabrix_result* result);
/* Absolute paths as far as the run got to know them ("" when it ended before). */
const char* tabrix_result_report_path(const tabrix_result* result);
const char* tabrix_result_log_path(const tabrix_result* result);
const char* tabrix_result_template_path(const tabrix_result* result);

/* One executed statement of the definition's script. */
typedef struct tabrix_statement {
  int32_t number;     /* position among executed statements (as in its events) */
  const char* name;   /* the name after "@" */
  int16_t type;       /* TABRIX_EXECSQL, TABRIX_NAME or TABRIX_REPORT */
  int32_t records;    /* records its query delivered (0 for EXECSQL) */
  tabrix_error error; /* number 0: it succeeded */
} tabrix_statement;
size_t tabrix_result_statement_count(const tabrix_result* result);
/* The statement at `index` (0-based, in the order they ran); TABRIX_INVALID_ARGUMENT when the
 * index is out of range. The texts belong to the result. */
tabrix_status tabrix_result_statement(const tabrix_result* result, size_t index,
                                      tabrix_statement* statement);

/* The version of the library, "major.minor.patch". */
const char* tabrix_version(void);

#ifdef __cplusplus
}
#endif

#endif /* TABRIX_TABRIX_C_H */
