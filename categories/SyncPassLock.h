#pragma once
// Keeps synchronisation passes from interleaving: the worker's periodic pass and the one
// the category editor runs when it opens. A pass on the worker calls into Outlook's
// user-interface thread, so a user-interface thread that waits here keeps serving COM
// calls while it waits; a plain wait would deadlock the two.
#include <windows.h>

class SyncPassLock {
 public:
  SyncPassLock();
  ~SyncPassLock();
  SyncPassLock(const SyncPassLock&) = delete;
  SyncPassLock& operator=(const SyncPassLock&) = delete;

 private:
  bool owned_ = false;
};
