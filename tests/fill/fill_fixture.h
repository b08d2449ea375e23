// The fill tests' fixture: templates written by openpyxl into a scratch folder, a SQLite
// database beside them, and the saved result read back independently.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fixtures/office_tools.h"
#include "fixtures/report_files.h"
#include "tabrix/error_codes.h"
#include "tabrix/tabrix.h"

namespace tabrix::filltest {

using namespace tabrix::testing;

class FillTest : public ::testing::Test {
 protected:
  // Writes and opens a template: `body` is Python run with `wb` (a new openpyxl workbook), `ws`
  // (its first sheet, "Data"), PatternFill and add_name(wb, name, ref) in scope.
  OpenedTemplate Template(const std::string& body) {
    RunPython(
        "import sys\nfrom openpyxl import Workbook\nfrom openpyxl.styles import PatternFill\n"
        "from openpyxl.workbook.defined_name import DefinedName\n"
        "def add_name(wb, name, ref):\n"
        "    dn = DefinedName(name, attr_text=ref)\n"
        "    try:\n        wb.defined_names.append(dn)\n"
        "    except AttributeError:\n        wb.defined_names[name] = dn\n"
        "wb = Workbook()\nws = wb.active\nws.title = 'Data'\n" + body + "\nwb.save(sys.argv[1])\n",
        {folder_.File("template.xlsx")});
    return OpenTemplate(folder_.File("template.xlsx"));
  }
  RecordsetPtr Records(const std::string& sql) { return OpenRecordset(db_, sql); }
  SavedWorkbook Save(const OpenedTemplate& opened, const std::string& name) {
    opened.Workbook->SaveAs(folder_.File(name), std::nullopt);
    return ReadSaved(folder_.File(name));
  }

  TempFolder folder_{"tabrix-fill"};
  std::string db_ = folder_.File("data.db");
};

}  // namespace tabrix::filltest
