// Shared pieces of the Python extension module tabrix._tabrix: conversion between Python objects
// and Variants, the error object handed to Python, the event bridge, and one Bind function per
// source file of the module.
#pragma once

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "tabrix/tabrix.h"

namespace tabrix::python {

namespace py = pybind11;

// Python value of a cell or field: None, bool, float, datetime.datetime, str or bytes.
py::object ToPython(const Variant& value);
// None (and NaN, a data frame's missing value) -> Null, bool, int, float, str, bytes,
// datetime.date/datetime/time -> date serial, anything with __float__ -> number. Raises TypeError.
Variant FromPython(py::handle value);

// An error as Python sees it: the number as an unsigned 32-bit value (0x8004000E, not negative).
struct ErrorInfo {
  std::uint32_t number = 0;
  std::string source, description;
};
inline ErrorInfo ToErrorInfo(const ErrObject& error) {
  return {static_cast<std::uint32_t>(error.Number), error.Source, error.Description};
}
// None for a success (number 0), otherwise an ErrorInfo.
py::object ErrorOrNone(const ErrObject& error);

// The format-conversion table of the package (set by tabrix/__init__.py): run() and
// Workbook.save_as read report file types from it.
std::string& PackageConversionTable();

// The login BeforeConnect offers; the handler may change every member.
struct Login {
  std::string user, password, data_source;
  ConnectionPtr connection;
};

// Forwards the engine's events to Python callables (None: not handled). Runs on the engine's
// thread without the GIL and takes it only around a call. A handler's exception is kept and
// re-raised by RaisePending once the engine is done; the engine meanwhile sees a failure.
class EventBridge : public TabrixEvents {
 public:
  py::object beforeConnect = py::none(), templateOpen = py::none(), reportComplete = py::none(),
             beforeExecute = py::none(), afterExecute = py::none(), progress = py::none();
  // tabrix.run's on_statement: called with a Statement after each statement.
  py::object statement = py::none();

  // Notes which handlers are set; call with the GIL before the engine runs.
  void Arm();
  // Re-raises the first exception a handler raised (with the GIL).
  void RaisePending();

  void BeforeConnect(std::string& UserID, std::string& Password, std::string& DataSource,
                     ConnectionPtr& Connection) override;
  void TemplateOpen(WorkbookPtr Workbook) override;
  void ReportComplete(WorkbookPtr Workbook) override;
  void FunctionBeforeExectue(std::string FunctionNo, std::int16_t FunctionType, std::int32_t SQLNo,
                             std::string SQLText) override;
  void FunctionAfterExectue(std::string FunctionNo, std::int16_t FunctionType, std::int32_t SQLNo,
                            ErrObject ErrObj) override;
  void FunctionProgress(std::int32_t Progress, std::int32_t RecordCount) override;

 private:
  template <class Call>
  void Invoke(Call&& call);

  bool has_[7] = {};
  std::int32_t records_ = 0;  // RecordCount of the statement's last progress event
  std::optional<py::error_already_set> pending_;
};

void BindValues(py::module_& module);
void BindData(py::module_& module);
void BindWorkbooks(py::module_& module);
void BindComponent(py::module_& module);
void BindRun(py::module_& module);

}  // namespace tabrix::python
