#include "AddinRegistryValues.h"

#include "CategorySync.h"
#include "qv/Handles.h"

namespace Addin {

DWORD ReadAddinDword(const char* name, DWORD fallback) {
  Qv::UniqueHKey key;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, CCategorySync::kRegistryKey, 0, KEY_READ, key.Receive()) !=
      ERROR_SUCCESS)
    return fallback;
  DWORD value = 0, type = 0, size = sizeof(value);
  if (::RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(value))
    return fallback;
  return value;
}

bool WriteAddinDword(const char* name, DWORD value) {
  Qv::UniqueHKey key;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, CCategorySync::kRegistryKey, 0, nullptr, 0,
                        KEY_READ | KEY_WRITE, nullptr, key.Receive(), nullptr) != ERROR_SUCCESS)
    return false;
  return ::RegSetValueExA(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value)) == ERROR_SUCCESS;
}

}  // namespace Addin
