#include "SynchThread.h"

#include <objbase.h>

#include "CategorySync.h"
#include "PassCancellation.h"
#include "VersionInfo.h"

CSynchThread::CSynchThread() = default;

CSynchThread::~CSynchThread() { Stop(kDestructorStopTimeoutMs); }

bool CSynchThread::OnThreadStart() {
  comJoined_ = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  std::lock_guard<std::mutex> guard(cancellationLock_);
  // A Stop that came before this still ends the thread: stopEvent is already set.
  cancellation_ = std::make_shared<CPassCancellation>();
  return true;
}

bool CSynchThread::DoWork() {
  std::shared_ptr<CPassCancellation> cancellation;
  {
    std::lock_guard<std::mutex> guard(cancellationLock_);
    cancellation = cancellation_;
  }
  passes_.fetch_add(1);
  // The result is not looked at: a pass that failed simply runs again after the period.
  CCategorySync(OutlookMajorVersion(), std::move(cancellation)).Synchronize();
  return true;
}

void CSynchThread::OnThreadEnd() {
  if (comJoined_) ::CoUninitialize();
  comJoined_ = false;
}

void CSynchThread::OnStopRequested() {
  std::lock_guard<std::mutex> guard(cancellationLock_);
  if (cancellation_) cancellation_->Cancel();
}
