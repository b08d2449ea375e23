// The workbook engine for Python: an application opens template workbooks; workbooks give their
// worksheets and names and save in any format of the conversion table; worksheets read and
// write cells by A1 reference.
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bindings.h"
#include "definition/conversion_table.h"
#include "tabrix/error.h"
#include "tabrix/error_codes.h"
#include "tabrix/platform/spreadsheet.h"

namespace tabrix::python {
namespace {

using platform::Application;
using platform::Workbook;
using platform::Worksheet;

std::shared_ptr<Application> NewApplication(bool recalculate, std::string converterProgram, int converterTimeout) {
  platform::ApplicationSettings settings;
  settings.Recalculate = recalculate;
  settings.ConverterProgram = std::move(converterProgram);
  settings.ConverterTimeoutSeconds = converterTimeout;
  return platform::CreateSpreadsheetApplication(settings);
}

std::shared_ptr<Workbook> Open(Application& application, const std::filesystem::path& path, bool readOnly) {
  py::gil_scoped_release release;
  return application.OpenWorkbook(path.string(), readOnly);
}

// A file format given as a number, or as a report file type of the conversion table
// ("xlOpenXMLWorkbook", "xlTypePDF", "xlCSV", "57", ...).
std::optional<std::int32_t> FileFormat(py::handle format) {
  if (format.is_none()) return std::nullopt;
  if (py::isinstance<py::int_>(format)) return format.cast<std::int32_t>();
  const std::string type = py::str(format).cast<std::string>();
  std::vector<ConvEntry> table;
  LoadConversionTable(table, PackageConversionTable());
  const int entry = FindConvEntry(table, type);
  if (entry < 0 || !table[static_cast<std::size_t>(entry)].HasFileFormat)
    throw py::value_error("unknown report file type \"" + type + "\" (see fmtconv.cfg)");
  return table[static_cast<std::size_t>(entry)].FileFormat;
}

std::shared_ptr<Worksheet> SheetOf(Workbook& workbook, py::handle key) {
  if (py::isinstance<py::int_>(key)) return workbook.WorksheetAt(key.cast<std::int32_t>());
  return workbook.WorksheetByName(key.cast<std::string>());
}

py::object CellValue(Worksheet& sheet, const std::string& reference) {
  const platform::CellRect rect = sheet.ResolveReference(reference);
  return ToPython(sheet.GetValue(rect.row1, rect.col1));
}

void SetCellValue(Worksheet& sheet, const std::string& reference, py::handle value) {
  const platform::CellRect rect = sheet.ResolveReference(reference);
  sheet.SetValue(rect.row1, rect.col1, FromPython(value));
}

}  // namespace

void BindWorkbooks(py::module_& module) {
  py::class_<Application, std::shared_ptr<Application>>(
      module, "Application", "The workbook engine: opens workbooks (.xlsx natively, other formats through LibreOffice).")
      .def(py::init(&NewApplication), py::arg("recalculate") = true, py::arg("converter_program") = "",
           py::arg("converter_timeout") = 0,
           "recalculate: compute formulas before saving. converter_program: the LibreOffice program "
           "(default TABRIX_OFFICE_PROGRAM, then soffice on the PATH); converter_timeout: seconds one "
           "conversion may take (0: TABRIX_OFFICE_TIMEOUT, then 300).")
      .def_property_readonly("version", &Application::Version)
      .def("open", &Open, py::arg("path"), py::arg("read_only") = true, py::keep_alive<0, 1>(),
           "Opens a workbook; the file itself is never written.");

  py::class_<Workbook, std::shared_ptr<Workbook>>(module, "Workbook", "An open workbook.")
      .def_property_readonly("full_name", &Workbook::FullName, "Path of the file it was opened from or saved to.")
      .def_property_readonly("name", &Workbook::Name)
      .def_property_readonly("file_format", &Workbook::FileFormat)
      .def_property_readonly("application", &Workbook::GetApplication)
      .def_property_readonly("sheet_names",
                             [](Workbook& workbook) {
                               std::vector<std::string> names;
                               for (std::int32_t i = 1; i <= workbook.WorksheetCount(); ++i)
                                 names.push_back(workbook.WorksheetAt(i)->Name());
                               return names;
                             })
      .def_property_readonly("active_sheet", &Workbook::ActiveSheet, py::keep_alive<0, 1>())
      .def("worksheet", &SheetOf, py::arg("key"), py::keep_alive<0, 1>(),
           "The worksheet of that name (any case) or 1-based position; raises tabrix.Error 9 when absent.")
      .def("__getitem__", &SheetOf, py::keep_alive<0, 1>())
      .def("__len__", &Workbook::WorksheetCount)
      .def(
          "save_as",
          [](Workbook& workbook, const std::filesystem::path& path, py::object format) {
            const std::optional<std::int32_t> fileFormat = FileFormat(format);
            py::gil_scoped_release release;
            workbook.SaveAs(path.string(), fileFormat);
          },
          py::arg("path"), py::arg("format") = py::none(),
          "Saves the workbook. format: a file-format number or a report file type of fmtconv.cfg "
          "('xlOpenXMLWorkbook', 'xlTypePDF', 'xlCSV', ...); None: from the file's extension.")
      .def("has_name", [](Workbook& workbook, const std::string& name) { return workbook.GetNames().Exists(name); })
      .def(
          "set_name",
          [](Workbook& workbook, const std::string& name, py::handle value) {
            workbook.GetNames().SetValue(name, FromPython(value));
          },
          py::arg("name"), py::arg("value"), "Makes the defined name hold a constant value.");

  // A worksheet or workbook object keeps the workbook or application it came from alive.
  py::class_<Worksheet, std::shared_ptr<Worksheet>>(module, "Worksheet",
                                                    "A worksheet; sheet['B2'] reads and writes a cell.")
      .def_property_readonly("name", &Worksheet::Name)
      .def_property_readonly("workbook", &Worksheet::Parent)
      .def("__getitem__", &CellValue, py::arg("reference"))
      .def("__setitem__", &SetCellValue, py::arg("reference"), py::arg("value"))
      .def(
          "cell", [](Worksheet& sheet, std::int32_t row, std::int32_t column) { return ToPython(sheet.GetValue(row, column)); },
          py::arg("row"), py::arg("column"), "Value of a cell (1-based row and column).")
      .def(
          "set_cell",
          [](Worksheet& sheet, std::int32_t row, std::int32_t column, py::handle value) {
            sheet.SetValue(row, column, FromPython(value));
          },
          py::arg("row"), py::arg("column"), py::arg("value"))
      .def("activate", &Worksheet::Activate)
      .def("protect", &Worksheet::Protect, py::arg("password") = py::none())
      .def("delete", &Worksheet::Delete);
}

}  // namespace tabrix::python
