#include "support/run_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <vector>

#include "tabrix/error.h"

namespace tabrix {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

// Physical lines split at CR LF; the file must end with CR LF.
std::vector<std::string> CrLfLines(const std::string& content) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = content.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(content.substr(start, end - start));
  EXPECT_EQ(start, content.size()) << "text after the last CR LF";
  return lines;
}

// Text of a log line after its "[YYYYMMDD hh:mm:ss]    " prefix, checking the prefix.
std::string TextOf(const std::string& line) {
  static const std::regex prefix(R"(^\[(\d{4})(\d{2})(\d{2}) (\d{2}):(\d{2}):(\d{2})\]    (.*)$)");
  std::smatch match;
  if (!std::regex_match(line, match, prefix)) {
    ADD_FAILURE() << "bad log line: " << line;
    return "";
  }
  EXPECT_LE(std::stoi(match[2]), 12);
  EXPECT_LE(std::stoi(match[3]), 31);
  EXPECT_LE(std::stoi(match[4]), 23);
  return match[7];
}

class RunLogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (fs::temp_directory_path() / ("tabrix-log-" + std::to_string(::getpid()) + ".log")).string();
  }
  void TearDown() override { fs::remove(path_); }
  std::string path_;
};

TEST_F(RunLogFile, LinesCarryTheTimestampPrefixAndEndInCrLf) {
  std::time_t before = std::time(nullptr);
  {
    auto log = RunLog::Create(path_);
    log->WriteLine("TabrixCom 1.4.0");
    log->WriteLine("Open log file successfully.");
    log->WriteLine("");
  }
  std::time_t after = std::time(nullptr);
  std::vector<std::string> lines = CrLfLines(ReadAll(path_));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(TextOf(lines[0]), "TabrixCom 1.4.0");
  EXPECT_EQ(TextOf(lines[1]), "Open log file successfully.");
  EXPECT_EQ(TextOf(lines[2]), "");

  // The stamp is the local time of writing.
  std::tm tm{};
  ASSERT_NE(strptime(lines[0].c_str(), "[%Y%m%d %H:%M:%S]", &tm), nullptr);
  tm.tm_isdst = -1;
  std::time_t stamp = std::mktime(&tm);
  EXPECT_GE(stamp, before - 1);
  EXPECT_LE(stamp, after + 1);
}

TEST_F(RunLogFile, ErrorEntriesWriteInfoOnlyWhenGiven) {
  {
    auto log = RunLog::Create(path_);
    log->WriteErrorEntry("The report file is not named correctly.");
    log->WriteErrorEntry("Failed to connect.", "Login failed");
    log->WriteErrorEntryWithLead("@2=REPORT(X)", "Syntax error.", "");
  }
  std::vector<std::string> lines = CrLfLines(ReadAll(path_));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(TextOf(lines[0]), "Error: The report file is not named correctly.");
  EXPECT_EQ(TextOf(lines[1]), "Error: Failed to connect.");
  EXPECT_EQ(TextOf(lines[2]), "Error Info: Login failed");
  EXPECT_EQ(TextOf(lines[3]), "@2=REPORT(X)");
  EXPECT_EQ(TextOf(lines[4]), "Error: Syntax error.");
}

TEST_F(RunLogFile, TextIsWrittenUnchanged) {
  {
    auto log = RunLog::Create(path_);
    log->WriteLine("SELECT a\r\nFROM t \"x\" \xEF\xBC\x8C");
  }
  const std::string content = ReadAll(path_);
  // Only the first physical line carries the prefix.
  EXPECT_EQ(content.substr(RunLog::LinePrefix().size()),
            "SELECT a\r\nFROM t \"x\" \xEF\xBC\x8C\r\n");
}

TEST_F(RunLogFile, CreateReplacesAnOldLogAndEchoesLines) {
  std::ofstream(path_) << "old content that must go\r\n";
  std::vector<std::string> echoed;
  {
    auto log = RunLog::Create(path_);
    log->SetEcho([&](const std::string& text) { echoed.push_back(text); });
    log->WriteErrorEntry("m", "i");
  }
  EXPECT_EQ(CrLfLines(ReadAll(path_)).size(), 2u);
  EXPECT_EQ(echoed, (std::vector<std::string>{"Error: m", "Error Info: i"}));
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
