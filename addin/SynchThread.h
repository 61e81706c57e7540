#pragma once
// The add-in's synchronisation thread: one pass (CCategorySync) as soon as the thread is
// told to run, then one pass every period. The passes reach Outlook through the Global
// Interface Table (OutlookApplicationHome), so the worker joins the multithreaded
// apartment for its life.
//
// Stopping cuts a pass short instead of waiting it out: the public-file transfer under
// way is abandoned (its WinINet handle is closed) and Outlook's list is left between two
// calls, with the merge not recorded, so the next pass finishes the work. Normal
// operation never needs the forced termination of the base.
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "qv/WorkerThread.h"

class CPassCancellation;

class CSynchThread : public QvWorkerThreadBaseT<CSynchThread> {
 public:
  CSynchThread();
  // Stops the worker before the members its passes use go.
  ~CSynchThread() override;

  // Passes run since construction, finished or not (for diagnostics).
  unsigned long PassCount() const noexcept { return passes_.load(); }

 private:
  friend class QvWorkerThreadBaseT<CSynchThread>;

  bool OnThreadStart();
  bool DoWork();
  void OnThreadEnd();
  void OnStopRequested();

  // The worker makes a new one as it starts; the stopping thread cancels it. Passes
  // and their public-file readers hold it through shared_ptr, since a reader may
  // outlive the pass that started it.
  mutable std::mutex cancellationLock_;
  std::shared_ptr<CPassCancellation> cancellation_;  // under cancellationLock_
  bool comJoined_ = false;                           // the worker only
  std::atomic<unsigned long> passes_{0};             // written by the worker
};
