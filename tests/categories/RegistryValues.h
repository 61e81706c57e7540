#pragma once
// Raw registry values as a test reads or plants them.
#include <windows.h>

#include <string>
#include <vector>

#include "qv/Handles.h"

struct RawValue {
  bool exists = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

inline RawValue ReadRawValue(const std::string& subKey, const char* name) {
  RawValue value;
  Qv::UniqueHKey key;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
    return value;
  DWORD size = 0;
  if (::RegQueryValueExA(key.Get(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
    return value;
  value.bytes.resize(size);
  value.exists = ::RegQueryValueExA(key.Get(), name, nullptr, &value.type, value.bytes.data(), &size) ==
                 ERROR_SUCCESS;
  value.bytes.resize(size);
  return value;
}

inline void PlantRawValue(const std::string& subKey, const char* name, DWORD type, const void* data,
                          size_t size) {
  Qv::UniqueHKey key;
  ::RegCreateKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    key.Receive(), nullptr);
  ::RegSetValueExA(key.Get(), name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
}

inline void PlantText(const std::string& subKey, const char* name, const std::string& text) {
  PlantRawValue(subKey, name, REG_SZ, text.c_str(), text.size() + 1);
}

inline std::vector<BYTE> Bytes(std::initializer_list<int> values) {
  std::vector<BYTE> bytes;
  for (int v : values) bytes.push_back(static_cast<BYTE>(v));
  return bytes;
}
