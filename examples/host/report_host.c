/* A C host program of the Tabrix library (tabrix/tabrix_c.h), built against an installed copy
 * (see CMakeLists.txt beside it): runs the report a definition file describes and prints each
 * statement's outcome as it finishes.   report_host_c DEFINITION_FILE [PARAM1 ... PARAM10] */
#include <stdint.h>
#include <stdio.h>

#include "tabrix/tabrix_c.h"

/* Events arrive on the calling thread while the report runs; `user` is the failure counter. */
static void statement_done(void* user, const char* name, int16_t type, int32_t number, const tabrix_error* error) {
  (void)type;
  (void)number;
  printf("@%s: %s\n", name, error->number == 0 ? "done" : error->description);
  if (error->number != 0) ++*(int*)user;
}

int main(int argc, char** argv) {
  if (argc < 2 || argc > 12) {
    fprintf(stderr, "Usage: report_host_c DEFINITION_FILE [PARAM1 ... PARAM10]\n");
    return 2;
  }
  int failures = 0;
  tabrix_events events = {0};
  events.function_after_exectue = statement_done;
  tabrix_options* options = tabrix_options_new();
  if (!options || tabrix_options_set_events(options, &events, &failures) != TABRIX_OK) return 2;

  tabrix_result* result = NULL;
  const tabrix_status status =
      tabrix_run_report(argv[1], (const char* const*)(argv + 2), (size_t)(argc - 2), options, &result);
  tabrix_options_free(options);
  if (status != TABRIX_OK) {
    const tabrix_error error = tabrix_result_error(result);
    fprintf(stderr, "report failed: 0x%08X (%s): %s\n", (unsigned)(uint32_t)error.number, error.source,
            error.description);
    tabrix_result_free(result);
    return 1;
  }
  printf("report %s finished, %d statement(s) failed\n", tabrix_result_report_path(result), failures);
  tabrix_result_free(result);
  return failures == 0 ? 0 : 1;
}
