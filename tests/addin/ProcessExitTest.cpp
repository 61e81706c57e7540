// The process-exit path: a host that ends while the add-in's synchronisation thread is
// in the middle of a pass (here a public-file read the server takes 20 s to answer) ends
// at once. Other threads are gone by then and the loader lock is held: nothing may wait.
#include <windows.h>

#include <gtest/gtest.h>

#include "AddinBinary.h"
#include "Settings.h"
#include "support/LoopbackServers.h"
#include "support/SettingsFolderSandbox.h"

namespace {

TEST(ProcessExit, HostEndsAtOnceWhileAPassIsUnderWay) {
  SettingsFolderSandbox settingsFolder;
  ScratchFolder root;
  root.WriteFile("publiczne.txt", "A;1\r\n");
  LoopbackHttpServer server(root);
  CSettings settings;
  settings.SetIsInternetFile(true);
  settings.SetDataFileUrl(server.Url("slow/20000/publiczne.txt"));
  settings.SetOutlookUnblocked(true);
  settings.Save();

  const std::wstring program = TestProgramFolder() + L"exit_with_addin_running.exe";
  const ULONGLONG start = ::GetTickCount64();
  const DWORD code = RunWindowsProgram(L"\"" + program + L"\" \"" + AddinPath() + L"\" 1500", 15000);
  const ULONGLONG elapsed = ::GetTickCount64() - start;
  EXPECT_EQ(7u, code) << "the host ran its course and left through ExitProcess";
  EXPECT_LT(elapsed, 10000u) << "nothing waited for the pass";
  // The pass was really under way: the server saw the read.
  bool asked = false;
  for (const std::string& line : server.LoggedLines()) asked |= line.find("/slow/20000/") != std::string::npos;
  EXPECT_TRUE(asked);
}

}  // namespace
