#pragma once
// What makes Outlook load the add-in, beyond the COM class: Outlook's add-in key under
// HKEY_LOCAL_MACHINE and the Exchange client-extensions entry.
#include <windows.h>

namespace Addin {

inline constexpr const char* kOutlookAddinsKey = "Software\\Microsoft\\Office\\Outlook\\AddIns";
inline constexpr const char* kOutlookAddinKey =
    "Software\\Microsoft\\Office\\Outlook\\AddIns\\QvParvaneExt.QvTagsyAddin";
inline constexpr const char* kExchangeExtensionsKey = "Software\\Microsoft\\Exchange\\Client\\Extensions";

// Both show their failures with ShowMessage. Register returns E_FAIL when Outlook's key
// could not be written; Unregister always succeeds.
HRESULT RegisterOutlookAddin();
HRESULT UnregisterOutlookAddin();

}  // namespace Addin
