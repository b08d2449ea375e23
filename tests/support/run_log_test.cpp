// The run log file: lines stamped with the local time and ended by CR LF, error entries, the
// echo, a replaced old log, and failures to write as automation errors.
#include "support/run_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <vector>

#include "fixtures/run_test_support.h"
#include "tabrix/error.h"

namespace tabrix {
namespace {

namespace fs = std::filesystem;

class RunLogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (fs::temp_directory_path() / ("tabrix-log-" + std::to_string(::getpid()) + ".log")).string();
  }
  void TearDown() override { fs::remove(path_); }
  std::string path_;
};

TEST_F(RunLogFile, ReplacesAnOldLogWritesStampedLinesAndEchoesThem) {
  std::ofstream(path_) << "old content that must go\r\n";
  std::vector<std::string> echoed;
  const std::time_t before = std::time(nullptr);
  {
    auto log = RunLog::Create(path_);
    log->SetEcho([&](const std::string& text) { echoed.push_back(text); });
    log->WriteLine("TabrixCom 1.4.0");
    log->WriteLine("");
    log->WriteErrorEntry("The report file is not named correctly.");
    log->WriteErrorEntry("Failed to connect.", "Login failed");
    log->WriteErrorEntryWithLead("@2=REPORT(X)", "Syntax error.", "");
  }
  const std::time_t after = std::time(nullptr);
  const std::vector<std::string> expected = {
      "TabrixCom 1.4.0", "", "Error: The report file is not named correctly.",
      "Error: Failed to connect.", "Error Info: Login failed", "@2=REPORT(X)", "Error: Syntax error."};
  EXPECT_EQ(testing::LogTexts(path_), expected);
  EXPECT_EQ(echoed, expected);

  // The stamp is the local time of writing.
  std::tm tm{};
  ASSERT_NE(strptime(testing::ReadText(path_).c_str(), "[%Y%m%d %H:%M:%S]", &tm), nullptr);
  tm.tm_isdst = -1;
  const std::time_t stamp = std::mktime(&tm);
  EXPECT_GE(stamp, before - 1);
  EXPECT_LE(stamp, after + 1);
}

TEST_F(RunLogFile, TextIsWrittenUnchanged) {
  {
    auto log = RunLog::Create(path_);
    log->WriteLine("SELECT a\r\nFROM t \"x\" \xEF\xBC\x8C");
  }
  // Only the first physical line carries the prefix.
  EXPECT_EQ(testing::ReadText(path_).substr(RunLog::LinePrefix().size()),
            "SELECT a\r\nFROM t \"x\" \xEF\xBC\x8C\r\n");
}

TEST_F(RunLogFile, FailuresAreAutomationErrors) {
  EXPECT_THROW(RunLog::Create("/nonexistent-folder/x/run.log"), AutomationError);
  auto log = RunLog::Create(path_);
  log->Close();
  EXPECT_THROW(log->WriteLine("after close"), AutomationError);
  if (fs::exists("/dev/full")) {  // a full disk is reported at the line that fails
    auto full = RunLog::Create("/dev/full");
    EXPECT_THROW(full->WriteLine("no room"), AutomationError);
  }
}

}  // namespace
}  // namespace tabrix
