// Entry point of the extension module tabrix._tabrix; the package tabrix (tabrix/__init__.py)
// wraps it with run() and the error classes.
#include "bindings.h"

PYBIND11_MODULE(_tabrix, module) {
  namespace tp = tabrix::python;
  module.doc() = "The Tabrix report engine (use the package tabrix).";
  module.attr("version") = tabrix::kComponentVersion;
  tp::BindValues(module);
  tp::BindData(module);
  tp::BindWorkbooks(module);
  tp::BindComponent(module);
  tp::BindRun(module);
}
