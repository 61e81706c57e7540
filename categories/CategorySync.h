#pragma once
// One synchronisation pass: merges the public categories into Outlook's master list,
// keeps the private ones, and removes those that were public at the last merge and have
// left the public file. PrevCategories records what was public at the last merge.
// A pass shows nothing; its result says only whether it got through.
#include <windows.h>

#include <memory>

#include "CategoryVector.h"
#include "Settings.h"
#include "qv/RefCounted.h"

class CPassCancellation;

class CCategorySync {
 public:
  CCategorySync();  // for the Outlook this process is
  explicit CCategorySync(WORD outlookVersion);
  // A pass that another thread may cut short through `cancellation` (the synchronisation
  // thread's). The public file is then read on a thread of its own, so that a transfer
  // the platform cannot abort does not hold the pass; once cancelled, the pass leaves
  // Outlook's list between two calls and does not record the merge.
  CCategorySync(WORD outlookVersion, std::shared_ptr<CPassCancellation> cancellation);
  virtual ~CCategorySync() = default;

  // 1 when the pass completed or had nothing to do; 0 when the public file could not be
  // read, Outlook's list could not be read whole, or a step failed.
  BOOL Synchronize();

  bool ReadPublicCategories(CCategoryVector& list);
  static bool ReadPrevCategories(CCategoryVector& list);
  static bool WritePrevCategories(const CCategoryVector& list);

  static const char* const kRegistryKey;  // under HKEY_CURRENT_USER

 private:
  BOOL Pass();

  CRefCountPtr<CSettings> settings_;
  WORD outlookVersion_;
  std::shared_ptr<CPassCancellation> cancellation_;  // null: the pass runs to its end
};
