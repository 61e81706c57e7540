#pragma once
// The shell's folder lookup, reached through SHFolder.dll at run time rather than linked,
// and the settings folder worked out from it.
#include <windows.h>

#include <string>

#include "qv/Handles.h"

class QvShellWrapper {
 public:
  // Loads `library` now; a library that cannot be loaded makes every lookup fail.
  explicit QvShellWrapper(const char* library = "SHFolder.dll");
  QvShellWrapper(const QvShellWrapper&) = delete;
  QvShellWrapper& operator=(const QvShellWrapper&) = delete;
  virtual ~QvShellWrapper() = default;

  // SHGetFolderPathA, looked up on each call; E_FAIL when the library or the function is
  // missing. `path` must hold MAX_PATH characters at least.
  HRESULT GetFolderPath(HWND window, int csidl, HANDLE token, DWORD flags, char* path) const;

 private:
  Qv::UniqueModule library_;
};

// The product folder under the user's roaming application data, created when missing;
// "" when the application-data folder is unknown or the product folder cannot be made.
std::string GetSettingsFolder();
std::string GetSettingsFolder(const QvShellWrapper& shell);

// settings.ini in the settings folder; the bare name (which the profile functions look
// for in the Windows directory) when the folder is "".
std::string GetSettingsFilePath();
std::string GetSettingsFilePath(const QvShellWrapper& shell);
