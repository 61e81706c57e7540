#pragma once
// Telling Wine which Windows to be, for one executable.
#include <windows.h>

#include <string>

#include "RegistrySandbox.h"
#include "qv/Handles.h"

inline bool RunningUnderWine() {
  return ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// Wine reports the Windows version named in HKCU\Software\Wine\AppDefaults\<exe>\Version
// to that executable only, from its next start. The value goes again at the end, and
// the key if we made it.
class WineVersionForExecutable {
 public:
  WineVersionForExecutable(const std::string& executable, const std::string& version)
      : subKey_("Software\\Wine\\AppDefaults\\" + executable) {
    Qv::UniqueHKey existing;
    createdKey_ = ::RegOpenKeyExA(HKEY_CURRENT_USER, subKey_.c_str(), 0, KEY_READ,
                                  existing.Receive()) != ERROR_SUCCESS;
    WriteRegistryString(HKEY_CURRENT_USER, subKey_, "Version", version);
  }
  ~WineVersionForExecutable() {
    ::RegDeleteKeyValueA(HKEY_CURRENT_USER, subKey_.c_str(), "Version");
    if (createdKey_) ::RegDeleteKeyA(HKEY_CURRENT_USER, subKey_.c_str());
  }
  WineVersionForExecutable(const WineVersionForExecutable&) = delete;
  WineVersionForExecutable& operator=(const WineVersionForExecutable&) = delete;

 private:
  std::string subKey_;
  bool createdKey_ = false;
};
