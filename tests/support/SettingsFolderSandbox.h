#pragma once
// Gives a test the real settings folder of the Wine prefix's user and leaves it as it was
// found: the files the add-in keeps there are removed afterwards, and the folder too when
// the test made it. Tests that use it hold the CTest resource lock "appdata".
#include <windows.h>

#include <string>

#include "ShellWrapper.h"

class SettingsFolderSandbox {
 public:
  SettingsFolderSandbox() : existedBefore_(FolderExists(ExpectedFolder())) {
    folder_ = GetSettingsFolder();
    RemoveFiles();
  }
  ~SettingsFolderSandbox() {
    RemoveFiles();
    if (!existedBefore_) ::RemoveDirectoryA(folder_.c_str());
  }
  SettingsFolderSandbox(const SettingsFolderSandbox&) = delete;
  SettingsFolderSandbox& operator=(const SettingsFolderSandbox&) = delete;

  const std::string& Folder() const { return folder_; }
  std::string File(const char* name) const { return folder_ + "\\" + name; }

 private:
  static std::string ExpectedFolder() {
    char appData[MAX_PATH] = {};
    QvShellWrapper shell;
    if (FAILED(shell.GetFolderPath(nullptr, 0x001A, nullptr, 1, appData))) return {};
    return std::string(appData) + "\\Velmora Tagsy";
  }
  static bool FolderExists(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  void RemoveFiles() const {
    for (const char* name : {"settings.ini", "tempPCF.txt"}) {
      const std::string path = File(name);
      ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!::DeleteFileA(path.c_str())) ::RemoveDirectoryA(path.c_str());
    }
  }

  bool existedBefore_;
  std::string folder_;
};
