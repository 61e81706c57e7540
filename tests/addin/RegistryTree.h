#pragma once
// A registry subtree as text, for comparing what registration wrote: one entry per key
// ("path\\") and per value ("path\\|name" → "type:data"), paths relative to the root given.
#include <windows.h>

#include <map>
#include <string>

#include "qv/Handles.h"
#include "qv/Text.h"

using RegistryTree = std::map<std::wstring, std::wstring>;

inline void ReadRegistryTree(HKEY key, const std::wstring& path, RegistryTree& tree) {
  tree[path + L"\\"] = L"";
  for (DWORD index = 0;; ++index) {
    wchar_t name[512];
    DWORD nameLength = 512, type = 0, size = 0;
    if (::RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
      break;
    std::wstring data(size / sizeof(wchar_t) + 2, L'\0');
    DWORD dataSize = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    nameLength = 512;
    ::RegEnumValueW(key, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]),
                    &dataSize);
    std::wstring text;
    if (type == REG_DWORD)
      text = L"dword:" + std::to_wstring(*reinterpret_cast<const DWORD*>(data.data()));
    else if (type == REG_SZ || type == REG_EXPAND_SZ)
      text = L"sz:" + std::wstring(data.c_str());
    else
      text = L"type" + std::to_wstring(type);
    tree[path + L"\\|" + name] = text;
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[512];
    DWORD nameLength = 512;
    if (::RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    Qv::UniqueHKey child;
    if (::RegOpenKeyExW(key, name, 0, KEY_READ, child.Receive()) == ERROR_SUCCESS)
      ReadRegistryTree(child.Get(), path + L"\\" + name, tree);
  }
}

// The tree under `root\subkey`, empty when the key does not exist.
inline RegistryTree RegistryTreeOf(HKEY root, const std::wstring& subkey) {
  RegistryTree tree;
  Qv::UniqueHKey key;
  if (::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS)
    ReadRegistryTree(key.Get(), L"", tree);
  return tree;
}

inline bool RegistryKeyExists(HKEY root, const std::wstring& subkey) {
  Qv::UniqueHKey key;
  return ::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}
