#pragma once
// Outlook's master category list before version 12: one registry value under
// HKEY_CURRENT_USER "Software\Microsoft\Office\<major>.0\Outlook\Categories", the names
// joined by ";", no colours. Outlook 8 keeps it in the key's default value, later ones in
// "MasterList"; 8 and 9 write a REG_SZ in the ANSI code page, 10 and 11 a REG_BINARY of
// UTF-16LE text with a terminating 16-bit zero. Whatever the version, the stored type
// decides how it is read.
#include <string>
#include <vector>

#include "OutlookSimHost.h"

namespace OutlookSim {

std::wstring RegistryMasterListKey(int major);
// Empty when the key or the value is missing (Outlook then shows its built-in defaults).
std::vector<SimCategory> ReadRegistryMasterList(int major);
// Throws std::runtime_error when the key cannot be written.
void WriteRegistryMasterList(int major, const std::vector<SimCategory>& categories);

}  // namespace OutlookSim
