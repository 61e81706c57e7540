#include "CategorySync.h"

#include <vector>

#include "OutlookCategories.h"
#include "PassCancellation.h"
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

CCategorySync::CCategorySync(WORD outlookVersion, std::shared_ptr<CPassCancellation> cancellation)
    : settings_(new CSettings), outlookVersion_(outlookVersion), cancellation_(std::move(cancellation)) {}

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

  if (cancellation_ && cancellation_->IsCancelled()) return FALSE;
  COutlookCategories outlook(outlookVersion_, cancellation_.get());
  outlook.Load();
  // Working from a part of Outlook's list would record the public list as merged while
  // some removals never happened; they would then never happen.
  if (!outlook.LoadedCompletely()) return FALSE;
  const CCategoryItems before = outlook.items;

  const CCategoryVector merged = MergeCategoryLists(publicList, outlook);
  const CCategoryVector finalList = merged.Subtract(removed.items);
  outlook.Assign(finalList.items);
  outlook.SaveAfterLoad();
  // Left half-way: recording the merge now would make the removals not yet made never happen.
  if (outlook.WasCancelled()) return FALSE;

  if (outlook.EqualNames(before)) return TRUE;
  WritePrevCategories(publicList);
  return TRUE;
}

bool CCategorySync::ReadPublicCategories(CCategoryVector& list) {
  // Shared with the reading thread, which may outlive this pass once it is cancelled.
  struct Outcome {
    bool read = false;
    CCategoryItems entries;
  };
  const auto outcome = std::make_shared<Outcome>();
  auto read = [outcome, location = settings_->GetPublicFileLocation(), cancellation = cancellation_] {
    CPublicCategoryFile file(location, cancellation.get());
    outcome->read = file.Read(true);
    if (outcome->read) outcome->entries = file.GetCategories();
  };
  if (!RunUntilCancelled(cancellation_, std::move(read)) || !outcome->read) return false;
  for (const CCategoryItem& entry : outcome->entries) {
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
