#include "OutlookCategories.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <vector>

#include "OutlookApplicationHome.h"
#include "PassCancellation.h"
#include "qv/Handles.h"
#include "qv/Text.h"

namespace {

// Outlook needs a moment between removals; without it some removals are lost.
constexpr DWORD kPauseBeforeRemoveMs = 50;

using CategorySet = std::set<CCategoryItem, CategoryItemOrder>;

}  // namespace

std::string COutlookCategories::RegistryKeyPath(WORD outlookVersion) {
  return Qv::Format("Software\\Microsoft\\Office\\%d.0\\Outlook\\Categories", outlookVersion);
}

const char* COutlookCategories::RegistryValueName(WORD outlookVersion) {
  return outlookVersion == 8 ? "" : "MasterList";
}

void COutlookCategories::Load() {
  items.clear();
  loaded_.clear();
  collection_ = Com::DispatchRef();
  loadedCompletely_ = false;
  cancelled_ = false;
  try {
    if (UsesObjectModel())
      LoadFromOutlook();
    else
      LoadFromRegistry();
  } catch (const CPassCancelled&) {
    cancelled_ = true;
  } catch (...) {
    // What was read so far stays in the list.
  }
}

void COutlookCategories::Save() {
  cancelled_ = false;
  try {
    if (UsesObjectModel())
      SaveToOutlook(false);
    else
      SaveToRegistry();
  } catch (const CPassCancelled&) {
    cancelled_ = true;
  } catch (...) {
    // Changes made before the failure stay made.
  }
}

void COutlookCategories::SaveAfterLoad() {
  if (!UsesObjectModel() || !loadedCompletely_) return Save();
  cancelled_ = false;
  try {
    SaveToOutlook(true);
  } catch (const CPassCancelled&) {
    cancelled_ = true;
  } catch (...) {
  }
}

void COutlookCategories::ThrowIfCancelled() const {
  if (cancellation_ != nullptr) cancellation_->ThrowIfCancelled();
}

void COutlookCategories::PauseBeforeRemove() const {
  if (cancellation_ == nullptr) {
    ::Sleep(kPauseBeforeRemoveMs);
  } else if (cancellation_->Wait(kPauseBeforeRemoveMs)) {
    throw CPassCancelled();
  }
}

void COutlookCategories::LoadFromRegistry() {
  Qv::UniqueHKey key;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, RegistryKeyPath(outlookVersion).c_str(), 0,
                      KEY_READ | KEY_WRITE, key.Receive()) != ERROR_SUCCESS) {
    loadedCompletely_ = true;  // no list yet
    return;
  }
  const char* name = RegistryValueName(outlookVersion);
  DWORD type = 0, size = 0;
  if (::RegQueryValueExA(key.Get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || size == 0) {
    loadedCompletely_ = true;
    return;
  }
  // Four spare zero bytes end the text even when the stored data does not.
  std::vector<BYTE> data(size + 4, 0);
  if (::RegQueryValueExA(key.Get(), name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) return;
  // The stored type decides, whatever the version: Outlook 10 and 11 keep UTF-16.
  const std::string text =
      type == REG_BINARY ? Qv::WideToAnsi(reinterpret_cast<const wchar_t*>(data.data()))
                         : std::string(reinterpret_cast<const char*>(data.data()));
  FromString(text);
  loadedCompletely_ = true;
}

void COutlookCategories::SaveToRegistry() const {
  Qv::UniqueHKey key;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, RegistryKeyPath(outlookVersion).c_str(), 0, nullptr, 0,
                        KEY_READ | KEY_WRITE, nullptr, key.Receive(), nullptr) != ERROR_SUCCESS)
    return;
  const std::string text = ToString();
  const char* name = RegistryValueName(outlookVersion);
  if (outlookVersion <= 9) {
    ::RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(text.size() + 1));
  } else {
    const std::wstring wide = Qv::AnsiToWide(text);
    ::RegSetValueExA(key.Get(), name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(wide.c_str()),
                     static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
  }
}

Com::DispatchRef COutlookCategories::OpenCollection() const {
  Com::DispatchRef application(COutlookApplicationHome::Instance().ForThisThread(), "Outlook.Application");
  if (!application) return {};
  const Com::Variant mapi = Com::AnsiText("MAPI");
  const Com::DispatchRef nameSpace = application.CallObject(L"GetNamespace", "Outlook.NameSpace", {&mapi});
  return nameSpace.GetObject(L"Categories", "Outlook.Categories");
}

void COutlookCategories::LoadFromOutlook() {
  collection_ = OpenCollection();
  if (!collection_) return;
  const long count = collection_.GetLong(L"Count");
  for (long i = 1; i <= count; ++i) {
    ThrowIfCancelled();
    const Com::Variant index = Com::Variant::Int(static_cast<int>(i));
    const Com::DispatchRef category = collection_.CallObject(L"Item", "Outlook.Category", {&index});
    const CCategoryItem item(category.GetText(L"Name"), static_cast<int>(category.GetLong(L"Color")));
    items.push_back(item);
    loaded_.push_back(item);
  }
  loadedCompletely_ = true;
}

CCategoryItems COutlookCategories::ReadCurrent(const Com::DispatchRef& categories) const {
  CCategoryItems current;
  // Count is read again before every category: the list may change under us.
  for (long i = 1; i <= categories.GetLong(L"Count"); ++i) {
    ThrowIfCancelled();
    const Com::Variant index = Com::Variant::Int(static_cast<int>(i));
    const Com::DispatchRef category = categories.CallObject(L"Item", "Outlook.Category", {&index});
    current.emplace_back(category.GetText(L"Name"), static_cast<int>(category.GetLong(L"Color")));
  }
  return current;
}

void COutlookCategories::SaveToOutlook(bool fromLoaded) {
  const Com::DispatchRef categories = fromLoaded ? collection_ : OpenCollection();
  if (!categories) return;
  const CCategoryItems currentItems = fromLoaded ? loaded_ : ReadCurrent(categories);
  const CategorySet current(currentItems.begin(), currentItems.end());
  const CategorySet desired(items.begin(), items.end());

  std::vector<CCategoryItem> removals, additions;
  std::set_difference(current.begin(), current.end(), desired.begin(), desired.end(),
                      std::back_inserter(removals), CategoryItemOrder());
  std::set_difference(desired.begin(), desired.end(), current.begin(), current.end(),
                      std::back_inserter(additions), CategoryItemOrder());

  for (const CCategoryItem& item : removals) {
    PauseBeforeRemove();
    const Com::Variant name = Com::AnsiText(item.name);
    categories.Call(L"Remove", {&name});
  }
  for (const CCategoryItem& item : additions) {
    ThrowIfCancelled();
    const Com::Variant name = Com::AnsiText(item.name);
    const Com::Variant colour = Com::Variant::Int(item.colour);
    const Com::Variant noShortcut = Com::Variant::Missing();
    categories.Call(L"Add", {&name, &colour, &noShortcut});  // the new category is dropped at once
  }
  // What Outlook now holds, should this object save again.
  loaded_.assign(desired.begin(), desired.end());
}
