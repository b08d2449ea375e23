// A report folder for end-to-end runs: a SQLite database, the test templates, definition files,
// and ways to read the report back (through the workbook engine and the saved file's XML).
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <zip.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "component/run_state.h"
#include "run/run_test_support.h"
#include "support/office_tools.h"
#include "support/run_log.h"
#include "tabrix/tabrix.h"

namespace tabrix::testing {

// Executes SQL on a SQLite database file (created when missing).
inline void ExecuteSql(const std::string& database, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
  char* message = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  EXPECT_EQ(rc, SQLITE_OK) << (message ? message : "");
  sqlite3_free(message);
  sqlite3_close(db);
}

inline std::string QueryText(const std::string& database, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_stmt* statement = nullptr;
  std::string result;
  if (sqlite3_open(database.c_str(), &db) == SQLITE_OK &&
      sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(statement, 0);
    result = text ? reinterpret_cast<const char*>(text) : "";
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return result;
}

// The text of one member of a zip file ("" when absent).
inline std::string ZipEntry(const std::string& archive, const std::string& name) {
  int error = 0;
  zip_t* zip = zip_open(archive.c_str(), ZIP_RDONLY, &error);
  if (!zip) return "";
  std::string text;
  zip_stat_t info;
  if (zip_stat(zip, name.c_str(), 0, &info) == 0) {
    if (zip_file_t* file = zip_fopen(zip, name.c_str(), 0)) {
      text.resize(info.size);
      zip_fread(file, text.data(), info.size);
      zip_fclose(file);
    }
  }
  zip_close(zip);
  return text;
}

// Records every event of a run.
class EventLog : public TabrixEvents {
 public:
  void BeforeConnect(std::string& user, std::string& password, std::string& dataSource,
                     ConnectionPtr& connection) override {
    events.push_back("BeforeConnect " + dataSource + " user=" + user + (connection ? "" : " no connection"));
    if (onBeforeConnect) onBeforeConnect(user, password, dataSource, connection);
  }
  void TemplateOpen(WorkbookPtr workbook) override {
    events.push_back(std::string("TemplateOpen") + (workbook ? "" : " null"));
  }
  void ReportComplete(WorkbookPtr workbook) override {
    events.push_back(std::string("ReportComplete") + (workbook ? "" : " null"));
  }
  void FunctionBeforeExectue(std::string name, std::int16_t type, std::int32_t number, std::string sql) override {
    events.push_back("Before " + name + " " + std::to_string(type) + " " + std::to_string(number) + " " + sql);
  }
  void FunctionAfterExectue(std::string name, std::int16_t type, std::int32_t number, ErrObject error) override {
    events.push_back("After " + name + " " + std::to_string(type) + " " + std::to_string(number) + " " +
                     (error.Number == 0 ? std::string("ok") : AutomationError(error.Number, "", "").HexNumber() +
                                                                  " " + error.Source));
    errors.push_back(error);
  }
  void FunctionProgress(std::int32_t progress, std::int32_t count) override {
    progressEvents.push_back({progress, count});
  }

  std::vector<std::string> events;
  std::vector<ErrObject> errors;
  std::vector<std::pair<int, int>> progressEvents;
  std::function<void(std::string&, std::string&, std::string&, ConnectionPtr&)> onBeforeConnect;
};

class ReportRunTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    templates_ = new TempFolder();
    const std::string command = "/usr/bin/python3 " + std::string(TABRIX_SOURCE_DIR) +
                                "/tests/run/data/make_templates.py " + templates_->Path();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  static void TearDownTestSuite() {
    delete templates_;
    templates_ = nullptr;
  }

  void SetUp() override {
    CurrentRunState() = RunState{};
    ASSERT_EQ(std::system(("mkdir -p " + folder_.File("templates") + " " + folder_.File("data") + " && cp " +
                           templates_->Path() + "/report.xlsx " + folder_.File("templates/"))
                              .c_str()),
              0);
    ExecuteSql(Database(),
               "CREATE TABLE items (name TEXT, qty INTEGER, grp TEXT);"
               "INSERT INTO items VALUES ('cherry', 7, 'g2'), ('apple', 3, 'g1'), ('banana', 1, 'g1');");
  }
  void TearDown() override { CurrentRunState() = RunState{}; }

  std::string Database() const { return folder_.File("data/items.db"); }
  std::string Template() const { return folder_.File("templates/report.xlsx"); }

  // A definition file in the report folder: the data source Main on the test database, the
  // template, and the given File keys and script.
  std::string Definition(const std::string& fileKeys, const std::string& script,
                         const std::string& dataSources = "Name1=Main\r\n"
                                                          "ConnectionString1=Provider=SQLite;Data Source=data\\items.db\r\n",
                         const std::string& name = "report.def") {
    const std::string path = folder_.File(name);
    WriteText(path, "Foliowright Version 2.0\r\n[Data Source]\r\n" + dataSources + "[File]\r\n" + fileKeys +
                        "[Parameter]\r\nName1=%Year%\r\nTitle1=Year\r\nDefault1=1999\r\nName2=%Min%\r\n"
                        "[SQL]\r\n" + script);
    return path;
  }

  // Runs Foliowright; returns the error it raised, if any.
  std::optional<AutomationError> Run(const std::string& definition, std::string year = "", std::string min = "") {
    Tabrix component;
    component.SetEventSink(&events_);
    ApplicationPtr application = platform::CreateSpreadsheetApplication();
    std::string file = definition;
    try {
      component.Foliowright(application, file, year, min);
    } catch (const AutomationError& error) {
      return error;
    }
    return std::nullopt;
  }

  static inline TempFolder* templates_ = nullptr;
  TempFolder folder_;
  EventLog events_;
};

}  // namespace tabrix::testing
