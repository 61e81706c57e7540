#include "SyncPassLock.h"

#include <objbase.h>

namespace {

HANDLE PassMutex() {
  // Never closed: it lives as long as the module, and passes may run until its end.
  static const HANDLE mutex = ::CreateMutexA(nullptr, FALSE, nullptr);
  return mutex;
}

bool InSingleThreadedApartment() {
  APTTYPE type = APTTYPE_CURRENT;
  APTTYPEQUALIFIER qualifier = APTTYPEQUALIFIER_NONE;
  if (FAILED(::CoGetApartmentType(&type, &qualifier))) return false;
  return type == APTTYPE_STA || type == APTTYPE_MAINSTA;
}

}  // namespace

SyncPassLock::SyncPassLock() {
  HANDLE mutex = PassMutex();
  if (mutex == nullptr) return;
  DWORD result = WAIT_FAILED;
  if (InSingleThreadedApartment()) {
    DWORD index = 0;
    const HRESULT hr = ::CoWaitForMultipleHandles(0, INFINITE, 1, &mutex, &index);
    result = SUCCEEDED(hr) ? WAIT_OBJECT_0 : WAIT_FAILED;
  } else {
    result = ::WaitForSingleObject(mutex, INFINITE);
  }
  // An abandoned mutex belonged to a pass whose thread died; it is ours now all the same.
  owned_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

SyncPassLock::~SyncPassLock() {
  if (owned_) ::ReleaseMutex(PassMutex());
}
