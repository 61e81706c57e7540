#include "SyncPassLock.h"

#include "qv/ApartmentWait.h"

namespace {

HANDLE PassMutex() {
  // Never closed: it lives as long as the module, and passes may run until its end.
  static const HANDLE mutex = ::CreateMutexA(nullptr, FALSE, nullptr);
  return mutex;
}

}  // namespace

SyncPassLock::SyncPassLock() {
  HANDLE mutex = PassMutex();
  if (mutex == nullptr) return;
  const DWORD result = Qv::WaitServingCalls(1, &mutex, INFINITE);
  // An abandoned mutex belonged to a pass whose thread died; it is ours now all the same.
  owned_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

SyncPassLock::~SyncPassLock() {
  if (owned_) ::ReleaseMutex(PassMutex());
}
