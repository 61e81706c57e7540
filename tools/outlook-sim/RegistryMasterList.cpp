#include "RegistryMasterList.h"

#include <windows.h>

#include <stdexcept>
#include <vector>

#include "qv/Handles.h"
#include "qv/Text.h"

namespace OutlookSim {
namespace {

const char* ValueName(int major) { return major == 8 ? "" : "MasterList"; }

std::vector<SimCategory> SplitNames(const std::wstring& text) {
  std::vector<SimCategory> categories;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L';', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring name = text.substr(start, end - start);
    const size_t first = name.find_first_not_of(L" \t");
    const size_t last = name.find_last_not_of(L" \t");
    if (first != std::wstring::npos) categories.push_back({name.substr(first, last - first + 1), 0});
    start = end + 1;
  }
  return categories;
}

}  // namespace

std::wstring RegistryMasterListKey(int major) {
  return L"Software\\Microsoft\\Office\\" + std::to_wstring(major) + L".0\\Outlook\\Categories";
}

std::vector<SimCategory> ReadRegistryMasterList(int major) {
  Qv::UniqueHKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, RegistryMasterListKey(major).c_str(), 0, KEY_READ,
                      key.Receive()) != ERROR_SUCCESS)
    return {};
  DWORD type = 0, size = 0;
  const char* name = ValueName(major);
  if (::RegQueryValueExA(key.Get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      size == 0)
    return {};
  // Zeros beyond the data terminate the text even when the stored value is not.
  std::vector<BYTE> data(size + 4, 0);
  if (::RegQueryValueExA(key.Get(), name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
    return {};
  if (type == REG_BINARY) return SplitNames(reinterpret_cast<const wchar_t*>(data.data()));
  return SplitNames(Qv::AnsiToWide(reinterpret_cast<const char*>(data.data())));
}

void WriteRegistryMasterList(int major, const std::vector<SimCategory>& categories) {
  std::wstring joined;
  for (const SimCategory& category : categories) {
    if (!joined.empty()) joined += L';';
    joined += category.name;
  }
  Qv::UniqueHKey key;
  LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, RegistryMasterListKey(major).c_str(), 0,
                                     nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.Receive(),
                                     nullptr);
  if (status == ERROR_SUCCESS) {
    if (major <= 9) {
      const std::string narrow = Qv::WideToAnsi(joined);
      status = ::RegSetValueExA(key.Get(), ValueName(major), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(narrow.c_str()),
                                static_cast<DWORD>(narrow.size() + 1));
    } else {
      status = ::RegSetValueExA(key.Get(), ValueName(major), 0, REG_BINARY,
                                reinterpret_cast<const BYTE*>(joined.c_str()),
                                static_cast<DWORD>((joined.size() + 1) * sizeof(wchar_t)));
    }
  }
  if (status != ERROR_SUCCESS)
    throw std::runtime_error("cannot write Outlook's master category list to the registry, error " +
                             std::to_string(status));
}

}  // namespace OutlookSim
