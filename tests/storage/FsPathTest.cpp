#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FsPath.h"
#include "qv/Handles.h"
#include "qv/Text.h"

namespace {

// 表 in code page 932: its trail byte is the backslash.
#define KANJI_WITH_BACKSLASH "\x95\x5C"
constexpr UINT kJapaneseCodePage = 932;

struct TextCase {
  const char* path;
  const char* expected;
};

TEST(FsPath, ConstructionKeepsTheTextAsGiven) {
  EXPECT_EQ("C:\\a b\\c", QvFsPath("C:\\a b\\c").Str());
  EXPECT_EQ("rel/x", QvFsPath(std::string("rel/x")).Str());
  EXPECT_EQ("", QvFsPath(static_cast<const char*>(nullptr)).Str());
  EXPECT_EQ("", QvFsPath().Str());
}

TEST(FsPath, JoinAddsABackslashOnlyWhenNeeded) {
  struct JoinCase {
    const char* path;
    const char* name;
    const char* expected;
  };
  const JoinCase cases[] = {
      {"", "settings.ini", "settings.ini"},
      {"C:\\dir", "settings.ini", "C:\\dir\\settings.ini"},
      {"C:\\dir\\", "f.txt", "C:\\dir\\f.txt"},
      {"dir/", "f.txt", "dir/f.txt"},
      {"C:", "f", "C:\\f"},
      {"\\\\server\\share", "f.txt", "\\\\server\\share\\f.txt"},
      {"a", "", "a\\"},
  };
  for (const JoinCase& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " + " + c.name);
    EXPECT_EQ(c.expected, QvFsPath(c.path).Join(c.name).Str());
  }
}

TEST(FsPath, FileNameFollowsTheLastBackslashElseTheLastSlash) {
  const TextCase cases[] = {
      {"", ""},
      {"file.txt", "file.txt"},
      {"C:\\dir\\file.txt", "file.txt"},
      {"a/b.txt", "b.txt"},
      {"a\\b/c", "b/c"},
      {"a/b\\c", "c"},
      {"C:\\dir\\", ""},
      {"\\\\server\\share", "share"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.expected, QvFsPath(c.path).FileName());
  }
}

TEST(FsPath, ExtensionIsTakenOnlyFromTheFileName) {
  const TextCase cases[] = {
      {"a/b.txt", "txt"},
      {"C:\\dir\\cats.TXT", "TXT"},
      {"dir.v2\\file", ""},
      {"archive.tar.gz", "gz"},
      {"noext", ""},
      {"", ""},
      {"file.", ""},
      {".txt", "txt"},
      {"a.b/c", ""},
      {"a\\b/c.d", "d"},
      {"a.b\\c/d", ""},
      {"\\\\srv.example\\share\\file", ""},
      {"\\\\srv\\share\\f.txt", "txt"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.expected, QvFsPath(c.path).Extension());
  }
}

// A byte-by-byte search would take the trail byte of 表 for a separator.
TEST(FsPath, DoubleByteCharacterEndingInBackslashIsNotASeparator) {
  if (::GetACP() != kJapaneseCodePage)
    GTEST_SKIP() << "needs ANSI code page 932, not " << ::GetACP();
  const std::string folder = "C:\\dir\\" KANJI_WITH_BACKSLASH;
  EXPECT_EQ(folder + "\\f.txt", QvFsPath(folder).Join("f.txt").Str());
  EXPECT_EQ(KANJI_WITH_BACKSLASH, QvFsPath(folder).FileName());
  EXPECT_EQ("", QvFsPath(folder).Extension());
  EXPECT_EQ("c" KANJI_WITH_BACKSLASH, QvFsPath("dir\\name.c" KANJI_WITH_BACKSLASH).Extension());
  EXPECT_EQ("a" KANJI_WITH_BACKSLASH "b", QvFsPath("x/a" KANJI_WITH_BACKSLASH "b").FileName());
  EXPECT_EQ("", QvFsPath("a.b\\" KANJI_WITH_BACKSLASH).Extension());
}

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA found;
  Qv::UniqueFind find(::FindFirstFileA((path + "\\*").c_str(), &found));
  if (find) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string child = path + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        ::DeleteFileA(child.c_str());
      }
    } while (::FindNextFileA(find.Get(), &found));
  }
  find.Reset();
  ::RemoveDirectoryA(path.c_str());
}

bool DirectoryExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// The names in a folder, sorted, without "." and "..".
std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  Qv::UniqueFind find(::FindFirstFileA((folder + "\\*").c_str(), &found));
  if (!find) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileA(find.Get(), &found));
  return Sorted(names);
}

// A fresh folder under the temporary directory, with one file in it, removed afterwards.
class FsPathOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetTempPathA(MAX_PATH, temp));
    root_ = QvFsPath(temp)
                .Join(Qv::Format("tagsy-fspath-%lu-%lu", ::GetCurrentProcessId(), ::GetTickCount()))
                .Str();
    ASSERT_TRUE(::CreateDirectoryA(root_.c_str(), nullptr)) << root_;
    file_ = root_ + "\\plain.txt";
    Qv::UniqueFile file(::CreateFileA(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.IsValid());
  }
  void TearDown() override { RemoveTree(root_); }

  std::string root_;
  std::string file_;
};

TEST_F(FsPathOnDisk, IsDirectoryNeedsAFolderThatCanBeListed) {
  ASSERT_TRUE(::CreateDirectoryA((root_ + "\\empty").c_str(), nullptr));
  const struct {
    std::string path;
    bool expected;
  } cases[] = {
      {root_, true},
      {root_ + "\\", true},
      {root_ + "\\empty", true},
      {file_, false},
      {root_ + "\\missing", false},
      {"C:\\", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.expected, QvFsPath(c.path).IsDirectory());
  }
}

TEST_F(FsPathOnDisk, CreateDirectoryTreeMakesEveryMissingLevel) {
  const std::string nested = root_ + "\\a\\b\\c";
  EXPECT_TRUE(QvFsPath(nested).CreateDirectoryTree());
  EXPECT_TRUE(DirectoryExists(nested));

  EXPECT_TRUE(QvFsPath(nested).CreateDirectoryTree()) << "an existing tree is success";
  EXPECT_TRUE(QvFsPath(root_ + "\\a\\").CreateDirectoryTree());

  const std::string slashed = root_ + "/d/e";
  EXPECT_TRUE(QvFsPath(slashed).CreateDirectoryTree());
  EXPECT_TRUE(DirectoryExists(root_ + "\\d\\e"));
  EXPECT_EQ(Sorted({"a", "d", "plain.txt"}), Entries(root_));
}

TEST_F(FsPathOnDisk, CreateDirectoryTreeFailsUnderAFile) {
  EXPECT_FALSE(QvFsPath(file_ + "\\sub").CreateDirectoryTree());
  EXPECT_FALSE(QvFsPath(file_ + "\\sub\\deeper").CreateDirectoryTree());
  EXPECT_FALSE(QvFsPath(file_).CreateDirectoryTree()) << "a file is not a directory";
  EXPECT_FALSE(Exists(file_ + "\\sub"));
}

TEST_F(FsPathOnDisk, PathOfOnePartIsOnlyTested) {
  char previous[MAX_PATH] = {};
  ASSERT_NE(0u, ::GetCurrentDirectoryA(MAX_PATH, previous));
  ASSERT_TRUE(::SetCurrentDirectoryA(root_.c_str()));
  const bool missing = QvFsPath("single").CreateDirectoryTree();
  const bool missingWithSlash = QvFsPath("single\\").CreateDirectoryTree();
  const bool existing = QvFsPath("C:").CreateDirectoryTree();
  ::SetCurrentDirectoryA(previous);

  EXPECT_FALSE(missing);
  EXPECT_FALSE(missingWithSlash);
  EXPECT_TRUE(existing);
  EXPECT_FALSE(Exists(root_ + "\\single")) << "one part is never created";
}

TEST_F(FsPathOnDisk, CreateDirectoryTreeSplitsOnlyAtRealSeparators) {
  if (::GetACP() != kJapaneseCodePage)
    GTEST_SKIP() << "needs ANSI code page 932, not " << ::GetACP();
  const std::string folder = root_ + "\\" KANJI_WITH_BACKSLASH;
  // Wine turns a name into a Unix file name in the Unix locale's character set; without a
  // generated glibc locale for ja_JP.UTF-8 that set cannot hold 表.
  if (!::CreateDirectoryA(folder.c_str(), nullptr))
    GTEST_SKIP() << "this system cannot name a folder " KANJI_WITH_BACKSLASH
                 << " (error " << ::GetLastError() << ")";
  ASSERT_TRUE(::RemoveDirectoryA(folder.c_str()));
  EXPECT_TRUE(QvFsPath(folder + "\\sub").CreateDirectoryTree());
  EXPECT_TRUE(DirectoryExists(folder + "\\sub"));
  EXPECT_EQ(Sorted({"plain.txt", KANJI_WITH_BACKSLASH}), Entries(root_))
      << "no folder named after the lead byte alone";
}

TEST(FsPathUnc, MissingServerFails) {
  EXPECT_FALSE(QvFsPath("\\\\tagsy-no-such-server\\share\\dir").CreateDirectoryTree());
}

// Wine serves \\server\share from the prefix's dosdevices\unc folder, which lets a test
// own a share. Windows would need a real one.
TEST_F(FsPathOnDisk, UncPathKeepsItsPrefix) {
  char prefix[MAX_PATH] = {};
  if (::GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH) == 0 || prefix[0] != '/')
    GTEST_SKIP() << "needs a Wine prefix to hold a share";
  std::string unc = std::string("Z:") + prefix + "\\dosdevices\\unc";
  std::replace(unc.begin(), unc.end(), '/', '\\');
  const std::string server = Qv::Format("tagsy-test-%lu", ::GetCurrentProcessId());
  ASSERT_TRUE(QvFsPath(unc + "\\" + server + "\\share").CreateDirectoryTree());

  const bool created = QvFsPath("\\\\" + server + "\\share\\x\\y").CreateDirectoryTree();
  const bool arrived = DirectoryExists(unc + "\\" + server + "\\share\\x\\y");
  RemoveTree(unc + "\\" + server);
  EXPECT_TRUE(created);
  EXPECT_TRUE(arrived);
  EXPECT_FALSE(Exists(root_ + "\\" + server)) << "nothing relative to the current folder";
}

TEST_F(FsPathOnDisk, FileExistsWithSharingOpensWithoutAccessRights) {
  const struct {
    std::string path;
    DWORD share;
    bool expected;
  } cases[] = {
      {file_, FILE_SHARE_READ, true},
      {file_, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true},
      {file_, 0, true},
      {root_ + "\\missing.txt", FILE_SHARE_READ, false},
      {root_ + "\\no\\such\\path.txt", FILE_SHARE_READ, false},
      {root_, FILE_SHARE_READ, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path + " share " + std::to_string(c.share));
    EXPECT_EQ(c.expected, QvFsPath(c.path).FileExistsWithSharing(c.share));
  }

  // No access rights means no sharing conflict, even with a handle that shares nothing.
  Qv::UniqueFile exclusive(::CreateFileA(file_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(exclusive.IsValid());
  EXPECT_TRUE(QvFsPath(file_).FileExistsWithSharing(0));
  EXPECT_TRUE(QvFsPath(file_).FileExistsWithSharing(FILE_SHARE_READ));
}

}  // namespace
