#pragma once
// A worker thread that runs its derived class's pass once as soon as it is told to run,
// then once per period, the period counted from the end of one pass to the start of the
// next (a pass never overlaps the next one). The derived class T supplies the hooks,
// bound at compile time; each has a default here, so T declares only those it needs:
//   bool OnThreadStart()    on the worker, first; false ends the thread at once
//   bool DoWork()           one pass; false ends the loop
//   void OnThreadEnd()      on the worker, last (also after a false OnThreadStart)
//   void OnStopRequested()  on the stopping thread, as soon as Stop has set stopEvent:
//                           the place to cut a long pass short
// T declares them private and befriends QvWorkerThreadBaseT<T>, or makes them public.
//
// Threads: Start, Resume, Pause, Stop and IsRunning may come from any thread (in the
// add-in, Outlook's user-interface thread) and hold lock_ for their whole run. The
// worker never takes lock_: it reads periodMs_ (atomic) and the three events, which
// stay open from Start until the next Start or the destructor.
//
// Stopping: Stop sets stopEvent, calls OnStopRequested, and waits for the worker to
// leave, first its loop (finishedEvent), then its thread (the thread handle), both within
// the one time-out; only then does it return true. A Stop made on a single-threaded
// apartment keeps serving incoming COM calls while it waits, so a pass that is calling
// into that apartment (Outlook's object model, from Outlook's user-interface thread)
// gets its answer and can end. Forced termination is the last resort after the
// time-out; a terminated worker keeps its module loaded until the process ends.
//
// Module lifetime: Start takes a reference on the module that holds the worker's code
// before the thread exists, and the worker drops it with FreeLibraryAndExitThread as its
// very last act. A FreeLibrary while the worker runs therefore leaves the module mapped;
// when the worker's reference was the last one, the module unloads as the worker leaves
// (its DllMain and static destructors then run on the worker thread; a Stop made there
// does not wait for itself).
//
// Process exit: when DllMain sees DLL_PROCESS_DETACH with a non-null lpReserved, the
// other threads are already gone and the loader lock is held. Call Abandon() before the
// owner is destroyed on that path: Start, Stop and the destructor then return at once
// without signalling, waiting or terminating anything.
//
// A derived class whose hooks use members of its own must call Stop in its own
// destructor: the destructor here runs after those members are gone, and does not call
// OnStopRequested any more.
#include <windows.h>
#include <objbase.h>
#include <process.h>

#include <atomic>
#include <cstdint>

#include "qv/ApartmentWait.h"
#include "qv/Handles.h"

namespace Qv::WorkerThreadDetail {

class CriticalSection {
 public:
  CriticalSection() noexcept { ::InitializeCriticalSection(&section_); }
  ~CriticalSection() { ::DeleteCriticalSection(&section_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  class Guard {
   public:
    explicit Guard(CriticalSection& lock) noexcept : lock_(lock) { ::EnterCriticalSection(&lock_.section_); }
    ~Guard() { ::LeaveCriticalSection(&lock_.section_); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

   private:
    CriticalSection& lock_;
  };

 private:
  CRITICAL_SECTION section_;
};

inline DWORD Remaining(ULONGLONG deadline, DWORD timeoutMs) noexcept {
  if (timeoutMs == INFINITE) return INFINITE;
  const ULONGLONG now = ::GetTickCount64();
  return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

inline bool IsSet(const UniqueHandle& event) noexcept {
  return event && ::WaitForSingleObject(event.Get(), 0) == WAIT_OBJECT_0;
}

}  // namespace Qv::WorkerThreadDetail

template <class T>
class QvWorkerThreadBaseT {
 public:
  static constexpr DWORD kDestructorStopTimeoutMs = 15000;

  QvWorkerThreadBaseT() = default;
  QvWorkerThreadBaseT(const QvWorkerThreadBaseT&) = delete;
  QvWorkerThreadBaseT& operator=(const QvWorkerThreadBaseT&) = delete;

  virtual ~QvWorkerThreadBaseT() {
    destroying_ = true;
    Stop(kDestructorStopTimeoutMs);
  }

  // Stores the period whatever happens. False when a worker is running (it then uses
  // the new period from its next wait on) or when no thread could be made.
  virtual bool Start(DWORD periodMs) {
    Guard guard(lock_);
    periodMs_.store(periodMs);
    if (abandoned_.load() || IsRunning()) return false;
    // A worker that left on its own is past every use of the old events.
    threadHandle_.Reset();
    threadId_ = 0;
    runEvent_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    stopEvent_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    finishedEvent_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!runEvent_ || !stopEvent_ || !finishedEvent_) return false;
    // Taken here rather than on the worker, so no moment exists in which the thread runs
    // module code the module's last FreeLibrary could unmap.
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, CodeAddress(), &module)) return false;
    unsigned id = 0;
    const std::uintptr_t thread = ::_beginthreadex(nullptr, 0, &ThreadProc, this, 0, &id);
    if (thread == 0) {
      ::FreeLibrary(module);
      return false;
    }
    threadHandle_.Reset(reinterpret_cast<HANDLE>(thread));
    threadId_ = id;
    return true;
  }

  // finishedEvent is left alone here and in Pause: while the worker runs it is not set
  // anyway, and a worker that leaves between the IsRunning test and a reset would
  // otherwise look as if it ran for ever.
  virtual void Resume() {
    Guard guard(lock_);
    if (!IsRunning()) return;
    ::ResetEvent(stopEvent_.Get());
    ::SetEvent(runEvent_.Get());
  }

  // The worker blocks at the top of its next turn; a period wait already under way still
  // ends with a pass.
  virtual void Pause() {
    Guard guard(lock_);
    if (!IsRunning()) return;
    ::ResetEvent(runEvent_.Get());
    ::ResetEvent(stopEvent_.Get());
  }

  // True when there is no worker, or when it left by itself within `timeoutMs`; false
  // when it had to be terminated (or had died on its own).
  virtual bool Stop(DWORD timeoutMs) {
    if (abandoned_.load()) return false;
    Guard guard(lock_);
    if (!threadHandle_) return true;
    if (::WaitForSingleObject(threadHandle_.Get(), 0) == WAIT_OBJECT_0) {
      // Already gone: nothing to signal, and a worker killed by the process's end may
      // have left locks of the hooks held.
      const bool left = Qv::WorkerThreadDetail::IsSet(finishedEvent_);
      Forget();
      return left;
    }
    ::SetEvent(stopEvent_.Get());
    if (!destroying_) static_cast<T*>(this)->OnStopRequested();
    ::SetEvent(runEvent_.Get());

    if (::GetCurrentThreadId() == threadId_) {
      // The worker stopping itself, from a hook or while it unloads the module: it leaves
      // at its next wait, and cannot wait for its own end.
      const bool left = Qv::WorkerThreadDetail::IsSet(finishedEvent_);
      if (left) Forget();
      return left;
    }

    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    HANDLE finishedOrGone[] = {finishedEvent_.Get(), threadHandle_.Get()};
    const DWORD waited = Qv::WaitServingCalls(2, finishedOrGone, timeoutMs);
    if (waited == WAIT_OBJECT_0) {
      // Out of its loop; it may still be running the last lines of the module's code.
      HANDLE thread = threadHandle_.Get();
      if (Qv::WaitServingCalls(1, &thread, Qv::WorkerThreadDetail::Remaining(deadline, timeoutMs)) ==
          WAIT_OBJECT_0) {
        Forget();
        return true;
      }
    } else if (waited == WAIT_OBJECT_0 + 1) {
      // Gone without finishing: terminated elsewhere, or the process is ending.
      Forget();
      return false;
    }
    ::TerminateThread(threadHandle_.Get(), 0xFFFFFFFF);
    Forget();
    return false;
  }

  virtual bool IsRunning() const {
    Guard guard(lock_);
    return threadHandle_ && !Qv::WorkerThreadDetail::IsSet(finishedEvent_);
  }

  // For the process-exit path only (see the top of this file). Takes no lock: a thread
  // that held it may have been killed already.
  void Abandon() noexcept { abandoned_.store(true); }

 protected:
  bool OnThreadStart() { return true; }
  bool DoWork() { return true; }
  void OnThreadEnd() {}
  void OnStopRequested() {}

 private:
  using Guard = Qv::WorkerThreadDetail::CriticalSection::Guard;

  static LPCWSTR CodeAddress() noexcept {
    return reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&QvWorkerThreadBaseT::ThreadProc));
  }

  static unsigned __stdcall ThreadProc(void* argument) {
    static_cast<QvWorkerThreadBaseT*>(argument)->Run();
    // Drops the reference Start took, by a call that never returns into the module.
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         CodeAddress(), &module);
    ::FreeLibraryAndExitThread(module, 0);
    return 0;
  }

  void Run() {
    T& self = static_cast<T&>(*this);
    const HANDLE finished = finishedEvent_.Get();
    if (self.OnThreadStart()) {
      bool firstTurn = true;
      for (;;) {
        if (::WaitForSingleObject(runEvent_.Get(), INFINITE) != WAIT_OBJECT_0) break;
        const DWORD wait = firstTurn ? 0 : periodMs_.load();
        firstTurn = false;
        if (::WaitForSingleObject(stopEvent_.Get(), wait) != WAIT_TIMEOUT) break;
        if (!self.DoWork()) break;
      }
    }
    self.OnThreadEnd();
    // From here on the object may be gone: nothing of it is touched again.
    ::SetEvent(finished);
  }

  void Forget() noexcept {
    threadHandle_.Reset();
    threadId_ = 0;
  }

  mutable Qv::WorkerThreadDetail::CriticalSection lock_;
  // Manual-reset, made by Start. Written under lock_; the worker only waits on them and
  // sets finishedEvent_.
  Qv::UniqueHandle runEvent_;
  Qv::UniqueHandle stopEvent_;
  Qv::UniqueHandle finishedEvent_;
  Qv::UniqueHandle threadHandle_;  // under lock_
  std::atomic<DWORD> periodMs_{0};  // written under lock_, read by the worker without it
  DWORD threadId_ = 0;              // under lock_
  bool destroying_ = false;         // the destroying thread only
  std::atomic<bool> abandoned_{false};
};
