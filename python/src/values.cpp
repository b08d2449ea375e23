// Python objects to Variants and back (dates as serial numbers of the 1900 date system), the
// ErrorInfo class and the translation of the engine's AutomationErrors into tabrix.Error.
#include <Python.h>
#include <datetime.h>

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <optional>
#include <string>

#include "bindings.h"
#include "tabrix/error.h"
#include "xlsx/evaluator/date_serial.h"

namespace tabrix::python {
namespace {

void ImportDateTime() {
  if (!PyDateTimeAPI) PyDateTime_IMPORT;
  if (!PyDateTimeAPI) throw py::error_already_set();
}

double SecondsOfDay(int hour, int minute, int second, int microsecond) {
  return hour * 3600.0 + minute * 60.0 + second + microsecond / 1e6;
}

}  // namespace

py::object ToPython(const Variant& value) {
  switch (value.Type()) {
    case VariantType::Empty:
    case VariantType::Null:
      return py::none();
    case VariantType::Boolean:
      return py::bool_(value.Bool());
    case VariantType::Number:
    case VariantType::Currency:
      return py::float_(value.Number());
    case VariantType::Date: {
      // Serials from 1 on are dates (with the 1900 date system's day 60, 1900-02-29, which
      // Python has not: it stays a number); below 1 a time of day.
      ImportDateTime();
      const double serial = value.Number();
      double days = std::floor(serial);
      auto micro = static_cast<std::int64_t>(std::llround((serial - days) * 86400e6));
      if (micro >= 86400000000LL) {
        days += 1;
        micro -= 86400000000LL;
      }
      const auto second = micro / 1000000;
      const int hour = static_cast<int>(second / 3600), minute = static_cast<int>(second / 60 % 60);
      const int sec = static_cast<int>(second % 60), us = static_cast<int>(micro % 1000000);
      const std::optional<xlsx::eval::CivilDate> date = xlsx::eval::SerialToDate(days);
      PyObject* result = nullptr;
      if (days == 0)
        result = PyTime_FromTime(hour, minute, sec, us);
      else if (date && days != 60)
        result = PyDateTime_FromDateAndTime(date->year, date->month, date->day, hour, minute, sec, us);
      else
        return py::float_(serial);
      if (!result) throw py::error_already_set();
      return py::reinterpret_steal<py::object>(result);
    }
    case VariantType::Text:
      return py::str(value.Text());
    case VariantType::Bytes:
      return py::bytes(value.Text());
  }
  return py::none();
}

Variant FromPython(py::handle value) {
  PyObject* object = value.ptr();
  if (object == Py_None) return Variant::Null();
  if (PyBool_Check(object)) return Variant(object == Py_True);
  if (PyFloat_Check(object)) {
    const double number = PyFloat_AS_DOUBLE(object);
    return std::isnan(number) ? Variant::Null() : Variant(number);
  }
  if (PyLong_Check(object)) {
    const double number = PyLong_AsDouble(object);
    if (number == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    return Variant(number);
  }
  if (PyUnicode_Check(object)) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(object, &size);
    if (!text) throw py::error_already_set();
    return Variant(std::string_view(text, static_cast<std::size_t>(size)));
  }
  if (PyBytes_Check(object))
    return Variant::Bytes(std::string(PyBytes_AS_STRING(object), static_cast<std::size_t>(PyBytes_GET_SIZE(object))));
  if (PyByteArray_Check(object))
    return Variant::Bytes(std::string(PyByteArray_AS_STRING(object), static_cast<std::size_t>(PyByteArray_GET_SIZE(object))));
  ImportDateTime();
  if (PyDate_Check(object)) {
    // A missing date of a data frame (NaT) is a datetime that is not equal to itself.
    if (PyObject_RichCompareBool(object, object, Py_EQ) == 0) return Variant::Null();
    const double days = xlsx::eval::CivilToSerial(PyDateTime_GET_YEAR(object), PyDateTime_GET_MONTH(object),
                                                  PyDateTime_GET_DAY(object));
    double fraction = 0;
    if (PyDateTime_Check(object))
      fraction = SecondsOfDay(PyDateTime_DATE_GET_HOUR(object), PyDateTime_DATE_GET_MINUTE(object),
                              PyDateTime_DATE_GET_SECOND(object), PyDateTime_DATE_GET_MICROSECOND(object)) / 86400.0;
    return Variant::Date(days + fraction);
  }
  if (PyTime_Check(object))
    return Variant::Date(SecondsOfDay(PyDateTime_TIME_GET_HOUR(object), PyDateTime_TIME_GET_MINUTE(object),
                                      PyDateTime_TIME_GET_SECOND(object), PyDateTime_TIME_GET_MICROSECOND(object)) /
                         86400.0);
  if (PyObject_HasAttrString(object, "__float__")) {
    const double number = PyFloat_AsDouble(object);
    if (number == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    return std::isnan(number) ? Variant::Null() : Variant(number);
  }
  throw py::type_error("tabrix cannot store a value of type " + std::string(Py_TYPE(object)->tp_name) +
                       " (None, bool, int, float, str, bytes, date, datetime or time)");
}

py::object ErrorOrNone(const ErrObject& error) {
  if (error.Number == 0) return py::none();
  return py::cast(ToErrorInfo(error));
}

std::string& PackageConversionTable() {
  static std::string path;
  return path;
}

void BindValues(py::module_& module) {
  py::class_<ErrorInfo>(module, "ErrorInfo", "What went wrong: number, source and description.")
      .def_readonly("number", &ErrorInfo::number, "Error number, e.g. 0x8004000E (unsigned).")
      .def_readonly("source", &ErrorInfo::source, "Who raised it: TabrixCom, a database driver, the workbook engine.")
      .def_readonly("description", &ErrorInfo::description, "The message.")
      .def("__repr__", [](const ErrorInfo& e) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", e.number);
        return "ErrorInfo(number=" + std::string(hex) + ", source=" + py::repr(py::str(e.source)).cast<std::string>() +
               ", description=" + py::repr(py::str(e.description)).cast<std::string>() + ")";
      });
  module.def("_set_conversion_table", [](std::string path) { PackageConversionTable() = std::move(path); });

  // The engine's errors become tabrix.Error (defined by the package in Python).
  py::register_exception_translator([](std::exception_ptr error) {
    if (!error) return;
    try {
      std::rethrow_exception(error);
    } catch (const AutomationError& e) {
      py::object type = py::module_::import("tabrix").attr("Error");
      py::object instance = type(static_cast<std::uint32_t>(e.Number()), e.Source(), e.Description());
      PyErr_SetObject(type.ptr(), instance.ptr());
    }
  });
}

}  // namespace tabrix::python
