// Connections and recordsets for Python: SQL on a connection, and recordsets over rows that come
// from Python (a list of tuples with column names, a DB-API cursor, or a data frame), stored in
// the engine's columnar result so that a fill reads them as it reads a query's rows.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bindings.h"
#include "db/columnar_result.h"
#include "tabrix/platform/database.h"

namespace tabrix::python {
namespace {

using platform::Connection;
using platform::Recordset;

std::vector<std::string> ColumnNames(py::handle columns) {
  std::vector<std::string> names;
  for (py::handle column : columns) names.push_back(py::str(column).cast<std::string>());
  return names;
}

// The rows of `data` and, when `columns` is None, their column names: a data frame's columns
// with itertuples() (pandas) or iter_rows() (polars), a DB-API cursor's description, the keys of
// the first of a list of dicts.
py::iterator Rows(py::object data, py::object& columns) {
  if (py::hasattr(data, "columns") && !py::isinstance<py::str>(data)) {
    if (columns.is_none()) columns = py::list(data.attr("columns"));
    if (py::hasattr(data, "itertuples")) return py::iter(data.attr("itertuples")(py::arg("index") = false,
                                                                                 py::arg("name") = py::none()));
    if (py::hasattr(data, "iter_rows")) return py::iter(data.attr("iter_rows")());
  } else if (py::hasattr(data, "description") && columns.is_none()) {
    py::list names;
    for (py::handle column : data.attr("description")) names.append(column[py::int_(0)]);
    columns = names;
  } else if (columns.is_none() && py::isinstance<py::list>(data) && py::len(data) > 0 &&
             py::isinstance<py::dict>(data[py::int_(0)])) {
    columns = py::list(data[py::int_(0)]);
  }
  return py::iter(data);
}

std::shared_ptr<Recordset> FromRows(py::object data, py::object columns) {
  py::iterator rows = Rows(std::move(data), columns);
  if (columns.is_none()) throw py::value_error("tabrix.recordset needs column names for these rows");
  const std::vector<std::string> names = ColumnNames(columns);
  if (names.empty()) throw py::value_error("tabrix.recordset needs at least one column");
  const auto count = static_cast<std::int32_t>(names.size());
  auto result = std::make_unique<platform::ColumnarResult>(names);
  std::vector<py::object> keys;
  for (py::handle column : columns) keys.push_back(py::reinterpret_borrow<py::object>(column));
  for (py::handle row : rows) {
    if (py::isinstance<py::dict>(row)) {
      py::dict record = py::reinterpret_borrow<py::dict>(row);
      for (std::int32_t i = 0; i < count; ++i) {
        PyObject* value = PyDict_GetItemWithError(record.ptr(), keys[static_cast<std::size_t>(i)].ptr());
        if (!value && PyErr_Occurred()) throw py::error_already_set();
        result->Column(i).Append(value ? FromPython(value) : Variant::Null());
      }
    } else {
      // Tuples and lists are read in place, other sequences through a list.
      auto record = py::reinterpret_steal<py::object>(PySequence_Fast(row.ptr(), "a row must be a sequence or a dict"));
      if (!record) throw py::error_already_set();
      const Py_ssize_t size = PySequence_Fast_GET_SIZE(record.ptr());
      if (size != count)
        throw py::value_error("row " + std::to_string(result->RecordCount() + 1) + " has " + std::to_string(size) +
                              " values for " + std::to_string(count) + " columns");
      PyObject** values = PySequence_Fast_ITEMS(record.ptr());
      for (std::int32_t i = 0; i < count; ++i) result->Column(i).Append(FromPython(values[i]));
    }
    result->CommitRow();
  }
  return platform::CreateRecordset(std::move(result));
}

std::shared_ptr<Connection> OpenConnection(const std::string& connectionString, const std::string& user,
                                           const std::string& password, const std::filesystem::path& baseFolder) {
  std::shared_ptr<Connection> connection = platform::CreateConnection();
  if (!baseFolder.empty()) connection->SetBaseFolder(baseFolder.string());
  if (!connectionString.empty()) {
    py::gil_scoped_release release;
    connection->Open(connectionString, user, password);
  }
  return connection;
}

py::list FieldNames(Recordset& recordset) {
  py::list names;
  platform::Fields& fields = recordset.GetFields();
  for (std::int32_t i = 0; i < fields.Count(); ++i) names.append(fields.Item(i).Name());
  return names;
}

// Every record from the first as a tuple; the recordset is on the first record afterwards.
py::list AllRows(Recordset& recordset) {
  py::list rows;
  platform::Fields& fields = recordset.GetFields();
  const std::int32_t count = fields.Count();
  recordset.MoveFirst();
  for (; !recordset.Eof(); recordset.MoveNext()) {
    py::tuple row(count);
    for (std::int32_t i = 0; i < count; ++i) row[i] = ToPython(fields.Item(i).Value());
    rows.append(std::move(row));
  }
  recordset.MoveFirst();
  return rows;
}

}  // namespace

void BindData(py::module_& module) {
  py::class_<Recordset, std::shared_ptr<Recordset>>(
      module, "Recordset",
      "The rows of a query (Connection.query) or of Python data (tabrix.recordset), on a static cursor.")
      .def_property_readonly("columns", &FieldNames, "Column names.")
      .def_property_readonly("is_open", [](const Recordset& r) { return r.State() == platform::kStateOpen; })
      .def("rows", &AllRows, "Every record as a tuple, from the first.")
      .def("close", &Recordset::Close, "Releases the rows.");

  py::class_<Connection, std::shared_ptr<Connection>>(
      module, "Connection",
      "A database connection: SQLite for 'Provider=SQLite;Data Source=FILE', ODBC for any other "
      "connection string.")
      .def(py::init(&OpenConnection), py::arg("connection_string") = "", py::arg("user") = "",
           py::arg("password") = "", py::arg("base_folder") = std::filesystem::path(),
           "Opens the connection (a closed one without a connection string). Relative file names in "
           "the connection string are taken against base_folder (default: the current directory).")
      .def_property_readonly("connection_string", &Connection::ConnectionString)
      .def_property_readonly("is_open", [](const Connection& c) { return c.State() == platform::kStateOpen; })
      .def(
          "execute",
          [](Connection& connection, const std::string& sql) {
            py::gil_scoped_release release;
            connection.Execute(sql);
          },
          py::arg("sql"), "Runs a statement; rows it returns are discarded.")
      .def(
          "query",
          [](const std::shared_ptr<Connection>& connection, const std::string& sql) {
            std::shared_ptr<Recordset> recordset = platform::CreateRecordset();
            py::gil_scoped_release release;
            recordset->Open(sql, connection);
            return recordset;
          },
          py::arg("sql"), "Runs a query: a recordset on its first row.")
      .def("close", &Connection::Close)
      .def("__enter__", [](const std::shared_ptr<Connection>& c) { return c; })
      .def("__exit__", [](Connection& c, py::args) {
        if (c.State() == platform::kStateOpen) c.Close();
      });

  module.def("recordset", &FromRows, py::arg("data"), py::arg("columns") = py::none(),
             R"(A recordset over rows from Python, for the fill methods of Tabrix.

data is a list (or any iterable) of tuples, with the column names in columns; a list of
dicts (columns: the first dict's keys unless given); a DB-API cursor after execute()
(columns from its description); or a data frame, anything with a `columns` attribute
and itertuples() (pandas) or iter_rows() (polars), or whose iteration yields rows.

Values: None -> empty, bool, int, float (NaN -> empty), str, bytes (pictures),
datetime.date / datetime.datetime / datetime.time -> date cells. The rows are copied.)");
}

}  // namespace tabrix::python
