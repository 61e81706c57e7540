// QvWorkerThreadBaseT with a worker that records when each pass started and ended: the
// schedule (first pass at once, then one period after the end of each pass), Start on a
// running object, Pause and Resume, and every way of stopping. The margins allow for a
// loaded machine under Wine, but each assertion fails when the behaviour is wrong
// (a period counted from the start of a pass, a pass that never comes, a Stop that waits
// the time-out out).
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "qv/Handles.h"
#include "qv/WorkerThread.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point origin) {
  return std::chrono::duration<double, std::milli>(Clock::now() - origin).count();
}

struct PassTimes {
  double start = 0;
  double end = -1;  // -1 while the pass runs (or if it never ended)
};

class RecordingWorker : public QvWorkerThreadBaseT<RecordingWorker> {
 public:
  // How a pass spends its time.
  enum class Pass { HonoursCancellation, IgnoresCancellation, StopsItself };

  RecordingWorker(DWORD passMs, Pass kind) : passMs_(passMs), kind_(kind) {}
  ~RecordingWorker() override { Stop(5000); }

  Clock::time_point origin = Clock::now();
  std::atomic<bool> startFails{false};
  std::atomic<int> endAfterPasses{0};  // DoWork returns false on that pass (0: never)
  std::atomic<int> threadStarts{0};
  std::atomic<int> threadEnds{0};
  std::atomic<int> stopRequests{0};
  std::atomic<int> selfStopResult{-1};
  std::atomic<DWORD> workerThreadId{0};

  std::vector<PassTimes> Passes() const {
    std::lock_guard<std::mutex> guard(lock_);
    return passes_;
  }
  size_t Count() const { return Passes().size(); }
  size_t Ended() const {
    size_t ended = 0;
    for (const PassTimes& p : Passes()) ended += p.end >= 0;
    return ended;
  }

  // Polls until `done` holds; false after `timeoutMs`.
  template <class Condition>
  static bool WaitUntil(Condition done, DWORD timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
      if (Clock::now() > deadline) return false;
      ::Sleep(5);
    }
    return true;
  }
  bool WaitForEnded(size_t n, DWORD timeoutMs) const {
    return WaitUntil([&] { return Ended() >= n; }, timeoutMs);
  }
  bool WaitForStarted(size_t n, DWORD timeoutMs) const {
    return WaitUntil([&] { return Count() >= n; }, timeoutMs);
  }

 private:
  friend class QvWorkerThreadBaseT<RecordingWorker>;

  bool OnThreadStart() {
    ++threadStarts;
    workerThreadId = ::GetCurrentThreadId();
    ::ResetEvent(cancelled_.Get());
    return !startFails.load();
  }

  bool DoWork() {
    size_t index = 0;
    {
      std::lock_guard<std::mutex> guard(lock_);
      passes_.push_back({MsSince(origin), -1});
      index = passes_.size() - 1;
    }
    // No lock is held while the pass waits: a terminated worker must leave none behind.
    switch (kind_) {
      case Pass::HonoursCancellation: ::WaitForSingleObject(cancelled_.Get(), passMs_); break;
      case Pass::IgnoresCancellation: ::Sleep(passMs_); break;
      case Pass::StopsItself: selfStopResult = Stop(5000) ? 1 : 0; break;
    }
    std::lock_guard<std::mutex> guard(lock_);
    passes_[index].end = MsSince(origin);
    return endAfterPasses.load() != static_cast<int>(index + 1);
  }

  void OnThreadEnd() { ++threadEnds; }

  void OnStopRequested() {
    ++stopRequests;
    ::SetEvent(cancelled_.Get());
  }

  const DWORD passMs_;
  const Pass kind_;
  Qv::UniqueHandle cancelled_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  mutable std::mutex lock_;
  std::vector<PassTimes> passes_;
};

using Pass = RecordingWorker::Pass;

TEST(WorkerThread, FirstPassAtOnceThenOnePeriodAfterTheEndOfEachPass) {
  // A pass of 250 ms and a period of 400: counted from the start of a pass, the next
  // would begin 150 ms after the previous one ended.
  RecordingWorker worker(250, Pass::IgnoresCancellation);
  ASSERT_TRUE(worker.Start(400));
  EXPECT_EQ(0u, worker.Count()) << "Start alone must not run a pass";
  const double resumed = MsSince(worker.origin);
  worker.Resume();
  ASSERT_TRUE(worker.WaitForStarted(3, 5000));
  const std::vector<PassTimes> passes = worker.Passes();
  EXPECT_LT(passes[0].start - resumed, 250) << "the first pass waits no period";
  for (size_t i = 1; i < 3; ++i) {
    const double gap = passes[i].start - passes[i - 1].end;
    EXPECT_GE(gap, 370) << "pass " << i << " began before a whole period after the previous end";
    EXPECT_LT(gap, 1000) << "pass " << i;
  }
  EXPECT_TRUE(worker.IsRunning());
  EXPECT_TRUE(worker.Stop(5000));
  EXPECT_FALSE(worker.IsRunning());
  EXPECT_EQ(1, worker.threadStarts.load());
  EXPECT_EQ(1, worker.threadEnds.load());
}

TEST(WorkerThread, StartWhileRunningFailsAndChangesOnlyTheWaitsAfterTheCurrentOne) {
  RecordingWorker worker(10, Pass::IgnoresCancellation);
  ASSERT_TRUE(worker.Start(700));
  worker.Resume();
  ASSERT_TRUE(worker.WaitForEnded(1, 3000));
  ::Sleep(150);  // the 700 ms wait after the first pass is under way now
  EXPECT_FALSE(worker.Start(100));
  EXPECT_TRUE(worker.IsRunning());
  ASSERT_TRUE(worker.WaitForStarted(3, 5000));
  const std::vector<PassTimes> passes = worker.Passes();
  EXPECT_GE(passes[1].start - passes[0].end, 650) << "the wait already under way keeps its period";
  EXPECT_LT(passes[2].start - passes[1].end, 450) << "the next wait uses the new period";
  EXPECT_EQ(1, worker.threadStarts.load()) << "a second Start must not start a second thread";
}

TEST(WorkerThread, StopOnAnObjectThatNeverStartedReturnsTrueAtOnce) {
  RecordingWorker worker(10, Pass::HonoursCancellation);
  worker.Resume();
  worker.Pause();
  EXPECT_FALSE(worker.IsRunning());
  const auto before = Clock::now();
  EXPECT_TRUE(worker.Stop(15000));
  EXPECT_TRUE(worker.Stop(15000));
  EXPECT_LT(MsSince(before), 100);
  EXPECT_EQ(0, worker.threadStarts.load());
  EXPECT_EQ(0, worker.stopRequests.load()) << "nothing to cancel without a thread";
}

// Stop while a pass runs: what the pass does with the cancellation decides how soon the
// worker leaves, and whether it leaves at all within the time-out.
struct StopCase {
  const char* name;
  Pass kind;
  DWORD passMs;
  DWORD timeoutMs;
  bool expectedResult;
  double minMs, maxMs;  // how long Stop may take
  bool passEnds;        // whether the pass under way reaches its end (before Stop returns)
};

class StopDuringAPass : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopDuringAPass, EndsAsThePassAllows) {
  const StopCase& c = GetParam();
  RecordingWorker worker(c.passMs, c.kind);
  ASSERT_TRUE(worker.Start(10000));
  worker.Resume();
  ASSERT_TRUE(worker.WaitForStarted(1, 3000));
  ::Sleep(100);
  const auto before = Clock::now();
  EXPECT_EQ(c.expectedResult, worker.Stop(c.timeoutMs));
  const double took = MsSince(before);
  const double returned = MsSince(worker.origin);
  EXPECT_GE(took, c.minMs);
  EXPECT_LT(took, c.maxMs);
  EXPECT_FALSE(worker.IsRunning());
  EXPECT_EQ(1, worker.stopRequests.load());
  ASSERT_EQ(c.passEnds ? 1u : 0u, worker.Ended());
  if (c.passEnds) {
    EXPECT_LE(worker.Passes()[0].end, returned) << "Stop returned before the pass ended";
  }
  EXPECT_EQ(c.passEnds ? 1 : 0, worker.threadEnds.load())
      << "a worker that left by itself ends through OnThreadEnd; a terminated one does not";
  EXPECT_EQ(1u, worker.Count()) << "no pass after Stop";
}

INSTANTIATE_TEST_SUITE_P(
    WorkerThread, StopDuringAPass,
    ::testing::Values(
        // The pass ignores the cancellation but ends well within the time-out.
        StopCase{"PassEndsInTime", Pass::IgnoresCancellation, 700, 5000, true, 0, 2500, true},
        // The pass acts on the cancellation: Stop does not wait its 10 s out.
        StopCase{"PassCutShort", Pass::HonoursCancellation, 10000, 15000, true, 0, 1000, true},
        // The pass ignores the cancellation and outlasts the time-out: terminated.
        StopCase{"PassOutlastsTimeout", Pass::IgnoresCancellation, 10000, 300, false, 280, 2000, false}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

TEST(WorkerThread, WhenStopReturnsTrueTheWorkerThreadHasEnded) {
  // Not only out of its loop: out of the module's code, so the module may go next.
  for (int round = 0; round < 5; ++round) {
    RecordingWorker worker(0, Pass::HonoursCancellation);
    ASSERT_TRUE(worker.Start(5));
    worker.Resume();
    ASSERT_TRUE(worker.WaitForEnded(2, 3000));
    Qv::UniqueHandle thread(::OpenThread(SYNCHRONIZE, FALSE, worker.workerThreadId.load()));
    ASSERT_TRUE(thread);
    ASSERT_TRUE(worker.Stop(5000));
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.Get(), 0)) << "round " << round;
  }
}

TEST(WorkerThread, ATerminatedWorkerCanBeStartedAgain) {
  RecordingWorker worker(3000, Pass::IgnoresCancellation);
  ASSERT_TRUE(worker.Start(10000));
  worker.Resume();
  ASSERT_TRUE(worker.WaitForStarted(1, 3000));
  ASSERT_FALSE(worker.Stop(100));
  ASSERT_TRUE(worker.Start(10000));
  const double resumed = MsSince(worker.origin);
  worker.Resume();
  ASSERT_TRUE(worker.WaitForStarted(2, 3000));
  EXPECT_LT(worker.Passes()[1].start - resumed, 250) << "a new thread starts with a pass at once";
  EXPECT_EQ(2, worker.threadStarts.load());
}

TEST(WorkerThread, PauseTakesEffectAtTheTopOfTheNextTurnAndResumeWaitsAWholePeriod) {
  RecordingWorker worker(20, Pass::IgnoresCancellation);
  ASSERT_TRUE(worker.Start(1000));
  worker.Resume();
  ASSERT_TRUE(worker.WaitForEnded(1, 3000));
  ::Sleep(150);
  worker.Pause();  // the period wait after pass 1 is under way
  EXPECT_TRUE(worker.IsRunning()) << "a paused worker is still running";
  ASSERT_TRUE(worker.WaitForEnded(2, 3000)) << "the turn whose wait had begun ends with a pass";
  const std::vector<PassTimes> passes = worker.Passes();
  EXPECT_GE(passes[1].start - passes[0].end, 970);
  ::Sleep(1500);
  EXPECT_EQ(2u, worker.Count()) << "no pass while paused";

  const double resumed = MsSince(worker.origin);
  worker.Resume();
  ASSERT_TRUE(worker.WaitForStarted(3, 3000));
  const double waited = worker.Passes()[2].start - resumed;
  EXPECT_GE(waited, 970) << "after Resume the worker waits a whole period first";
  EXPECT_LT(waited, 1800);
  EXPECT_TRUE(worker.Stop(5000));
}

TEST(WorkerThread, StopEndsAPausedWorker) {
  RecordingWorker worker(10, Pass::HonoursCancellation);
  ASSERT_TRUE(worker.Start(50));
  worker.Resume();
  ASSERT_TRUE(worker.WaitForEnded(1, 3000));
  worker.Pause();
  ::Sleep(300);  // now blocked at the top of a turn
  const size_t passes = worker.Count();
  const auto before = Clock::now();
  EXPECT_TRUE(worker.Stop(5000));
  EXPECT_LT(MsSince(before), 1000);
  EXPECT_EQ(passes, worker.Count()) << "stopping a paused worker runs no pass";
  EXPECT_EQ(1, worker.threadEnds.load());
}

TEST(WorkerThread, AFailedThreadStartEndsTheThreadWithoutAPass) {
  RecordingWorker worker(10, Pass::HonoursCancellation);
  worker.startFails = true;
  ASSERT_TRUE(worker.Start(50));
  worker.Resume();
  ASSERT_TRUE(RecordingWorker::WaitUntil([&] { return !worker.IsRunning(); }, 3000));
  EXPECT_EQ(0u, worker.Count());
  EXPECT_EQ(1, worker.threadEnds.load());
  EXPECT_TRUE(worker.Stop(5000)) << "the worker left by itself";
}

TEST(WorkerThread, APassThatAnswersFalseEndsTheLoopAndStartMakesANewThread) {
  RecordingWorker worker(10, Pass::HonoursCancellation);
  worker.endAfterPasses = 2;
  ASSERT_TRUE(worker.Start(100));
  worker.Resume();
  ASSERT_TRUE(RecordingWorker::WaitUntil([&] { return !worker.IsRunning(); }, 3000));
  ::Sleep(300);  // three periods: a loop still running would have passed again
  EXPECT_EQ(2u, worker.Count()) << "no pass after the one that answered false";
  EXPECT_EQ(1, worker.threadEnds.load());

  worker.endAfterPasses = 0;
  ASSERT_TRUE(worker.Start(1000)) << "a worker that left by itself can be started again";
  const double resumed = MsSince(worker.origin);
  worker.Resume();
  ASSERT_TRUE(worker.WaitForStarted(3, 3000));
  EXPECT_LT(worker.Passes()[2].start - resumed, 250) << "a new thread starts with a pass at once";
  EXPECT_TRUE(worker.Stop(5000));
  EXPECT_EQ(2, worker.threadStarts.load());
}

TEST(WorkerThread, AWorkerThatStopsItselfLeavesAfterItsPassWithoutWaitingForItself) {
  RecordingWorker worker(0, Pass::StopsItself);
  ASSERT_TRUE(worker.Start(50));
  worker.Resume();
  ASSERT_TRUE(RecordingWorker::WaitUntil([&] { return !worker.IsRunning(); }, 3000))
      << "a worker waiting for itself would hang here";
  EXPECT_EQ(0, worker.selfStopResult.load()) << "it had not left yet when it asked";
  EXPECT_EQ(1u, worker.Count());
  EXPECT_EQ(1u, worker.Ended());
  EXPECT_TRUE(worker.Stop(5000));
}

TEST(WorkerThread, AnAbandonedObjectNeitherSignalsNorWaits) {
  RecordingWorker worker(400, Pass::HonoursCancellation);
  worker.endAfterPasses = 2;
  ASSERT_TRUE(worker.Start(50));
  worker.Resume();
  ASSERT_TRUE(worker.WaitForStarted(1, 3000));
  worker.Abandon();
  const auto before = Clock::now();
  EXPECT_FALSE(worker.Stop(5000));
  EXPECT_LT(MsSince(before), 100) << "an abandoned object must not wait";
  EXPECT_EQ(0, worker.stopRequests.load()) << "nor signal the worker";
  EXPECT_FALSE(worker.Start(50));
  EXPECT_TRUE(worker.IsRunning());
  // The worker goes on as if nothing happened; it ends on its own after its second pass.
  ASSERT_TRUE(RecordingWorker::WaitUntil([&] { return worker.threadEnds.load() == 1; }, 5000));
  EXPECT_EQ(2u, worker.Ended());
}

}  // namespace
