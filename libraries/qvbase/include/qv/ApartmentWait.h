#pragma once
// Waiting on a thread that other threads call into through COM.
#include <windows.h>
#include <objbase.h>

namespace Qv {

inline bool InSingleThreadedApartment() noexcept {
  APTTYPE type = APTTYPE_CURRENT;
  APTTYPEQUALIFIER qualifier = APTTYPEQUALIFIER_NONE;
  if (FAILED(::CoGetApartmentType(&type, &qualifier))) return false;
  return type == APTTYPE_STA || type == APTTYPE_MAINSTA;
}

// WaitForMultipleObjects for any one of `handles`, except that a single-threaded
// apartment keeps serving incoming COM calls while it waits: a plain wait there would
// deadlock with a thread that is calling into this apartment and waits for the answer.
//
// CoWaitForMultipleHandles wakes only for messages posted after the queue was last
// looked at (Wine's always; Windows' unless told COWAIT_INPUTAVAILABLE, which Wine
// ignores). A call queued behind the message this thread's loop last took would stay
// unserved, and its caller with it. A message of our own wakes the
// wait at once, which then serves every call already queued. WM_NULL without a window
// does nothing wherever the thread's message loop meets it later.
inline DWORD WaitServingCalls(DWORD count, HANDLE* handles, DWORD timeoutMs) noexcept {
  if (!InSingleThreadedApartment()) return ::WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
  ::PostThreadMessageW(::GetCurrentThreadId(), WM_NULL, 0, 0);
  DWORD index = 0;
  const HRESULT hr = ::CoWaitForMultipleHandles(0, timeoutMs, count, handles, &index);
  if (hr == S_OK) return WAIT_OBJECT_0 + index;
  return hr == RPC_S_CALLPENDING ? WAIT_TIMEOUT : WAIT_FAILED;
}

}  // namespace Qv
