// The LibreOffice converter run with stand-in programs: a missing converter, one that fails with
// a message, one that hangs (stopped with its children), and the temporary files left behind
// (none). Conversions side by side on real LibreOffice: the format runs.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "fixtures/format_test_support.h"
#include "convert/office_conversion.h"
#include "xlsx/xlsx_workbook.h"
#include "tabrix/error.h"
#include "tabrix/platform/spreadsheet.h"

namespace tabrix::xlsx {
namespace {

namespace fs = std::filesystem;
using testing::FolderEntries;
using testing::ReadTextFile;
using testing::ScopedEnvironment;
using testing::TempFolder;
using testing::WriteScript;
using testing::WriteTextFile;

std::string ConversionFailure(const std::string& input, const std::string& output,
                              const OfficeConverterSettings& settings) {
  try {
    ConvertWithOffice(input, "xls", "MS Excel 97", output, settings);
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.Number(), 1004);
    return e.Description();
  }
  ADD_FAILURE() << "the conversion did not fail";
  return {};
}

// A process that has ended (gone, or a zombie nobody reaps in this container).
bool ProcessEnded(const std::string& pid) {
  std::ifstream stat("/proc/" + pid + "/stat");
  if (!stat) return true;
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::size_t paren = text.rfind(')');
  return paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] == 'Z';
}

class OfficeConverter : public ::testing::Test {
 protected:
  // Every temporary file of the conversions goes into a folder of this test.
  TempFolder folder_{"tabrix-formats"};
  TempFolder temporary_{"tabrix-formats-tmp"};
  ScopedEnvironment tmpdir_{"TMPDIR", temporary_.Path()};

  std::string Input() {
    std::string path = folder_.File("input.xlsx");
    WriteTextFile(path, "workbook bytes");
    return path;
  }
};

TEST_F(OfficeConverter, TheProgramIsAPathOrANameLookedUpOnThePath) {
  std::string bin = folder_.File("bin");
  fs::create_directories(bin);
  WriteScript(bin + "/fake-office", "exit 0\n");
  ScopedEnvironment path("PATH", bin + ":/usr/bin:/bin");
  OfficeConverterSettings settings;
  settings.program = "fake-office";
  EXPECT_EQ(FindOfficeProgram(settings), bin + "/fake-office");
  settings.program = "not-there";
  EXPECT_EQ(FindOfficeProgram(settings), "");
  settings.program = folder_.File("no-such-office/soffice");
  EXPECT_EQ(FindOfficeProgram(settings), "");
  // Without settings the environment names the program. (The message of a missing program
  // is checked through SaveAs and OpenWorkbook below.)
  ScopedEnvironment program("TABRIX_OFFICE_PROGRAM", bin + "/fake-office");
  EXPECT_EQ(FindOfficeProgram(), bin + "/fake-office");
}

TEST_F(OfficeConverter, AFailedConversionReportsWhatLibreOfficeSaid) {
  OfficeConverterSettings settings;
  settings.program = WriteScript(folder_.File("office"),
                                 "echo 'Warning: failed to launch javaldx - java may not function correctly' >&2\n"
                                 "echo 'Error: source file   could not be loaded' >&2\n"
                                 "exit 0\n");
  EXPECT_EQ(ConversionFailure(Input(), folder_.File("out.xls"), settings),
            "LibreOffice did not convert the file to xls with the filter \"MS Excel 97\": "
            "Error: source file could not be loaded");

  settings.program = WriteScript(folder_.File("office2"), "exit 3\n");
  EXPECT_EQ(ConversionFailure(Input(), folder_.File("out.xls"), settings),
            "LibreOffice did not convert the file to xls with the filter \"MS Excel 97\" (exit code 3): "
            "it gave no message");
  EXPECT_FALSE(fs::exists(folder_.File("out.xls")));
  EXPECT_TRUE(FolderEntries(temporary_.Path()).empty());
}

TEST_F(OfficeConverter, AHungConverterIsStoppedWithEveryProcessItStarted) {
  // The stand-in ignores the polite request to stop, and so does the child it leaves behind.
  std::string pidFile = folder_.File("child.pid");
  OfficeConverterSettings settings;
  settings.program = WriteScript(folder_.File("office"), "trap '' TERM\nsleep 600 &\necho $! > '" + pidFile +
                                                             "'\nwait\nsleep 600\n");
  settings.timeout = std::chrono::milliseconds(1500);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ConversionFailure(Input(), folder_.File("out.xls"), settings),
            "LibreOffice did not finish the conversion to xls within 1.5 seconds and was stopped");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
  std::string child = ReadTextFile(pidFile);
  while (!child.empty() && child.back() == '\n') child.pop_back();
  ASSERT_FALSE(child.empty());
  // The orphaned child is reaped by whoever adopted it; give that a moment.
  for (int i = 0; i < 100 && !ProcessEnded(child); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(ProcessEnded(child)) << "process " << child << " still runs";
  EXPECT_TRUE(FolderEntries(temporary_.Path()).empty());

  // The environment can bound the time as well.
  ScopedEnvironment timeout("TABRIX_OFFICE_TIMEOUT", "0.5");
  settings.timeout = std::chrono::milliseconds(0);
  EXPECT_NE(ConversionFailure(Input(), folder_.File("out.xls"), settings).find("within 0.5 seconds"),
            std::string::npos);
}

TEST_F(OfficeConverter, SavingAndOpeningThroughAMissingConverterFailWithTheReason) {
  ScopedEnvironment program("TABRIX_OFFICE_PROGRAM", "/nonexistent/bin/soffice");
  auto application = platform::CreateSpreadsheetApplication();
  std::shared_ptr<platform::Workbook> book = XlsxWorkbook::CreateBlank(application, "Sheet1");
  book->WorksheetAt(1)->SetValue(1, 1, Variant("kept"));
  std::string report = folder_.File("report.xls");
  WriteTextFile(report, "earlier report");
  try {
    book->SaveAs(report, 56);
    ADD_FAILURE() << "saved without a converter";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.Description(),
              "Method 'SaveAs' of object '_Workbook' failed: the workbook cannot be saved as Excel 97-2003 "
              "Workbook (56): LibreOffice is not available: the converter program \"/nonexistent/bin/soffice\" "
              "does not exist or cannot be run.");
  }
  EXPECT_EQ(ReadTextFile(report), "earlier report");
  EXPECT_EQ(book->FileFormat(), 51);  // a failed save changes nothing

  // LibreOffice reads the binary Open XML format but cannot write it.
  try {
    book->SaveAs(folder_.File("report.xlsb"), 50);
    ADD_FAILURE() << "saved as .xlsb";
  } catch (const AutomationError& e) {
    EXPECT_NE(e.Description().find("Excel Binary Workbook (50): LibreOffice has no filter that writes this format."),
              std::string::npos)
        << e.Description();
  }
  // An unknown code is still refused by the engine itself.
  EXPECT_THROW(book->SaveAs(folder_.File("report.x"), 12345), AutomationError);

  // A file with the binary workbook's signature reaches the converter; one without is refused.
  std::string xls = folder_.File("template.xls");
  WriteTextFile(xls, std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'));
  try {
    application->OpenWorkbook(xls, true);
    ADD_FAILURE() << "opened without a converter";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.Description(), "'" + xls + "' cannot be opened: the Excel 97-2003 Workbook file could not be "
                               "converted to Open XML: LibreOffice is not available: the converter program "
                               "\"/nonexistent/bin/soffice\" does not exist or cannot be run.");
  }
  std::string text = folder_.File("notes.ods");
  WriteTextFile(text, "just some text");
  try {
    application->OpenWorkbook(text, true);
    ADD_FAILURE() << "opened text as a spreadsheet";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.Description(), "'" + text + "' cannot be opened: it is not an OpenDocument Spreadsheet file.");
  }
  EXPECT_TRUE(FolderEntries(temporary_.Path()).empty());
}

}  // namespace
}  // namespace tabrix::xlsx
