// The event bridge: the engine's six events, raised on the thread that runs a report or a fill
// (without the GIL), handed to Python callables with the GIL taken for the call only.
#include <stdexcept>
#include <string>
#include <utility>

#include "bindings.h"
#include "tabrix/report_run.h"

namespace tabrix::python {
namespace {

enum Handler { kBeforeConnect, kTemplateOpen, kReportComplete, kBeforeExecute, kAfterExecute, kProgress, kStatement };

}  // namespace

void EventBridge::Arm() {
  const py::object* handlers[] = {&beforeConnect, &templateOpen, &reportComplete, &beforeExecute,
                                  &afterExecute, &progress, &statement};
  for (int i = 0; i < 7; ++i) has_[i] = !handlers[i]->is_none();
  pending_.reset();
}

void EventBridge::RaisePending() {
  if (!pending_) return;
  py::error_already_set error = std::move(*pending_);
  pending_.reset();
  throw error;
}

// Calls into Python with the GIL. A Python exception is kept for RaisePending (the first one
// wins) and reaches the engine as an error with the exception's text.
template <class Call>
void EventBridge::Invoke(Call&& call) {
  std::string text;
  {
    py::gil_scoped_acquire gil;
    try {
      call();
      return;
    } catch (py::error_already_set& error) {
      // "ValueError: text" without the traceback pybind11 appends.
      text = error.what();
      text = text.substr(0, text.find("\n\nAt:"));
      if (!pending_) pending_.emplace(std::move(error));
    }
  }
  throw std::runtime_error(text);
}

void EventBridge::BeforeConnect(std::string& UserID, std::string& Password, std::string& DataSource,
                                ConnectionPtr& Connection) {
  if (!has_[kBeforeConnect]) return;
  Invoke([&] {
    Login login{UserID, Password, DataSource, Connection};
    py::object handle = py::cast(login);
    beforeConnect(handle);
    const Login& changed = handle.cast<const Login&>();
    UserID = changed.user;
    Password = changed.password;
    DataSource = changed.data_source;
    Connection = changed.connection;
  });
}

void EventBridge::TemplateOpen(WorkbookPtr Workbook) {
  if (has_[kTemplateOpen]) Invoke([&] { templateOpen(Workbook); });
}

void EventBridge::ReportComplete(WorkbookPtr Workbook) {
  if (has_[kReportComplete]) Invoke([&] { reportComplete(Workbook); });
}

void EventBridge::FunctionBeforeExectue(std::string FunctionNo, std::int16_t FunctionType, std::int32_t SQLNo,
                                        std::string SQLText) {
  records_ = 0;
  if (has_[kBeforeExecute]) Invoke([&] { beforeExecute(FunctionNo, FunctionType, SQLNo, SQLText); });
}

void EventBridge::FunctionAfterExectue(std::string FunctionNo, std::int16_t FunctionType, std::int32_t SQLNo,
                                       ErrObject ErrObj) {
  if (has_[kAfterExecute]) Invoke([&] { afterExecute(FunctionNo, FunctionType, SQLNo, ErrorOrNone(ErrObj)); });
  if (has_[kStatement])
    Invoke([&] { statement(StatementOutcome{SQLNo, FunctionNo, FunctionType, records_, ErrObj}); });
}

void EventBridge::FunctionProgress(std::int32_t Progress, std::int32_t RecordCount) {
  records_ = RecordCount;
  if (has_[kProgress]) Invoke([&] { progress(Progress, RecordCount); });
}

}  // namespace tabrix::python
