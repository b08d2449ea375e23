// The sales example of examples/sales, built the way examples/run-example builds it, run in a
// private copy: every statement succeeds and the report holds the database's figures.
#include <gtest/gtest.h>

#include "fixtures/run_fixture.h"

namespace tabrix {
namespace {

using testing::LogTexts;

TEST(SalesExampleTest, RunsEveryStatementAndMatchesTheDatabase) {
  testing::TempFolder folder("tabrix-example");
  const std::string example = std::string(TABRIX_SOURCE_DIR) + "/examples/sales";
  const std::string build =
      "cp " + example + "/sales.def " + example + "/sales.sql " + folder.Path() + " && /usr/bin/python3 -c \"import "
      "sqlite3; c = sqlite3.connect('" + folder.File("sales.db") + "'); c.executescript(open('" +
      folder.File("sales.sql") + "').read()); c.close()\" && /usr/bin/python3 " + example + "/make_template.py " +
      folder.Path() + " >/dev/null";
  ASSERT_EQ(std::system(build.c_str()), 0) << build;

  Tabrix component;
  ApplicationPtr application = platform::CreateSpreadsheetApplication();
  std::string definition = folder.File("sales.def");
  std::string year = "2023";
  component.Foliowright(application, definition, year);

  const std::vector<std::string> log = LogTexts(folder.File("out/Sales_2023.log"));
  ASSERT_FALSE(log.empty());
  for (const std::string& line : log) {
    EXPECT_EQ(line.find("Error"), std::string::npos) << line;
    EXPECT_EQ(line.find("Failure."), std::string::npos) << line;
  }
  EXPECT_EQ(log.back(), "Close the log file.");

  const std::string db = folder.File("sales.db");
  auto workbook = application->OpenWorkbook(folder.File("out/Sales_2023.xlsx"), true);
  auto summary = workbook->WorksheetByName("Summary");
  EXPECT_EQ(summary->GetValue(1, 1).ToText(), "Sales report 2023");
  // Eight products between the header (row 4) and the total row.
  EXPECT_EQ(summary->GetValue(5, 2).ToText(), "P100");
  EXPECT_EQ(summary->GetValue(12, 2).ToText(), "P410");
  EXPECT_EQ(summary->GetValue(13, 3).ToText(), "Total");
  EXPECT_EQ(summary->GetValue(13, 5).ToText(),
            testing::QueryText(db, "SELECT SUM(quantity) FROM sales WHERE order_date LIKE '2023%'"));
  EXPECT_NE(testing::ReadZipPart(folder.File("out/Sales_2023.xlsx"), "xl/drawings/drawing1.xml").find("pic"),
            std::string::npos);  // the picture column

  // Four regions of three customers: header, column titles, three customers, footer, blank row.
  auto regions = workbook->WorksheetByName("Regions");
  EXPECT_EQ(regions->GetValue(3, 1).ToText(), "East");
  EXPECT_EQ(regions->GetValue(5, 1).ToText(), "Amber Tea Room");
  EXPECT_EQ(regions->GetValue(8, 1).ToText(), "Region total");
  EXPECT_EQ(regions->GetValue(10, 1).ToText(), "North");
  EXPECT_EQ(regions->GetValue(24, 1).ToText(), "West");
  EXPECT_EQ(regions->GetValue(32, 1).ToText(), "All regions");
  EXPECT_EQ(regions->GetValue(32, 4).Number(),
            std::stod(testing::QueryText(db, "SELECT ROUND(SUM(amount), 2) FROM sales WHERE order_date LIKE '2023%'")));
  // The run recorded itself in the database.
  EXPECT_EQ(testing::QueryText(db, "SELECT year FROM report_runs"), "2023");
}

}  // namespace
}  // namespace tabrix
