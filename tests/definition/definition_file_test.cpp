// The definition file reader: sections, keys, passwords, protection, parameters and load errors.
#include "definition/definition_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "component/run_context.h"
#include "definition_test_files.h"
#include "tabrix/error.h"
#include "tabrix/error_codes.h"

namespace tabrix {
namespace {

using testing_support::DefinitionFolder;
using Lines = std::vector<std::string>;

const Lines kExample = {
    "Foliowright Version 2.0",
    "[Data Source]",
    "EncryptPassword=N",
    "Name1=SalesDB",
    "User1=reporter",
    "[File]",
    "ReportTemplateFileName=Template.xls",
    "ReportFileName=Out\\Sales_%Year%.xls",
    "ProtectReport=N",
    "[Parameter]",
    "Name1=%Year%",
    "Title1=Year",
    "[SQL]",
    "/* yearly sales */",
    "@1=REPORT(CONNECT=SalesDB SHEET=Sheet1 TYPE=VAR CELL=A3,B3,C3)",
    "SELECT region, product, amount FROM sales",
    "WHERE year = %Year%",
};

class DefinitionFile : public DefinitionFolder {
 protected:
  RunContext state;
};

TEST_F(DefinitionFile, ReadsTheExampleFileWhateverItsLineEndsAndByteOrderMark) {
  for (const std::string lineEnd : {"\r\n", "\n"}) {
    for (const std::string bom : {"", "\xEF\xBB\xBF"}) {
      SCOPED_TRACE(::testing::PrintToString(lineEnd + bom));
      const std::string path = Write("sales.def", kExample, lineEnd, bom);
      state.TemplatePath = state.ReportPath = state.LogPath = "stale";
      ASSERT_EQ(CheckDefinitionHeader(path), 0);
      ASSERT_TRUE(ReadDefinitionFile(state, path));
      ASSERT_EQ(state.DataSourceCount, 1);
      EXPECT_EQ(state.DataSources[0].Name, "SalesDB");
      EXPECT_EQ(state.DataSources[0].User, "reporter");  // no CR left at a value's end
      EXPECT_EQ(state.ReportTemplateFileName, "Template.xls");
      EXPECT_EQ(state.ReportFileName, "Out\\Sales_%Year%.xls");
      ASSERT_EQ(state.ParameterCount, 1);
      EXPECT_EQ(state.Parameters[0].Name, "%Year%");
      EXPECT_EQ(state.Parameters[0].Title, "Year");
      EXPECT_EQ(state.TemplatePath + state.ReportPath + state.LogPath, "");
    }
  }
  // The last line may lack its line end.
  const std::string path = WriteBytes("n.def", "Foliowright\n[File]\nReportFileName=r.xlsx");
  ASSERT_TRUE(ReadDefinitionFile(state, path));
  EXPECT_EQ(state.ReportFileName, "r.xlsx");
}

TEST_F(DefinitionFile, NamesMatchWithoutCaseAndValuesAreTrimmedAndUnquoted) {
  const std::string path = Write("odd.def", {
      "Foliowright",
      "  [ data source ]  ",
      "\tNAME1 =  \"Sales DB\"  ",
      "user1= 'rep orter'",
      "Password1 = \"it's\"\"\"",
      "name2 = \"mismatched'",
      "Name3='",
      "Name4=\"\"",
      "[FILE]",
      "reportfilename = a = b.xlsx",
      "ReportTemplateFileName=\"  spaced.xlsx  \"",
  });
  ASSERT_TRUE(ReadDefinitionFile(state, path));
  // Name4 is empty after its quotes are removed, so the list ends at 3.
  ASSERT_EQ(state.DataSourceCount, 3);
  EXPECT_EQ(state.DataSources[0].Name, "Sales DB");
  EXPECT_EQ(state.DataSources[0].User, "rep orter");
  EXPECT_EQ(state.DataSources[0].Password, "it's\"\"");
  EXPECT_EQ(state.DataSources[1].Name, "\"mismatched'");
  EXPECT_EQ(state.DataSources[2].Name, "'");
  // Everything after the first "=" is the value.
  EXPECT_EQ(state.ReportFileName, "a = b.xlsx");
  // Blanks inside the quotes stay in the profile value; the File keys trim them afterwards.
  EXPECT_EQ(state.ReportTemplateFileName, "spaced.xlsx");
}

TEST_F(DefinitionFile, FirstOccurrenceWinsAndSectionsMayRepeatAnywhere) {
  const std::string path = Write("dup.def", {
      "Foliowright Version 2.0",
      "ReportFileName=before any section.xlsx",
      "[File]",
      "ReportFileName=first.xlsx",
      "ReportFileName=second.xlsx",
      "[Parameter]",
      "Name1=%A%",
      "[SQL]",
      "@1=EXECSQL(CONNECT=db)",
      "ReportFileType=not in File",
      "[file]",
      "ReportFileName=third.xlsx",
      "ReportFileType=xlCSV",
      "LogFileName=  logs\\run.log ",
      "[Parameter]",
      "Name2=%B%",
  });
  ASSERT_TRUE(ReadDefinitionFile(state, path));
  EXPECT_EQ(state.ReportFileName, "first.xlsx");
  EXPECT_EQ(state.ReportFileType, "xlCSV");
  EXPECT_EQ(state.LogFileName, "logs\\run.log");
  ASSERT_EQ(state.ParameterCount, 2);
  EXPECT_EQ(state.Parameters[1].Name, "%B%");
}

TEST_F(DefinitionFile, ListsEndAtAGapOrAfterTenEntriesAndCountsStartAfresh) {
  ASSERT_TRUE(ReadDefinitionFile(state, Write("gap.def", {
      "Foliowright", "[Data Source]", "Name1=a", "Name2=b", "Name4=d", "[Parameter]", "Name2=%X%", "Default2=x"})));
  EXPECT_EQ(state.DataSourceCount, 2);
  EXPECT_EQ(state.DataSources[2].Name, "");
  EXPECT_EQ(state.ParameterCount, 0);

  Lines lines = {"Foliowright", "[Data Source]"};
  for (int n = 1; n <= 11; ++n) lines.push_back("Name" + std::to_string(n) + "=db" + std::to_string(n));
  lines.push_back("[Parameter]");
  for (int n = 1; n <= 11; ++n) {
    lines.push_back("Name" + std::to_string(n) + "=%P" + std::to_string(n) + "%");
    lines.push_back("Default" + std::to_string(n) + "=v" + std::to_string(n));
  }
  ASSERT_TRUE(ReadDefinitionFile(state, Write("many.def", lines)));
  EXPECT_EQ(state.DataSourceCount, 10);
  EXPECT_EQ(state.DataSources[9].Name, "db10");
  EXPECT_EQ(state.DataSources[10].Name, "");
  EXPECT_EQ(state.ParameterCount, 10);
  EXPECT_EQ(state.Parameters[9].Value, "v10");

  // A later file without lists leaves no entries in use.
  ASSERT_TRUE(ReadDefinitionFile(state, Write("none.def", {"Foliowright", "[File]"})));
  EXPECT_EQ(state.DataSourceCount, 0);
  EXPECT_EQ(state.ParameterCount, 0);
}

TEST_F(DefinitionFile, ConnectionStringHidesUserAndPassword) {
  const std::string path = Write("cs.def", {
      "Foliowright", "[Data Source]",
      "Name1=pg", "ConnectionString1=  Driver={PostgreSQL};Server=x  ", "User1=u", "Password1=p",
      "Name2=dsn", "User2=u2", "Password2=p2",
  });
  ASSERT_TRUE(ReadDefinitionFile(state, path));
  EXPECT_EQ(state.DataSources[0].ConnectionString, "Driver={PostgreSQL};Server=x");
  EXPECT_EQ(state.DataSources[0].User, "");
  EXPECT_EQ(state.DataSources[0].Password, "");
  EXPECT_EQ(state.DataSources[1].User, "u2");
  EXPECT_EQ(state.DataSources[1].Password, "p2");
}

TEST_F(DefinitionFile, EncryptedPasswordsAreDecodedWithTheirUser) {
  // "reporter" / "secret" from the independently computed vectors.
  ASSERT_TRUE(ReadDefinitionFile(state, Write("enc.def", {
      "Foliowright", "[Data Source]", "EncryptPassword= y ", "Name1=db", "User1=reporter", "Password1=rdncx2Yj",
      "Name2=db2", "User2=", "Password2="})));
  EXPECT_TRUE(state.EncryptPassword);
  EXPECT_EQ(state.DataSources[0].Password, "secret");
  EXPECT_EQ(state.DataSources[1].Password, "");
  const std::string path = Write("plain.def", {
      "Foliowright", "[Data Source]", "EncryptPassword=Yes", "Name1=db", "User1=reporter",
      "Password1=rdncx2Yj"});
  ASSERT_TRUE(ReadDefinitionFile(state, path));
  EXPECT_FALSE(state.EncryptPassword);
  EXPECT_EQ(state.DataSources[0].Password, "rdncx2Yj");
}

// The ordinary cases (given, empty, missing password line, not protected) are run end to end
// in tests/component/saving_test.cpp.
TEST_F(DefinitionFile, ProtectionPasswordNeedsAKeyLineWrittenInItsCaseAnywhere) {
  // A key written in another case is not the key line: the password is chosen later.
  ASSERT_TRUE(ReadDefinitionFile(state, Write("p.def", {"Foliowright", "[File]", "ProtectReport=Y",
                                                        "protectionpassword=pw"})));
  EXPECT_TRUE(state.NoProtectionPassword);
  EXPECT_EQ(state.ProtectionPassword, "");
  // The line found in section Parameter counts, the value comes from section File (empty).
  ASSERT_TRUE(ReadDefinitionFile(state, Write("q.def", {"Foliowright", "[File]", "ProtectReport=Y",
                                                        "[Parameter]", "ProtectionPassword=elsewhere"})));
  EXPECT_TRUE(state.ProtectReport);
  EXPECT_FALSE(state.NoProtectionPassword);
  EXPECT_EQ(state.ProtectionPassword, "");
}

TEST_F(DefinitionFile, ValuesAreCutAt10239Characters) {
  const std::string longValue(20000, 'v');
  const std::string path = Write("long.def", {
      "Foliowright", "[Parameter]", "Name1=%L%", "Default1=" + longValue,
      "Name2=%Q%", "Default2=\"" + longValue + "\"  ",
      "Name3=%U%", "Default3=" + std::string(5000, 'x') + std::string(6000, '\xC3') ,
  });
  ASSERT_TRUE(ReadDefinitionFile(state, path));
  EXPECT_EQ(state.Parameters[0].Value, std::string(10239, 'v'));
  // Quotes of a long value are removed before it is cut.
  EXPECT_EQ(state.Parameters[1].Value, std::string(10239, 'v'));
  EXPECT_EQ(state.Parameters[2].Value.size(), 5000u + 5239u);
  // Lines above a megabyte keep the quote rule.
  const std::string huge(3 << 20, 'h');
  ASSERT_TRUE(ReadDefinitionFile(state, Write("mega.def", {
      "Foliowright", "[File]", "ReportFileName='" + huge + "'", "LogFileName=x.log"})));
  EXPECT_EQ(state.ReportFileName, std::string(10239, 'h'));
  EXPECT_EQ(state.LogFileName, "x.log");
}

// Missing, unreadable and empty files: see LoadDefinition below.
TEST_F(DefinitionFile, HeaderCheck) {
  EXPECT_EQ(CheckDefinitionHeader(Write("a.def", {"   \tFoliowright Version 2.0"})), 0);
  EXPECT_EQ(CheckDefinitionHeader(Write("b.def", {"Foliowright"})), 0);
  EXPECT_EQ(CheckDefinitionHeader(Write("c.def", {"Foliowright=1"})), 0);
  EXPECT_EQ(CheckDefinitionHeader(Write("d.def", {"foliowright Version 2.0"})), 1);
  EXPECT_EQ(CheckDefinitionHeader(Write("e.def", {"FoliowrightX"})), 1);
  EXPECT_EQ(CheckDefinitionHeader(Write("f.def", {"", "Foliowright"})), 1);
  EXPECT_EQ(CheckDefinitionHeader(WriteBytes("h.def", "\xEF\xBB\xBF")), 1);
  EXPECT_EQ(CheckDefinitionHeader(WriteBytes("i.def", std::string("Foliowright\0x", 13))), 1);
}

// The loading steps of a run: number and text of each refusal.
class LoadDefinition : public DefinitionFile {
 protected:
  void ExpectError(const std::string& path, std::int32_t number, const std::string& description) {
    try {
      LoadDefinitionFile(state, path);
      ADD_FAILURE() << "no error for " << path;
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.Number(), number) << path;
      EXPECT_EQ(e.Source(), "TabrixCom");
      EXPECT_EQ(e.Description(), description);
    }
  }
};

TEST_F(LoadDefinition, MissingFileOrFolder) {
  ExpectError(folder_ + "/missing.def", kErrDefinitionFileMissing, "The file \"" + folder_ + "/missing.def\" does not exist.");
  ExpectError(folder_, kErrDefinitionFileMissing, "The file \"" + folder_ + "\" does not exist.");
  // Written with "\" separators and "..": the message shows the absolute native path.
  ExpectError(folder_ + "\\sub\\..\\gone.def", kErrDefinitionFileMissing,
              "The file \"" + folder_ + "/gone.def\" does not exist.");
  // A file the user may not read. Root reads anything: then the check runs in a child process
  // under the unprivileged user "nobody" (uid and gid 65534), which can reach the folder.
  const std::string locked = Write("locked.def", kExample);
  std::filesystem::permissions(locked, std::filesystem::perms::none);
  const std::string expected = "The file \"" + locked + "\" does not exist.";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0) {
      std::filesystem::permissions(folder_, std::filesystem::perms::owner_all | std::filesystem::perms::others_exec);
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    }
    try {
      LoadDefinitionFile(state, locked);
    } catch (const AutomationError& e) {
      ::_exit(e.Number() == kErrDefinitionFileMissing && e.Description() == expected ? 0 : 1);
    }
    ::_exit(1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: another error or none, 2: could not become nobody";
}

TEST_F(LoadDefinition, EmptyOrBinaryFileIsNotADefinitionFile) {
  const std::string empty = WriteBytes("empty.def", "");
  ExpectError(empty, kErrNotDefinitionFile, "The file \"" + empty + "\" is not an Foliowright file.");
  std::mt19937 random(7);
  std::string bytes(1 << 20, '\0');
  for (char& b : bytes) b = static_cast<char>(random());
  const std::string binary = WriteBytes("binary.def", bytes);
  ExpectError(binary, kErrNotDefinitionFile, "The file \"" + binary + "\" is not an Foliowright file.");
  // A binary file without a single line end still only reads its head.
  const std::string zeros = WriteBytes("zeros.def", std::string(8 << 20, '\0'));
  ExpectError(zeros, kErrNotDefinitionFile, "The file \"" + zeros + "\" is not an Foliowright file.");
}

TEST_F(LoadDefinition, HugeFileCannotBeRead) {
  const std::string huge = WriteBytes("huge.def", "Foliowright Version 2.0\r\n[File]\r\n");
  std::filesystem::resize_file(huge, kMaxDefinitionFileBytes + 1);  // sparse: no disk used
  ExpectError(huge, kErrDefinitionFileUnreadable, "Error in reading the file \"" + huge + "\".");
  // Binary content after a valid header is read without harm.
  std::string content = "Foliowright\r\n[File]\r\nReportFileName=r.xlsx\r\n";
  for (int i = 0; i < 256 * 64; ++i) content += static_cast<char>(i % 256);
  const std::string mixed = WriteBytes("mixed.def", content);
  LoadDefinitionFile(state, mixed);
  EXPECT_EQ(state.ReportFileName, "r.xlsx");
  EXPECT_EQ(state.DefinitionFilePath, mixed);
}

TEST_F(LoadDefinition, RelativePathIsTakenFromTheCurrentDirectory) {
  const std::string path = Write("rel.def", kExample);
  const std::filesystem::path relative = std::filesystem::relative(path);
  LoadDefinitionFile(state, relative.string());
  EXPECT_EQ(state.DefinitionFilePath, path);
  EXPECT_EQ(state.ReportTemplateFileName, "Template.xls");
}

TEST_F(LoadDefinition, RunParametersReplaceEveryDefault) {
  ASSERT_TRUE(ReadDefinitionFile(state, Write("p.def", {
      "Foliowright", "[Parameter]", "Name1=%A%", "Default1=a", "Name2=%B%", "Default2=b"})));
  StoreRunParameters(state, {"", "given", "", "", "", "", "seven"});
  EXPECT_EQ(state.Parameters[0].Value, "");
  EXPECT_EQ(state.Parameters[1].Value, "given");
  EXPECT_EQ(state.Parameters[6].Value, "seven");
  EXPECT_EQ(state.ParameterCount, 2);
}

}  // namespace
}  // namespace tabrix
