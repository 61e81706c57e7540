// Real message boxes on the Xvfb display: a watcher thread finds the box the test thread
// shows, reads it from the window and presses a button.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "Error.h"
#include "MessageBoxes.h"

namespace {

struct SeenBox {
  std::string text;
  std::string caption;
  HWND owner = nullptr;
  bool found = false;
};

HWND FindDialogOfThread(DWORD threadId) {
  HWND found = nullptr;
  EnumThreadWindows(
      threadId,
      [](HWND window, LPARAM param) -> BOOL {
        char className[32] = {};
        GetClassNameA(window, className, sizeof className);
        if (std::string(className) == "#32770" && IsWindowVisible(window)) {
          *reinterpret_cast<HWND*>(param) = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// Waits up to 10 s for a box on `threadId`, records it and presses `button`.
std::thread AnswerBox(DWORD threadId, int button, SeenBox& seen) {
  return std::thread([threadId, button, &seen] {
    for (int i = 0; i < 1000; ++i) {
      if (HWND box = FindDialogOfThread(threadId)) {
        char text[512] = {}, caption[128] = {};
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        GetWindowTextA(box, caption, sizeof caption);
        seen = {text, caption, GetWindow(box, GW_OWNER), true};
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                            reinterpret_cast<LPARAM>(GetDlgItem(box, button)), SMTO_BLOCK, 5000,
                            &ignored);
        return;
      }
      Sleep(10);
    }
  });
}

TEST(RealMessageBox, ShowMessageShowsTextAndCaptionAndReturnsTheButton) {
  if (GetSystemMetrics(SM_CXSCREEN) == 0) GTEST_SKIP() << "no display";
  SeenBox seen;
  std::thread watcher = AnswerBox(GetCurrentThreadId(), IDOK, seen);
  const int answer =
      Error::QvExceptionText("Nie uda\xB3o si\xEA za\xB3" "adowa\xE6 pliku.", __FILE__, __LINE__)
          .ShowMessage(Error::kErrorBoxStyle);
  watcher.join();
  ASSERT_TRUE(seen.found) << "no message box appeared";
  EXPECT_EQ(IDOK, answer);
  EXPECT_EQ("Nie uda\xB3o si\xEA za\xB3" "adowa\xE6 pliku.", seen.text);
  EXPECT_EQ("Error", seen.caption);
  EXPECT_EQ(nullptr, seen.owner);
}

TEST(RealMessageBox, AppMessageBoxIsOwnedByTheActiveWindow) {
  if (GetSystemMetrics(SM_CXSCREEN) == 0) GTEST_SKIP() << "no display";
  HWND outlook = CreateWindowExA(0, "STATIC", "Outlook", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                 300, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(nullptr, outlook);
  SetActiveWindow(outlook);
  ASSERT_EQ(outlook, GetActiveWindow());

  SeenBox seen;
  std::thread watcher = AnswerBox(GetCurrentThreadId(), IDNO, seen);
  const int answer = Error::AppMessageBox("Czy na pewno?", MB_YESNO);
  watcher.join();
  DestroyWindow(outlook);

  ASSERT_TRUE(seen.found) << "no message box appeared";
  EXPECT_EQ(IDNO, answer);
  EXPECT_EQ("Czy na pewno?", seen.text);
  EXPECT_EQ("Velmora Tagsy", seen.caption);
  EXPECT_EQ(outlook, seen.owner);
}

TEST(ApplicationName, CaptionFollowsTheName) {
  Error::SetApplicationName("Velmora Tagsy (test)");
  std::string caption;
  auto previous = Error::SetMessageBoxPresenter([&](const Error::MessageBoxRequest& r) {
    caption = r.caption;
    return IDOK;
  });
  Error::AppMessageBox("x");
  Error::SetMessageBoxPresenter(previous);
  Error::SetApplicationName("Velmora Tagsy");
  EXPECT_EQ("Velmora Tagsy (test)", caption);
}

}  // namespace
