// tabrix._run: a whole run of a definition file with the GIL released, its result (report and
// log paths, statement outcomes, the error that ended it) and the callbacks of tabrix.run.
#include <string>
#include <utility>
#include <vector>

#include "bindings.h"
#include "tabrix/report_run.h"

namespace tabrix::python {
namespace {

RunResult Run(const std::string& definition, std::vector<std::string> parameters, const std::string& output,
              const std::string& type, std::string conversionTable, py::object onProgress, py::object onStatement,
              py::object beforeConnect, py::object application, bool recalculate) {
  EventBridge events;
  events.progress = std::move(onProgress);
  events.statement = std::move(onStatement);
  events.beforeConnect = std::move(beforeConnect);
  events.Arm();
  RunOptions options;
  options.ConversionTable = conversionTable.empty() ? PackageConversionTable() : std::move(conversionTable);
  options.ReportFile = output;
  options.ReportFileType = type;
  options.Recalculate = recalculate;
  options.Events = &events;
  if (!application.is_none()) options.Application = application.cast<ApplicationPtr>();
  RunResult result;
  {
    py::gil_scoped_release release;
    result = RunReport(definition, parameters, options);
  }
  events.RaisePending();
  return result;
}

}  // namespace

void BindRun(py::module_& module) {
  py::class_<StatementOutcome>(module, "Statement", "What one executed statement did.")
      .def_readonly("number", &StatementOutcome::Number, "Position among the executed statements, from 1.")
      .def_readonly("name", &StatementOutcome::Name, "The name after '@'.")
      .def_readonly("type", &StatementOutcome::Type, "0 EXECSQL, 1 NAME, 2 REPORT.")
      .def_readonly("records", &StatementOutcome::Records, "Records its query delivered (0 for EXECSQL).")
      .def_property_readonly("error", [](const StatementOutcome& s) { return ErrorOrNone(s.Error); },
                             "None when it succeeded, otherwise an ErrorInfo.")
      .def("__repr__", [](const StatementOutcome& s) {
        return "Statement(name=" + py::repr(py::str(s.Name)).cast<std::string>() + ", type=" + std::to_string(s.Type) +
               ", records=" + std::to_string(s.Records) + ", error=" + py::repr(ErrorOrNone(s.Error)).cast<std::string>() +
               ")";
      });

  py::class_<SkippedStatement>(module, "SkippedStatement", "A statement of the script that did not run.")
      .def_readonly("line", &SkippedStatement::Line)
      .def_readonly("name", &SkippedStatement::Name)
      .def_readonly("reason", &SkippedStatement::Reason);

  py::class_<RunResult>(module, "RunResult", "What a run did.")
      .def_readonly("report", &RunResult::ReportPath, "Absolute path of the report ('' when the run ended before).")
      .def_readonly("log", &RunResult::LogPath, "Absolute path of the run log.")
      .def_readonly("template", &RunResult::TemplatePath)
      .def_readonly("statements", &RunResult::Statements, "A Statement for every executed statement.")
      .def_readonly("skipped", &RunResult::Skipped, "Statements that did not run (syntax errors, comments).")
      .def_property_readonly("error", [](const RunResult& r) { return ErrorOrNone(r.Error); },
                             "None when the report was saved, otherwise the error that ended the run.")
      .def("__repr__", [](const RunResult& r) {
        return "RunResult(report=" + py::repr(py::str(r.ReportPath)).cast<std::string>() +
               ", statements=" + std::to_string(r.Statements.size()) + ")";
      });

  module.def("_run", &Run, py::arg("definition"), py::arg("parameters"), py::arg("output"), py::arg("type"),
             py::arg("conversion_table"), py::arg("on_progress"), py::arg("on_statement"), py::arg("before_connect"),
             py::arg("application"), py::arg("recalculate"));
  module.def(
      "_definition_parameters",
      [](const std::string& definition) {
        std::vector<std::pair<std::string, std::string>> parameters;
        for (const DefinitionParameter& p : ReadDefinitionParameters(definition)) parameters.emplace_back(p.Name, p.Default);
        return parameters;
      },
      py::arg("definition"));
}

}  // namespace tabrix::python
