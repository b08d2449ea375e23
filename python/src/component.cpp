// The Tabrix component for Python: the five methods with Python arguments (the GIL released
// while they work) and the six events as attributes holding Python callables.
#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "bindings.h"

namespace tabrix::python {
namespace {

// The component and the bridge its events go through.
struct Component {
  Component() { engine.SetEventSink(&events); }
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  // Runs `work` on the engine without the GIL. What a handler raised goes before the engine's
  // error it caused.
  template <class Work>
  void Run(Work&& work) {
    events.Arm();
    std::exception_ptr failure;
    {
      py::gil_scoped_release release;
      try {
        work();
      } catch (...) {
        failure = std::current_exception();
      }
    }
    events.RaisePending();
    if (failure) std::rethrow_exception(failure);
  }

  Tabrix engine;
  EventBridge events;
};

// Arguments the engine may write back (ByRef) are passed as copies: Python keeps its values.
void FixTable(Component& c, RecordsetPtr recordset, WorksheetPtr sheet, std::string cells, std::string range,
              std::int16_t copy, std::int16_t fillOrder, std::string images, std::string pageBreak) {
  c.Run([&] { c.engine.FixTableReport(recordset, sheet, cells, range, copy, fillOrder, images, pageBreak); });
}

void VarTable(Component& c, RecordsetPtr recordset, WorksheetPtr sheet, std::string cells, std::string range,
              std::int16_t copy, std::int16_t reserve, std::int16_t fillOrder, std::string images,
              std::string pageBreak, std::int16_t noData) {
  c.Run([&] {
    c.engine.VarTableReport(recordset, sheet, cells, range, copy, reserve, fillOrder, images, pageBreak, noData);
  });
}

void GroupTable(Component& c, RecordsetPtr recordset, WorksheetPtr sheet, std::string cells, std::string range,
                std::int16_t fillOrder, std::string images, std::string pageBreak, std::int16_t noData,
                std::vector<std::pair<std::string, std::string>> groups) {
  if (groups.size() > 10) throw py::value_error("at most 10 group levels");
  std::array<std::string, 10> g{}, r{};
  for (std::size_t i = 0; i < groups.size(); ++i) std::tie(g[i], r[i]) = groups[i];
  c.Run([&] {
    c.engine.GroupTableReport(recordset, sheet, cells, range, fillOrder, images, pageBreak, noData, g[0], r[0], g[1],
                              r[1], g[2], r[2], g[3], r[3], g[4], r[4], g[5], r[5], g[6], r[6], g[7], r[7], g[8], r[8],
                              g[9], r[9]);
  });
}

void SetNames(Component& c, RecordsetPtr recordset, WorkbookPtr workbook, std::string names) {
  c.Run([&] { c.engine.SetExcelName(recordset, workbook, names); });
}

void RunDefinitionFile(Component& c, ApplicationPtr application, const std::filesystem::path& file, py::args params) {
  std::string definition = file.string();
  if (params.size() > 10) throw py::type_error("at most 10 parameter values");
  std::array<std::string, 10> p{};
  for (std::size_t i = 0; i < params.size(); ++i) p[i] = py::str(params[i]).cast<std::string>();
  c.Run([&] {
    c.engine.Foliowright(application, definition, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9]);
  });
}

template <py::object EventBridge::*Member>
void Event(py::class_<Component>& cls, const char* name, const char* alias, const char* doc) {
  auto get = [](const Component& c) { return c.events.*Member; };
  auto set = [](Component& c, py::object handler) {
    if (!handler.is_none() && !PyCallable_Check(handler.ptr())) throw py::type_error("an event handler must be callable");
    c.events.*Member = std::move(handler);
  };
  cls.def_property(name, get, set, doc);
  cls.def_property(alias, get, set, doc);
}

}  // namespace

void BindComponent(py::module_& module) {
  py::class_<Login>(module, "Login",
                    "What before_connect receives: change user, password, data_source or hand over a "
                    "connection of your own.")
      .def_readwrite("user", &Login::user)
      .def_readwrite("password", &Login::password)
      .def_readwrite("data_source", &Login::data_source)
      .def_readwrite("connection", &Login::connection);

  py::class_<Component> cls(module, "Tabrix", R"(The report component: five methods and six events.

Events are attributes holding a callable (or None), raised on the thread that works:
  before_connect(login)                                  login.user/.password/.data_source/.connection may be changed
  template_open(workbook)                                the template is open
  report_complete(workbook)                              the report is saved
  function_before_execute(name, type, number, sql)       before each statement
  function_after_execute(name, type, number, error)      after it; error None or ErrorInfo
  function_progress(progress, record_count)              while a table fills
The interface's own names (BeforeConnect, ..., FunctionBeforeExectue, FunctionAfterExectue,
FunctionProgress) refer to the same attributes. An exception in a handler fails what the engine
was doing and is raised again when the method returns.)");
  cls.def(py::init<>());
  Event<&EventBridge::beforeConnect>(cls, "before_connect", "BeforeConnect", "before_connect(login)");
  Event<&EventBridge::templateOpen>(cls, "template_open", "TemplateOpen", "template_open(workbook)");
  Event<&EventBridge::reportComplete>(cls, "report_complete", "ReportComplete", "report_complete(workbook)");
  Event<&EventBridge::beforeExecute>(cls, "function_before_execute", "FunctionBeforeExectue",
                                     "function_before_execute(name, type, number, sql)");
  Event<&EventBridge::afterExecute>(cls, "function_after_execute", "FunctionAfterExectue",
                                    "function_after_execute(name, type, number, error)");
  Event<&EventBridge::progress>(cls, "function_progress", "FunctionProgress", "function_progress(progress, record_count)");

  cls.def("fix_table_report", &FixTable, py::arg("recordset"), py::arg("worksheet"), py::arg("cell_list"),
          py::arg("range") = "", py::arg("copy") = 0, py::arg("fill_order") = 0, py::arg("image_list") = "",
          py::arg("page_break") = "",
          "Fills a fixed table: the records go into the cells of cell_list (a REPORT TYPE=FIX statement).");
  cls.def("var_table_report", &VarTable, py::arg("recordset"), py::arg("worksheet"), py::arg("cell_list"),
          py::arg("range") = "", py::arg("copy") = 0, py::arg("reserve") = 1, py::arg("fill_order") = 0,
          py::arg("image_list") = "", py::arg("page_break") = "", py::arg("no_data") = 0,
          "Fills a growing table: rows are inserted beyond the reserved ones (a REPORT TYPE=VAR statement).");
  cls.def("group_table_report", &GroupTable, py::arg("recordset"), py::arg("worksheet"), py::arg("cell_list"),
          py::arg("range") = "", py::arg("fill_order") = 0, py::arg("image_list") = "", py::arg("page_break") = "",
          py::arg("no_data") = 0, py::arg("groups") = std::vector<std::pair<std::string, std::string>>{},
          "Fills a grouped table; groups: up to 10 (GROUP fields, GROUPRANGE) pairs, outermost first.");
  cls.def("set_excel_name", &SetNames, py::arg("recordset"), py::arg("workbook"), py::arg("name_list"),
          "Sets workbook names from the first record (a NAME statement).");
  cls.def("foliowright", &RunDefinitionFile, py::arg("application"), py::arg("definition"),
          "Runs a definition file with up to 10 parameter values in the given application, with this "
          "object's events; raises tabrix.Error when the run ends early. The report stays open in "
          "the application.");
  for (const char* names : {"FixTableReport=fix_table_report", "VarTableReport=var_table_report",
                            "GroupTableReport=group_table_report", "SetExcelName=set_excel_name",
                            "Foliowright=foliowright"}) {
    const std::string text = names;
    const std::size_t eq = text.find('=');
    cls.attr(text.substr(0, eq).c_str()) = cls.attr(text.substr(eq + 1).c_str());
  }
}

}  // namespace tabrix::python
