// The C interface (tabrix/tabrix_c.h) over RunReport: handles own C++ objects, callbacks are
// reached through a TabrixEvents adapter, and every entry point turns exceptions into a status.
#include "tabrix/tabrix_c.h"

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "tabrix/error.h"
#include "tabrix/error_codes.h"
#include "tabrix/report_run.h"
#include "tabrix/tabrix.h"

struct tabrix_login {
  std::string* user;
  std::string* password;
  std::string* dataSource;
};

struct tabrix_options {
  tabrix::RunOptions run;
  tabrix_events events{};
  void* eventUser = nullptr;
  bool hasEvents = false;
  void (*echo)(void*, const char*) = nullptr;
  void* echoUser = nullptr;
};

struct tabrix_result {
  tabrix::RunResult run;
};

namespace {

constexpr std::int32_t kInvalidArgument = 5;  // "Invalid procedure call or argument"
constexpr std::int32_t kOutOfMemory = 7;
constexpr std::size_t kMaxParameters = 10;

const char* Text(const char* text) { return text ? text : ""; }

// Runs `body`, mapping what it throws to a status.
template <typename Body>
tabrix_status Guarded(Body&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return TABRIX_OUT_OF_MEMORY;
  } catch (...) {
    return TABRIX_INTERNAL_ERROR;
  }
}

tabrix_error ErrorView(const tabrix::ErrObject& error) {
  return tabrix_error{error.Number, error.Source.c_str(), error.Description.c_str()};
}

// The run's events handed to the C callbacks.
class CallbackEvents : public tabrix::TabrixEvents {
 public:
  CallbackEvents(const tabrix_events& callbacks, void* user) : callbacks_(callbacks), user_(user) {}

  void BeforeConnect(std::string& user, std::string& password, std::string& dataSource,
                     tabrix::ConnectionPtr&) override {
    if (!callbacks_.before_connect) return;
    tabrix_login login{&user, &password, &dataSource};
    callbacks_.before_connect(user_, &login);
  }
  void TemplateOpen(tabrix::WorkbookPtr workbook) override {
    if (callbacks_.template_open) callbacks_.template_open(user_, PathOf(workbook).c_str());
  }
  void ReportComplete(tabrix::WorkbookPtr workbook) override {
    if (callbacks_.report_complete) callbacks_.report_complete(user_, PathOf(workbook).c_str());
  }
  void FunctionBeforeExectue(std::string name, std::int16_t type, std::int32_t number, std::string sql) override {
    if (callbacks_.function_before_exectue)
      callbacks_.function_before_exectue(user_, name.c_str(), type, number, sql.c_str());
  }
  void FunctionAfterExectue(std::string name, std::int16_t type, std::int32_t number,
                            tabrix::ErrObject error) override {
    if (!callbacks_.function_after_exectue) return;
    const tabrix_error view = ErrorView(error);
    callbacks_.function_after_exectue(user_, name.c_str(), type, number, &view);
  }
  void FunctionProgress(std::int32_t progress, std::int32_t recordCount) override {
    if (callbacks_.function_progress) callbacks_.function_progress(user_, progress, recordCount);
  }

 private:
  static std::string PathOf(const tabrix::WorkbookPtr& workbook) { return workbook ? workbook->FullName() : ""; }

  tabrix_events callbacks_;
  void* user_;
};

tabrix_status SetLoginText(tabrix_login* login, std::string* tabrix_login::*field, const char* value) {
  if (!login) return TABRIX_INVALID_ARGUMENT;
  return Guarded([&] {
    *(login->*field) = Text(value);
    return TABRIX_OK;
  });
}

// A result that holds only the reason a call failed (null when even that cannot be allocated).
tabrix_result* FailedCall(std::int32_t number, const char* description) noexcept {
  auto* result = new (std::nothrow) tabrix_result;
  if (!result) return nullptr;
  try {
    result->run.Error = tabrix::ErrObject{number, tabrix::kProductName, description};
  } catch (...) {
    result->run.Error.Number = number;
  }
  return result;
}

}  // namespace

extern "C" {

const char* tabrix_login_user_id(const tabrix_login* login) { return login ? login->user->c_str() : ""; }
const char* tabrix_login_password(const tabrix_login* login) { return login ? login->password->c_str() : ""; }
const char* tabrix_login_data_source(const tabrix_login* login) { return login ? login->dataSource->c_str() : ""; }
tabrix_status tabrix_login_set_user_id(tabrix_login* login, const char* value) {
  return SetLoginText(login, &tabrix_login::user, value);
}
tabrix_status tabrix_login_set_password(tabrix_login* login, const char* value) {
  return SetLoginText(login, &tabrix_login::password, value);
}
tabrix_status tabrix_login_set_data_source(tabrix_login* login, const char* value) {
  return SetLoginText(login, &tabrix_login::dataSource, value);
}

tabrix_options* tabrix_options_new(void) { return new (std::nothrow) tabrix_options; }
void tabrix_options_free(tabrix_options* options) { delete options; }

tabrix_status tabrix_options_set_report_file(tabrix_options* options, const char* reportFile,
                                             const char* reportFileType) {
  if (!options) return TABRIX_INVALID_ARGUMENT;
  return Guarded([&] {
    options->run.ReportFile = Text(reportFile);
    options->run.ReportFileType = Text(reportFileType);
    return TABRIX_OK;
  });
}

tabrix_status tabrix_options_set_conversion_table(tabrix_options* options, const char* path) {
  if (!options) return TABRIX_INVALID_ARGUMENT;
  return Guarded([&] {
    options->run.ConversionTable = Text(path);
    return TABRIX_OK;
  });
}

tabrix_status tabrix_options_set_converter(tabrix_options* options, const char* program, int timeoutSeconds) {
  if (!options || timeoutSeconds < 0) return TABRIX_INVALID_ARGUMENT;
  return Guarded([&] {
    options->run.ConverterProgram = Text(program);
    options->run.ConverterTimeoutSeconds = timeoutSeconds;
    return TABRIX_OK;
  });
}

tabrix_status tabrix_options_set_recalculate(tabrix_options* options, int recalculate) {
  if (!options) return TABRIX_INVALID_ARGUMENT;
  options->run.Recalculate = recalculate != 0;
  return TABRIX_OK;
}

tabrix_status tabrix_options_set_events(tabrix_options* options, const tabrix_events* events, void* user) {
  if (!options) return TABRIX_INVALID_ARGUMENT;
  options->hasEvents = events != nullptr;
  options->events = events ? *events : tabrix_events{};
  options->eventUser = user;
  return TABRIX_OK;
}

tabrix_status tabrix_options_set_log_echo(tabrix_options* options, void (*echo)(void*, const char*), void* user) {
  if (!options) return TABRIX_INVALID_ARGUMENT;
  options->echo = echo;
  options->echoUser = user;
  return TABRIX_OK;
}

tabrix_status tabrix_run_report(const char* definitionFile, const char* const* parameters, size_t parameterCount,
                                const tabrix_options* options, tabrix_result** result) {
  if (!result) return TABRIX_INVALID_ARGUMENT;
  *result = nullptr;
  if (!definitionFile || (parameterCount > 0 && !parameters) || parameterCount > kMaxParameters) {
    *result = FailedCall(kInvalidArgument,
                         !definitionFile ? "Invalid procedure call or argument: no definition file."
                         : parameterCount > kMaxParameters
                             ? "Invalid procedure call or argument: a run takes at most 10 parameters."
                             : "Invalid procedure call or argument: no parameter values.");
    return TABRIX_INVALID_ARGUMENT;
  }
  try {
    auto owned = std::make_unique<tabrix_result>();
    std::vector<std::string> values;
    for (std::size_t i = 0; i < parameterCount; ++i) values.emplace_back(Text(parameters[i]));
    tabrix::RunOptions run = options ? options->run : tabrix::RunOptions{};
    std::unique_ptr<CallbackEvents> events;
    if (options && options->hasEvents) {
      events = std::make_unique<CallbackEvents>(options->events, options->eventUser);
      run.Events = events.get();
    }
    if (options && options->echo) {
      auto* echo = options->echo;
      void* user = options->echoUser;
      run.LogEcho = [echo, user](const std::string& line) { echo(user, line.c_str()); };
    }
    owned->run = tabrix::RunReport(definitionFile, values, run);
    const bool saved = owned->run.Succeeded();
    *result = owned.release();
    return saved ? TABRIX_OK : TABRIX_RUN_FAILED;
  } catch (const std::bad_alloc&) {
    *result = FailedCall(kOutOfMemory, "Out of memory");
    return TABRIX_OUT_OF_MEMORY;
  } catch (const std::exception& error) {
    *result = FailedCall(tabrix::kErrUnexpected, error.what());
    return TABRIX_INTERNAL_ERROR;
  } catch (...) {
    *result = FailedCall(tabrix::kErrUnexpected, "Unknown error");
    return TABRIX_INTERNAL_ERROR;
  }
}

void tabrix_result_free(tabrix_result* result) { delete result; }

tabrix_error tabrix_result_error(const tabrix_result* result) {
  if (!result) return tabrix_error{kInvalidArgument, "", ""};
  return ErrorView(result->run.Error);
}

const char* tabrix_result_report_path(const tabrix_result* result) {
  return result ? result->run.ReportPath.c_str() : "";
}
const char* tabrix_result_log_path(const tabrix_result* result) { return result ? result->run.LogPath.c_str() : ""; }
const char* tabrix_result_template_path(const tabrix_result* result) {
  return result ? result->run.TemplatePath.c_str() : "";
}

size_t tabrix_result_statement_count(const tabrix_result* result) {
  return result ? result->run.Statements.size() : 0;
}

tabrix_status tabrix_result_statement(const tabrix_result* result, size_t index, tabrix_statement* statement) {
  if (!result || !statement || index >= result->run.Statements.size()) return TABRIX_INVALID_ARGUMENT;
  const tabrix::StatementOutcome& outcome = result->run.Statements[index];
  *statement = tabrix_statement{outcome.Number, outcome.Name.c_str(), outcome.Type, outcome.Records,
                                ErrorView(outcome.Error)};
  return TABRIX_OK;
}

const char* tabrix_version(void) { return tabrix::kComponentVersion; }

}  // extern "C"
