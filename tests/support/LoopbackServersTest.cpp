// The scratch folders and the start-up protocol shared by both loopback servers.
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <string>
#include <stdexcept>
#include <vector>

#include "LoopbackServers.h"
#include "WinInetTestCalls.h"

namespace {

TEST(ScratchFolderTest, TwoFoldersAreDistinctAndNamedAlikeOnBothSides) {
  ScratchFolder first, second;
  EXPECT_NE(first.WindowsPath(), second.WindowsPath());
  ASSERT_TRUE(StartsWith(first.WindowsPath(), "Z:\\tmp\\tagsy-test-")) << first.WindowsPath();
  EXPECT_EQ("/tmp/" + first.WindowsPath().substr(7), first.UnixPath());
  EXPECT_EQ(first.WindowsPath() + "\\a.txt", first.WindowsPath("a.txt"));
  EXPECT_EQ(first.UnixPath() + "/a.txt", first.UnixPath("a.txt"));
}

TEST(ScratchFolderTest, RemovesEverythingInsideAtTheEnd) {
  std::string path;
  {
    ScratchFolder folder;
    path = folder.WindowsPath();
    ASSERT_TRUE(CreateDirectoryA(folder.WindowsPath("sub").c_str(), nullptr));
    folder.WriteFile("sub\\locked.txt", "x");
    SetFileAttributesA(folder.WindowsPath("sub\\locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    folder.WriteFile("top.txt", "y");
    EXPECT_EQ("y", folder.ReadFile("top.txt"));
  }
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str())) << path;
}

TEST(LoopbackServerLifeTest, DestructorStopsTheServer) {
  ScratchFolder root;
  int port = 0;
  {
    LoopbackHttpServer server(root);
    port = server.Port();
  }
  Internet session = OpenSession();
  Internet connection(InternetConnectA(session.get(), "127.0.0.1", static_cast<INTERNET_PORT>(port),
                                       nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  Internet request(
      HttpOpenRequestA(connection.get(), "GET", "/", nullptr, nullptr, nullptr, kNoCache, 0));
  EXPECT_FALSE(HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT), GetLastError());
}

TEST(LoopbackServerLifeTest, LogOutlivesStop) {
  ScratchFolder root;
  root.WriteFile("list.txt", "x");
  LoopbackHttpServer server(root);
  Internet session = OpenSession();
  Internet file(
      InternetOpenUrlA(session.get(), server.Url("list.txt").c_str(), nullptr, 0, kNoCache, 0));
  ASSERT_TRUE(file) << "error " << GetLastError();
  server.Stop();
  EXPECT_EQ(std::vector<std::string>{"GET /list.txt"}, server.LoggedLines());
}

TEST(LoopbackServerLifeTest, ServerThatCannotStartFailsAtOnceWithItsError) {
  ScratchFolder parent;
  const ULONGLONG start = GetTickCount64();
  try {
    LoopbackFtpServer server(parent.UnixPath("missing"));
    FAIL() << "started on a folder that does not exist";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string::npos, std::string(e.what()).find("stopped before it listened"))
        << e.what();
    EXPECT_NE(std::string::npos, std::string(e.what()).find("no such directory")) << e.what();
  }
  EXPECT_LT(GetTickCount64() - start, 5000u);
}

}  // namespace
