#pragma once
// Where the outlook-sim programs are built, as a test program sees it
// (TAGSY_OUTLOOK_SIM_DIR is relative to the test's own folder).
#include <windows.h>

#include <algorithm>
#include <string>

#include "qv/Text.h"

inline std::wstring SimPath(int major) {
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self);
  path.erase(path.find_last_of(L'\\') + 1);
  std::wstring relative = Qv::AnsiToWide(TAGSY_OUTLOOK_SIM_DIR);
  std::replace(relative.begin(), relative.end(), L'/', L'\\');
  return path + relative + L"\\outlook-sim-" + std::to_wstring(major) + L".exe";
}
