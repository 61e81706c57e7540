#include "AddinRegistration.h"

#include <string>

#include "AddinIds.h"
#include "Error.h"
#include "qv/Handles.h"

namespace Addin {
namespace {

const std::string kKeyFailure = std::string("Failed to create registry key '") + kOutlookAddinKey + "'";
const std::string kValueFailure = std::string("Failed to set registry value at key '") + kOutlookAddinKey + "'";

bool SetText(HKEY key, const char* name, const char* text) {
  return ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(std::char_traits<char>::length(text) + 1)) == ERROR_SUCCESS;
}

// Every failure here is swallowed: the entry belongs to old Exchange clients.
void RefreshExchangeExtension() {
  Qv::UniqueHKey key;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kExchangeExtensionsKey, 0, KEY_READ | KEY_WRITE,
                      key.Receive()) != ERROR_SUCCESS)
    return;
  ::RegDeleteValueA(key.Get(), kApplicationName);
  SetText(key.Get(), "Outlook Setup Extension", "4.0;Outxxx.dll;7;000000000000000;0000000000;OutXXX");
}

}  // namespace

HRESULT RegisterOutlookAddin() {
  HRESULT result = S_OK;
  try {
    Qv::UniqueHKey key;
    // The registry reports its failure as the call's result, not through the thread's
    // last error, so that result is the code shown.
    LSTATUS status = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kOutlookAddinKey, 0, nullptr, 0,
                                       KEY_READ | KEY_WRITE, nullptr, key.Receive(), nullptr);
    if (status != ERROR_SUCCESS)
      throw Error::QvExceptionCommon(static_cast<DWORD>(status), kKeyFailure, __FILE__, __LINE__);
    const DWORD loadAtStartup = 3;
    status = ::RegSetValueExA(key.Get(), "LoadBehavior", 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&loadAtStartup), sizeof(loadAtStartup));
    if (status != ERROR_SUCCESS)
      throw Error::QvExceptionCommon(static_cast<DWORD>(status), kValueFailure, __FILE__, __LINE__);
    SetText(key.Get(), "Description", kApplicationName);
    SetText(key.Get(), "FriendlyName", kApplicationName);
  } catch (const Error::QvException& e) {
    e.ShowMessage(Error::kErrorBoxStyle);
    result = E_FAIL;
  }
  if (SUCCEEDED(result)) RefreshExchangeExtension();
  return result;
}

HRESULT UnregisterOutlookAddin() {
  try {
    Qv::UniqueHKey key;
    const LSTATUS status =
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kOutlookAddinsKey, 0, KEY_READ | KEY_WRITE, key.Receive());
    if (status != ERROR_SUCCESS)
      throw Error::QvExceptionCommon(static_cast<DWORD>(status), kKeyFailure, __FILE__, __LINE__);
    ::RegDeleteTreeA(key.Get(), "QvParvaneExt.QvTagsyAddin");
  } catch (const Error::QvException& e) {
    e.ShowMessage(Error::kErrorBoxStyle);
  }
  RefreshExchangeExtension();
  return S_OK;
}

}  // namespace Addin
