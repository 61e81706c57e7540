// The add-in's own activation context: inside it, windows get common controls version 6
// (visual styles); outside it, a DLL's windows would get the old controls.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "ActivationContext.h"

namespace {

// Only version 6 buttons answer BCM_GETIDEALSIZE.
bool ButtonIsVersion6() {
  HWND button = ::CreateWindowExW(0, L"BUTTON", L"Zarz\u0105dzaj", WS_POPUP | BS_PUSHBUTTON, 0, 0, 80, 24,
                                  nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (!button) return false;
  SIZE size = {};
  const bool answered = ::SendMessageW(button, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&size)) != 0;
  ::DestroyWindow(button);
  return answered;
}

TEST(ActivationContext, WindowsMadeInsideTheScopeAreVersion6AndTheScopeEnds) {
  EXPECT_FALSE(ButtonIsVersion6()) << "the test program itself has no manifest";
  {
    Addin::CActivationScope scope;
    ASSERT_TRUE(scope.Active());
    EXPECT_TRUE(ButtonIsVersion6());
    Addin::CActivationScope nested;
    EXPECT_TRUE(nested.Active());
  }
  EXPECT_FALSE(ButtonIsVersion6()) << "deactivated again";
  Addin::ReleaseActivationContext();
  Addin::CActivationScope again;
  EXPECT_TRUE(again.Active()) << "made again after a release";
}

}  // namespace
