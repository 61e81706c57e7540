#pragma once
// The add-in's own values under HKEY_CURRENT_USER\Software\Velmora\Velmora Tagsy.
// Failures to open or read are silent: the caller's default stands.
#include <windows.h>

namespace Addin {

// A REG_DWORD value; `fallback` when the key or the value is missing or not a DWORD.
DWORD ReadAddinDword(const char* name, DWORD fallback);
// Creates the key when needed; false when the value could not be written.
bool WriteAddinDword(const char* name, DWORD value);

inline constexpr const char* kShowWarningValue = "ShowWarning";
inline constexpr const char* kDoNotShowConfigWizardValue = "DoNotShowConfigWizard";

}  // namespace Addin
