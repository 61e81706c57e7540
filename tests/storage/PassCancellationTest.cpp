// Cutting a pass short from another thread: the waits, the WinINet call protocol (the
// handle under a blocking call is closed once, by Cancel, and taken from its owner; a
// handle not in a call is left to its owner), and a step run on a thread of its own.
// The blocking calls are real WinINet requests to the loopback HTTP server's /slow/.
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "PassCancellation.h"
#include "qv/InternetHandle.h"
#include "support/LoopbackServers.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point origin) {
  return std::chrono::duration<double, std::milli>(Clock::now() - origin).count();
}

// Whether WinINet still knows the handle value.
bool IsOpenInternetHandle(HINTERNET handle) {
  DWORD type = 0, size = sizeof type;
  return ::InternetQueryOptionA(handle, INTERNET_OPTION_HANDLE_TYPE, &type, &size) != FALSE;
}

class WithSlowServer : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch.WriteFile("plik.txt", "A;1\r\n");
    session.Reset(::InternetOpenA("Velmora Tagsy test", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    ASSERT_TRUE(session);
    connection.Reset(::InternetConnectA(session.Get(), "127.0.0.1", static_cast<INTERNET_PORT>(http.Port()),
                                        nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 1));
    ASSERT_TRUE(connection);
  }
  Qv::UniqueInternet Request(const char* path) {
    return Qv::UniqueInternet(
        ::HttpOpenRequestA(connection.Get(), "GET", path, nullptr, nullptr, nullptr, INTERNET_FLAG_RELOAD, 1));
  }

  ScratchFolder scratch;
  LoopbackHttpServer http{scratch};
  Qv::UniqueInternet session;
  Qv::UniqueInternet connection;
};

TEST(PassCancellation, WaitEndsAtOnceWhenCancelledAndRunsItsTimeOtherwise) {
  CPassCancellation cancellation;
  auto before = Clock::now();
  EXPECT_FALSE(cancellation.Wait(80));
  EXPECT_GE(MsSince(before), 70);
  EXPECT_FALSE(cancellation.IsCancelled());
  EXPECT_NO_THROW(cancellation.ThrowIfCancelled());

  std::thread canceller([&] {
    ::Sleep(100);
    cancellation.Cancel();
  });
  before = Clock::now();
  EXPECT_TRUE(cancellation.Wait(10000));
  EXPECT_LT(MsSince(before), 2000);
  canceller.join();
  EXPECT_TRUE(cancellation.IsCancelled());
  EXPECT_THROW(cancellation.ThrowIfCancelled(), CPassCancelled);
  cancellation.Cancel();  // again: nothing more happens
  EXPECT_TRUE(cancellation.Wait(0));
}

TEST_F(WithSlowServer, WithoutACancellationTheCallIsMadeAsItIs) {
  Qv::UniqueInternet request = Request("/plik.txt");
  ASSERT_TRUE(request);
  EXPECT_TRUE(CancellableInternetCall(nullptr, request,
                                      [&] { return ::HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0); }));
  EXPECT_TRUE(request);
}

TEST_F(WithSlowServer, AfterCancelNoCallIsMadeAndTheOwnerKeepsItsHandle) {
  CPassCancellation cancellation;
  Qv::UniqueInternet request = Request("/plik.txt");
  ASSERT_TRUE(request);
  cancellation.Cancel();
  bool called = false;
  ::SetLastError(0);
  EXPECT_FALSE(CancellableInternetCall(&cancellation, request, [&] {
    called = true;
    return ::HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0);
  }));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED), ::GetLastError());
  EXPECT_FALSE(called);
  ASSERT_TRUE(request) << "a handle no call was under way on stays its owner's to close";
  EXPECT_TRUE(IsOpenInternetHandle(request.Get()));
  EXPECT_TRUE(http.LoggedLines().empty()) << "the refused request reached the server";
}

TEST_F(WithSlowServer, CancelClosesTheHandleACallIsBlockedOnOnceAndTakesItFromItsOwner) {
  auto cancellation = std::make_shared<CPassCancellation>();
  Qv::UniqueInternet request = Request("/slow/1500/plik.txt");
  ASSERT_TRUE(request);
  const HINTERNET value = request.Get();
  std::thread canceller([&] {
    for (int i = 0; i < 500 && http.LoggedLines().empty(); ++i) ::Sleep(10);
    ::Sleep(100);  // the server holds its answer back: the call is blocked now
    cancellation->Cancel();
  });
  ::SetLastError(0);
  const BOOL sent = CancellableInternetCall(cancellation.get(), request,
                                            [&] { return ::HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0); });
  const DWORD error = ::GetLastError();
  canceller.join();
  EXPECT_FALSE(sent) << "the answer of a call whose handle was closed must not be used";
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED), error);
  EXPECT_FALSE(request) << "the owner still holds a closed handle and would close it again";
  EXPECT_FALSE(IsOpenInternetHandle(value)) << "Cancel did not close the handle";
  EXPECT_TRUE(IsOpenInternetHandle(connection.Get())) << "the parent is not Cancel's to close";
}

TEST(RunUntilCancelled, WithoutACancellationTheStepRunsHere) {
  const DWORD caller = ::GetCurrentThreadId();
  DWORD ranOn = 0;
  EXPECT_TRUE(RunUntilCancelled(nullptr, [&] { ranOn = ::GetCurrentThreadId(); }));
  EXPECT_EQ(caller, ranOn);
  EXPECT_THROW(RunUntilCancelled(nullptr, [] { throw 7; }), int);
}

TEST(RunUntilCancelled, AStepThatEndsGivesItsResult) {
  auto cancellation = std::make_shared<CPassCancellation>();
  auto result = std::make_shared<int>(0);
  EXPECT_TRUE(RunUntilCancelled(cancellation, [result] {
    ::Sleep(100);
    *result = 42;
  }));
  EXPECT_EQ(42, *result);
  EXPECT_TRUE(RunUntilCancelled(cancellation, [] { throw 7; })) << "a failing step still ends";
}

TEST(RunUntilCancelled, CancellingReturnsAtOnceWhileTheStepGoesOnAlone) {
  auto cancellation = std::make_shared<CPassCancellation>();
  auto stepDone = std::make_shared<std::atomic<bool>>(false);
  Qv::UniqueHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE releaseStep = release.Get();
  std::thread canceller([&] {
    ::Sleep(100);
    cancellation->Cancel();
  });
  const auto before = Clock::now();
  EXPECT_FALSE(RunUntilCancelled(cancellation, [stepDone, releaseStep] {
    ::WaitForSingleObject(releaseStep, 10000);
    *stepDone = true;
  }));
  EXPECT_LT(MsSince(before), 2000);
  canceller.join();
  EXPECT_FALSE(*stepDone);
  ::SetEvent(releaseStep);
  for (int i = 0; i < 500 && !*stepDone; ++i) ::Sleep(10);
  EXPECT_TRUE(*stepDone) << "the step goes on to its end on its own thread";
  EXPECT_FALSE(RunUntilCancelled(cancellation, [stepDone] { *stepDone = false; }))
      << "a cancelled pass starts no step";
  EXPECT_TRUE(*stepDone);
}

}  // namespace
