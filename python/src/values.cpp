// Python objects to Variants and back (dates as serial numbers of days since 1899-12-30), the
// ErrorInfo class and the translation of the engine's AutomationErrors into tabrix.Error.
#include <Python.h>
#include <datetime.h>

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <string>

#include "bindings.h"
#include "tabrix/error.h"

namespace tabrix::python {
namespace {

// Days between 1970-01-01 and a civil date (proleptic Gregorian), and back.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

// Day 0 of the serial dates, 1899-12-30, counted from 1970-01-01.
constexpr std::int64_t kSerialEpoch = -25569;

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
      ImportDateTime();
      const double serial = value.Number();
      double days = std::floor(serial);
      auto micro = static_cast<std::int64_t>(std::llround((serial - days) * 86400e6));
      if (micro >= 86400000000LL) {
        days += 1;
        micro -= 86400000000LL;
      }
      int year, month, day;
      CivilFromDays(static_cast<std::int64_t>(days) + kSerialEpoch, year, month, day);
      const auto second = micro / 1000000;
      PyObject* result = PyDateTime_FromDateAndTime(year, month, day, static_cast<int>(second / 3600),
                                                    static_cast<int>(second / 60 % 60), static_cast<int>(second % 60),
                                                    static_cast<int>(micro % 1000000));
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
    const std::int64_t days = DaysFromCivil(PyDateTime_GET_YEAR(object), PyDateTime_GET_MONTH(object),
                                            PyDateTime_GET_DAY(object)) - kSerialEpoch;
    double fraction = 0;
    if (PyDateTime_Check(object))
      fraction = SecondsOfDay(PyDateTime_DATE_GET_HOUR(object), PyDateTime_DATE_GET_MINUTE(object),
                              PyDateTime_DATE_GET_SECOND(object), PyDateTime_DATE_GET_MICROSECOND(object)) / 86400.0;
    return Variant::Date(static_cast<double>(days) + fraction);
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
