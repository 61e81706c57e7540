#pragma once
// A clean registry for one test: while a RegistrySandbox lives, this process's view of one
// predefined key (HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, ...) is an
// empty scratch key under HKCU\Software\TagsyTest. The destructor restores the real key and
// deletes the scratch tree. Do not sandbox the same predefined key twice at once: the
// inner one's destructor would restore the real key, not the outer scratch.
#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "qv/Handles.h"

class RegistrySandbox {
 public:
  explicit RegistrySandbox(HKEY predefined) : predefined_(predefined) {
    static std::atomic<unsigned> counter{0};
    name_ = std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount64()) +
            "-" + std::to_string(counter++);
    // The parent is held open so the scratch tree can be found again whatever is overridden.
    Check(::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\TagsyTest", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, parent_.Receive(), nullptr),
          "create HKCU\\Software\\TagsyTest");
    // Not volatile: a volatile key refuses the ordinary subkeys the tests create under it.
    Check(::RegCreateKeyExA(parent_.Get(), name_.c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, scratch_.Receive(), nullptr),
          "create the scratch key");
    const LSTATUS status = ::RegOverridePredefKey(predefined_, scratch_.Get());
    if (status != ERROR_SUCCESS) {
      DeleteScratch();
      Check(status, "RegOverridePredefKey");
    }
  }
  RegistrySandbox(const RegistrySandbox&) = delete;
  RegistrySandbox& operator=(const RegistrySandbox&) = delete;

  ~RegistrySandbox() {
    ::RegOverridePredefKey(predefined_, nullptr);
    DeleteScratch();
  }

  // The key the predefined key now stands for.
  HKEY Scratch() const noexcept { return scratch_.Get(); }
  // Where the scratch key lives, under the real HKEY_CURRENT_USER.
  std::string ScratchPath() const { return "Software\\TagsyTest\\" + name_; }

 private:
  static void Check(LSTATUS status, const char* what) {
    if (status != ERROR_SUCCESS)
      throw std::runtime_error(std::string("RegistrySandbox: ") + what + " failed, error " +
                               std::to_string(status));
  }

  void DeleteScratch() noexcept {
    scratch_.Reset();
    ::RegDeleteTreeA(parent_.Get(), name_.c_str());
  }

  HKEY predefined_;
  std::string name_;
  Qv::UniqueHKey parent_;
  Qv::UniqueHKey scratch_;
};

// Writes a string value (nullptr name: the default value), creating the key on the way.
inline void WriteRegistryString(HKEY root, const std::string& subKey, const char* name,
                                const std::string& value) {
  Qv::UniqueHKey key;
  LSTATUS status = ::RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                     nullptr, key.Receive(), nullptr);
  if (status == ERROR_SUCCESS)
    status = ::RegSetValueExA(key.Get(), name, 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>(value.size() + 1));
  if (status != ERROR_SUCCESS)
    throw std::runtime_error("WriteRegistryString " + subKey + " failed, error " +
                             std::to_string(status));
}
