#pragma once
// Lets another thread cut a synchronisation pass short. The stopping thread calls
// Cancel; the pass, on its own thread, checks between steps, waits through Wait instead
// of sleeping, and makes each blocking WinINet call through CancellableInternetCall.
// Code that is given no cancellation (the editor's pass on the user-interface thread)
// behaves exactly as before.
//
// WinINet handles: Cancel closes the one handle a blocking call is under way on, which
// on Windows makes that call return at once. The protocol keeps every handle closed
// exactly once and never used after it was closed: Cancel closes only a handle that is
// inside a call, picked under the lock the pass takes to enter and leave the call; on
// leaving (after Cancel's close has returned), the pass sees that the handle was closed
// and takes it from its owner, so the owner's destructor does not close it again, and
// every later call is refused. Wine 8
// does not end a call when its handle is closed; RunUntilCancelled is what keeps a pass
// from waiting on such a call there.
#include <windows.h>
#include <wininet.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "qv/Handles.h"
#include "qv/InternetHandle.h"

// Raised inside a pass to leave it at once; the pass's own handlers take it.
struct CPassCancelled {};

class CPassCancellation {
 public:
  CPassCancellation();
  CPassCancellation(const CPassCancellation&) = delete;
  CPassCancellation& operator=(const CPassCancellation&) = delete;

  // From any thread; later calls do nothing more.
  void Cancel();
  bool IsCancelled() const;
  void ThrowIfCancelled() const;
  // Waits up to `ms`; true, as soon as it happens, when the pass is cancelled.
  bool Wait(DWORD ms) const;
  // Set once cancelled (manual reset), for waits of the pass's own.
  HANDLE Event() const noexcept { return event_.Get(); }

  // One blocking WinINet call on `handle`, made on the pass's thread, one at a time.
  class InternetCall {
   public:
    InternetCall(CPassCancellation& cancellation, Qv::UniqueInternet& handle);
    ~InternetCall();
    InternetCall(const InternetCall&) = delete;
    InternetCall& operator=(const InternetCall&) = delete;

    // False when the pass was cancelled before the call: do not make it.
    bool Allowed() const noexcept { return allowed_; }
    // Leaves the call; true when Cancel closed the handle under it, in which case the
    // owner has been emptied and whatever the call returned is not to be used.
    bool Finish();

   private:
    CPassCancellation& cancellation_;
    Qv::UniqueInternet& handle_;
    bool allowed_ = false;
    bool finished_ = false;
    bool closed_ = false;
  };

 private:
  // Taken by the pass's thread to enter and leave a call, and by Cancel's thread.
  mutable std::mutex lock_;
  std::condition_variable closeReturned_;  // closing_ went false
  bool cancelled_ = false;                 // under lock_
  Qv::UniqueInternet* inCall_ = nullptr;   // under lock_: the handle a call is under way on
  bool closedInCall_ = false;              // under lock_: Cancel closes or closed *inCall_
  bool closing_ = false;                   // under lock_: Cancel's close has not returned yet
  Qv::UniqueHandle event_;
};

// Makes a WinINet call that returns BOOL or HINTERNET, cancellable when `cancellation`
// is not null. A refused call, or one whose handle Cancel closed under it, gives
// FALSE / null with ERROR_INTERNET_OPERATION_CANCELLED. A handle such a call made is
// left alone: closing its parent invalidated it, and closing it again could hit a handle
// value WinINet has given out anew.
template <class Call>
auto CancellableInternetCall(CPassCancellation* cancellation, Qv::UniqueInternet& handle, Call&& call)
    -> decltype(call()) {
  if (cancellation == nullptr) return call();
  CPassCancellation::InternetCall scope(*cancellation, handle);
  if (!scope.Allowed()) {
    ::SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
    return {};
  }
  const auto result = call();
  const DWORD error = ::GetLastError();
  if (scope.Finish()) {
    ::SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
    return {};
  }
  ::SetLastError(error);
  return result;
}

// Runs `step` on a thread of its own and waits until it ends or `cancellation` is
// cancelled, whichever comes first: true when the step ended. When cancelled first the
// step goes on alone and whatever it produces must be thrown away, so it may touch only
// what it owns (captured by value or through shared_ptr). Its thread keeps the module
// loaded until it ends. Without a cancellation the step simply runs here, and an
// exception it raises comes to the caller; on its own thread the exception is swallowed,
// so the step reports through what it owns.
bool RunUntilCancelled(const std::shared_ptr<CPassCancellation>& cancellation, std::function<void()> step);
