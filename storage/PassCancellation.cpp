#include "PassCancellation.h"

#include <process.h>

#include <cstdint>
#include <utility>

CPassCancellation::CPassCancellation() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

void CPassCancellation::Cancel() {
  HINTERNET closing = nullptr;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (cancelled_) return;
    cancelled_ = true;
    if (event_) ::SetEvent(event_.Get());
    if (inCall_ != nullptr && *inCall_) {
      closing = inCall_->Get();
      closedInCall_ = true;
      closing_ = true;
    }
  }
  if (closing == nullptr) return;
  // Outside the lock: should the platform hold the close until the call has returned,
  // the pass must still be able to leave the call.
  ::InternetCloseHandle(closing);
  std::lock_guard<std::mutex> guard(lock_);
  closing_ = false;
  closeReturned_.notify_all();
}

bool CPassCancellation::IsCancelled() const {
  std::lock_guard<std::mutex> guard(lock_);
  return cancelled_;
}

void CPassCancellation::ThrowIfCancelled() const {
  if (IsCancelled()) throw CPassCancelled();
}

bool CPassCancellation::Wait(DWORD ms) const {
  if (!event_) {
    // No event to wait on: still never longer than asked, and still cut short between.
    if (IsCancelled()) return true;
    ::Sleep(ms);
    return IsCancelled();
  }
  return ::WaitForSingleObject(event_.Get(), ms) == WAIT_OBJECT_0;
}

CPassCancellation::InternetCall::InternetCall(CPassCancellation& cancellation, Qv::UniqueInternet& handle)
    : cancellation_(cancellation), handle_(handle) {
  std::lock_guard<std::mutex> guard(cancellation_.lock_);
  allowed_ = !cancellation_.cancelled_;
  if (allowed_) {
    cancellation_.inCall_ = &handle_;
    cancellation_.closedInCall_ = false;
  }
}

CPassCancellation::InternetCall::~InternetCall() { Finish(); }

bool CPassCancellation::InternetCall::Finish() {
  if (finished_ || !allowed_) return closed_;
  finished_ = true;
  std::unique_lock<std::mutex> guard(cancellation_.lock_);
  // Until Cancel's close is over, the handle's parents must stay open: closing them
  // first would free the value Cancel is closing for WinINet to hand out again.
  cancellation_.closeReturned_.wait(guard, [this] { return !cancellation_.closing_; });
  cancellation_.inCall_ = nullptr;
  closed_ = cancellation_.closedInCall_;
  cancellation_.closedInCall_ = false;
  // Closed by Cancel: the owner must neither use nor close the value again.
  if (closed_) handle_.Release();
  return closed_;
}

namespace {

struct DetachedStep {
  std::function<void()> step;
  std::shared_ptr<CPassCancellation> cancellation;  // keeps what the step may use alive
  Qv::UniqueHandle done;
};

void RunDetached(std::shared_ptr<DetachedStep>* handedOver) {
  std::shared_ptr<DetachedStep> job(std::move(*handedOver));
  delete handedOver;
  try {
    job->step();
  } catch (...) {
    // Nobody may be waiting any more; the step reports through what it owns.
  }
  ::SetEvent(job->done.Get());
}

unsigned __stdcall DetachedStepThread(void* argument);

LPCWSTR DetachedStepCode() {
  return reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&DetachedStepThread));
}

unsigned __stdcall DetachedStepThread(void* argument) {
  RunDetached(static_cast<std::shared_ptr<DetachedStep>*>(argument));
  // Everything of the step is destroyed by now; drop the module reference the starter
  // took, by a call that never returns into the module.
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       DetachedStepCode(), &module);
  ::FreeLibraryAndExitThread(module, 0);
  return 0;
}

}  // namespace

bool RunUntilCancelled(const std::shared_ptr<CPassCancellation>& cancellation, std::function<void()> step) {
  if (!cancellation || !cancellation->Event()) {
    step();
    return true;
  }
  if (cancellation->IsCancelled()) return false;

  auto job = std::make_shared<DetachedStep>();
  job->step = std::move(step);
  job->cancellation = cancellation;
  job->done.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HMODULE module = nullptr;
  if (!job->done || !::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, DetachedStepCode(), &module)) {
    job->step();
    return true;
  }
  auto* handedOver = new std::shared_ptr<DetachedStep>(job);
  const std::uintptr_t thread = ::_beginthreadex(nullptr, 0, &DetachedStepThread, handedOver, 0, nullptr);
  if (thread == 0) {
    delete handedOver;
    ::FreeLibrary(module);
    job->step();
    return true;
  }
  ::CloseHandle(reinterpret_cast<HANDLE>(thread));
  HANDLE doneOrCancelled[] = {job->done.Get(), cancellation->Event()};
  // Both set: the step did end, and its result counts.
  return ::WaitForMultipleObjects(2, doneOrCancelled, FALSE, INFINITE) == WAIT_OBJECT_0;
}
