#pragma once
// Outlook's master category list: before Outlook 12 a registry value that Outlook keeps,
// from 12 on Outlook's Categories collection. Load fills the list from Outlook; Save makes
// Outlook's list equal to it (from 12 on by difference: removals first, then additions).
// Neither ever raises: a failure leaves done what was done.
#include <windows.h>

#include <string>

#include "CategoryVector.h"
#include "ComDispatch.h"

class CPassCancellation;

class COutlookCategories : public CCategoryVector {
 public:
  // With a `cancellation`, Load and Save stop between two Outlook calls once it is
  // cancelled (WasCancelled then says so); it must outlive this object.
  explicit COutlookCategories(WORD outlookVersion, const CPassCancellation* cancellation = nullptr)
      : outlookVersion(outlookVersion), cancellation_(cancellation) {}
  ~COutlookCategories() override = default;

  void Load();
  // Reads Outlook's list again and changes it by difference.
  void Save();
  // For a caller that has just loaded this object: changes Outlook's list by difference
  // from what Load read, sparing a second full read of Outlook's list.
  void SaveAfterLoad();

  // Whether the last Load read all of Outlook's list (false: nothing or only a part).
  bool LoadedCompletely() const noexcept { return loadedCompletely_; }
  // Whether a cancellation cut the last Load or Save short.
  bool WasCancelled() const noexcept { return cancelled_; }

  // The registry key and value of the master list before Outlook 12.
  static std::string RegistryKeyPath(WORD outlookVersion);
  static const char* RegistryValueName(WORD outlookVersion);

  WORD outlookVersion;

 private:
  bool UsesObjectModel() const noexcept { return outlookVersion >= 12; }
  void LoadFromRegistry();
  void SaveToRegistry() const;
  void LoadFromOutlook();
  void SaveToOutlook(bool fromLoaded);
  Com::DispatchRef OpenCollection() const;
  CCategoryItems ReadCurrent(const Com::DispatchRef& categories) const;
  void ThrowIfCancelled() const;
  void PauseBeforeRemove() const;

  const CPassCancellation* cancellation_ = nullptr;
  bool cancelled_ = false;
  bool loadedCompletely_ = false;
  // What Load read from Outlook, and the collection it read it from.
  CCategoryItems loaded_;
  Com::DispatchRef collection_;
};
