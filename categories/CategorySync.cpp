#include "CategorySync.h"

#include <vector>

#include "OutlookCategories.h"
#include "PublicCategoryFile.h"
#include "SyncPassLock.h"
#include "VersionInfo.h"
#include "qv/Handles.h"

const char* const CCategorySync::kRegistryKey = "Software\\Velmora\\Velmora Tagsy";

namespace {
constexpr char kPrevCategoriesValue[] = "PrevCategories";
}

CCategorySync::CCategorySync() : CCategorySync(OutlookMajorVersion()) {}

CCategorySync::CCategorySync(WORD outlookVersion)
    : settings_(new CSettings), outlookVersion_(outlookVersion) {}

BOOL CCategorySync::Synchronize() {
  SyncPassLock onePassAtATime;
  try {
    return Pass();
  } catch (...) {
    return FALSE;
  }
}

BOOL CCategorySync::Pass() {
  settings_->Load();
  if (settings_->GetPublicFileLocation().Path.empty()) return TRUE;

  CCategoryVector publicList;
  if (!ReadPublicCategories(publicList)) return FALSE;
  CCategoryVector previous;
  ReadPrevCategories(previous);
  const CCategoryVector removed = previous.Subtract(publicList.items);

  COutlookCategories outlook(outlookVersion_);
  outlook.Load();
  // Working from a part of Outlook's list would record the public list as merged while
  // some removals never happened; they would then never happen.
  if (!outlook.LoadedCompletely()) return FALSE;
  const CCategoryItems before = outlook.items;

  const CCategoryVector merged = MergeCategoryLists(publicList, outlook);
  const CCategoryVector finalList = merged.Subtract(removed.items);
  outlook.Assign(finalList.items);
  outlook.SaveAfterLoad();

  if (outlook.EqualNames(before)) return TRUE;
  WritePrevCategories(publicList);
  return TRUE;
}

bool CCategorySync::ReadPublicCategories(CCategoryVector& list) {
  CPublicCategoryFile file(settings_->GetPublicFileLocation());
  if (!file.Read(true)) return false;
  for (const CCategoryItem& entry : file.GetCategories()) {
    // The first line that names a category decides its letter case and colour.
    if (!list.ContainsName(entry.name)) list.Add(entry);
  }
  return true;
}

bool CCategorySync::ReadPrevCategories(CCategoryVector& list) {
  Qv::UniqueHKey key;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kRegistryKey, 0, KEY_READ | KEY_WRITE, key.Receive()) !=
      ERROR_SUCCESS)
    return false;
  DWORD type = 0, size = 0;
  if (::RegQueryValueExA(key.Get(), kPrevCategoriesValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
    return false;
  std::vector<char> text(size + 1, '\0');
  if (::RegQueryValueExA(key.Get(), kPrevCategoriesValue, nullptr, &type,
                         reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || text[size - 1] != '\0')
    return false;
  list.FromString(text.data());
  return true;
}

bool CCategorySync::WritePrevCategories(const CCategoryVector& list) {
  Qv::UniqueHKey key;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, kRegistryKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                        key.Receive(), nullptr) != ERROR_SUCCESS)
    return false;
  const std::string text = list.ToString();
  return ::RegSetValueExA(key.Get(), kPrevCategoriesValue, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}
