// Path texts with either separator, relative paths against a base folder, the file-system
// helpers of a run (readable files, folder chains), passwords and the component's folder.
#include "support/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "fixtures/office_tools.h"

namespace tabrix {
namespace {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed at the end of the test.
class FileSystem : public ::testing::Test {
 protected:
  const testing::TempFolder folder_{"tabrix-paths"};
  const std::string root_ = folder_.Path();
};

TEST(PathText, FolderPartAndBaseNameAcceptBothSeparators) {
  EXPECT_EQ(FolderPart("report.xls"), "");
  EXPECT_EQ(FolderPart("C:\\r\\report.xls"), "C:/r");
  EXPECT_EQ(FolderPart("/srv/r\\out/a.xls"), "/srv/r/out");
  EXPECT_EQ(BaseName("C:\\r\\sales.2009.def"), "sales.2009");
  EXPECT_EQ(BaseName("/a.b/noext"), "noext");
}

TEST(PathText, NetworkPathsAndUrls) {
  EXPECT_TRUE(IsNetworkPath("\\/srv"));
  EXPECT_TRUE(IsNetworkPath("\\\\srv\\share"));
  EXPECT_FALSE(IsNetworkPath("\\x"));
  EXPECT_TRUE(IsUrl("http://host/a.png"));
  EXPECT_FALSE(IsUrl("C:\\a.png"));
}

TEST(ResolveRelativePath, NetworkBaseFollowsTheTextRules) {
  EXPECT_EQ(ResolveRelativePath("\\\\srv\\share\\rep", "data\\a.xls"), "//srv/share/rep/data/a.xls");
  EXPECT_EQ(ResolveRelativePath("\\\\srv\\share\\rep\\", "..\\b.xls"), "//srv/share/b.xls");
  EXPECT_EQ(ResolveRelativePath("\\\\srv\\share\\rep", ".\\x\\.\\c.xls"), "//srv/share/rep/x/c.xls");
  EXPECT_EQ(ResolveRelativePath("\\\\srv\\share", "..\\..\\..\\x.xls"), "");
  // Absolute paths, drive paths and network paths stand as they are.
  EXPECT_EQ(ResolveRelativePath("\\\\srv\\share", "C:\\x.xls"), "C:/x.xls");
  EXPECT_EQ(ResolveRelativePath("\\\\srv\\share", "\\x.xls"), "/x.xls");
  EXPECT_EQ(ResolveRelativePath("/base", "//other/y.xls"), "//other/y.xls");
}

TEST(ResolveRelativePath, LocalBaseMayClimbToTheRootButNotAbove) {
  EXPECT_EQ(ResolveRelativePath("/home/rep", "../../a.png"), "/a.png");
  EXPECT_EQ(ResolveRelativePath("/home/rep", "../../../a.png"), "");
  EXPECT_EQ(ResolveRelativePath("/", "a.png"), "/a.png");
}

TEST(AbsolutePath, ResolvesAgainstTheBaseWithoutChangingDirectory) {
  const fs::path before = fs::current_path();
  EXPECT_EQ(AbsolutePath("out\\..\\r.xlsx", "/data/rep"), "/data/rep/r.xlsx");
  EXPECT_EQ(AbsolutePath("/x/./y/", "/data"), "/x/y");
  EXPECT_EQ(AbsolutePath("sub/a.def", "rel"), (before / "rel/sub/a.def").string());
  EXPECT_EQ(AbsolutePath("a.def"), (before / "a.def").string());
  EXPECT_EQ(fs::current_path(), before);
}

TEST_F(FileSystem, FileExistsOnlyForReadableFiles) {
  const std::string file = root_ + "/a.txt";
  std::ofstream(file) << "x";
  EXPECT_TRUE(FileExists(file));
  EXPECT_TRUE(FileExists(root_ + "\\a.txt"));
  EXPECT_FALSE(FileExists(root_));
  EXPECT_FALSE(FileExists(root_ + "\\"));
  EXPECT_FALSE(FileExists(root_ + "/missing.txt"));
  EXPECT_FALSE(FileExists(""));
  // Root reads anything: the check runs in a child process under the user "nobody".
  ::chmod(file.c_str(), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::chmod(root_.c_str(), 0711) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
      ::_exit(2);
    ::_exit(FileExists(file) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the unreadable file counts as existing, 2: could not become nobody";
}

TEST_F(FileSystem, MakeFolderChainCreatesEveryMissingLevel) {
  const std::string chain = root_ + "\\a\\b/c";
  EXPECT_TRUE(MakeFolderChain(chain));
  EXPECT_TRUE(fs::is_directory(root_ + "/a/b/c"));
  // All levels present: nothing to do, still true.
  EXPECT_TRUE(MakeFolderChain(root_ + "/a/b/c/"));
  // A file in the way of a level: the chain cannot exist.
  std::ofstream(root_ + "/file") << "x";
  EXPECT_FALSE(MakeFolderChain(root_ + "/file/sub"));
}

TEST(RandomPassword, SixCharactersFromTheAllowedRange) {
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    std::string password = RandomPassword();
    ASSERT_EQ(password.size(), 6u);
    for (char c : password) {
      EXPECT_GE(c, 48);
      EXPECT_LE(c, 122);
    }
    seen.insert(password);
  }
  EXPECT_GT(seen.size(), 45u);  // reseeding does not repeat the same values
}

TEST(ComponentFolder, IsTheFolderOfTheRunningProgram) {
  EXPECT_EQ(fs::canonical(ComponentFolder()), fs::canonical(TABRIX_BINARY_DIR));
}

}  // namespace
}  // namespace tabrix
