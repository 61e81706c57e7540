// The worker keeps the module that holds its code loaded while it runs: a FreeLibrary
// then leaves the module mapped, the module unloads as the worker leaves, and once
// Stop has returned true the worker holds no reference any more. The fixture DLL
// (tests/fixtures/WorkerModuleFixture.cpp) runs the worker; it lives beside the test.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "qv/Handles.h"

namespace {

constexpr char kFixtureName[] = "worker_module_fixture.dll";

std::string FixturePath() {
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path(self);
  path.erase(path.find_last_of('\\') + 1);
  std::string relative = TAGSY_WORKER_FIXTURE_DIR;
  std::replace(relative.begin(), relative.end(), '/', '\\');
  return path + relative + "\\" + kFixtureName;
}

bool FixtureLoaded() { return ::GetModuleHandleA(kFixtureName) != nullptr; }

bool WaitUntilUnloaded(DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 10) {
    if (!FixtureLoaded()) return true;
    ::Sleep(10);
  }
  return !FixtureLoaded();
}

using StartFixtureWorker = BOOL (*)(HANDLE passed, HANDLE leave);
using StopFixtureWorker = BOOL (*)(DWORD timeoutMs);

// Through void(*)(): the one function-pointer cast the compiler takes as deliberate.
template <class Function>
Function ExportOf(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

class WorkerModule : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(FixtureLoaded()) << "left loaded by an earlier test";
    module = ::LoadLibraryA(FixturePath().c_str());
    ASSERT_NE(nullptr, module) << FixturePath() << ", error " << ::GetLastError();
    start = ExportOf<StartFixtureWorker>(module, "StartFixtureWorker");
    stop = ExportOf<StopFixtureWorker>(module, "StopFixtureWorker");
    ASSERT_NE(nullptr, start);
    ASSERT_NE(nullptr, stop);
  }
  void TearDown() override {
    // Whatever a test left, the worker must not outlive the events it was given.
    ::SetEvent(leave.Get());
    WaitUntilUnloaded(5000);
  }

  HMODULE module = nullptr;
  StartFixtureWorker start = nullptr;
  StopFixtureWorker stop = nullptr;
  Qv::UniqueHandle passed{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  Qv::UniqueHandle leave{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

TEST_F(WorkerModule, FreeLibraryWhileTheWorkerRunsLeavesTheModuleLoadedUntilTheWorkerLeaves) {
  ASSERT_TRUE(start(passed.Get(), leave.Get()));
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(passed.Get(), 5000));
  ASSERT_TRUE(::FreeLibrary(module));  // the test's own, and last, reference

  EXPECT_TRUE(FixtureLoaded()) << "the module went away under its running worker";
  ::ResetEvent(passed.Get());
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(passed.Get(), 5000)) << "the worker keeps running in it";

  ::SetEvent(leave.Get());
  // The worker's FreeLibraryAndExitThread unloads the module; its static worker object
  // is destroyed on the worker thread, whose Stop must not wait for itself.
  EXPECT_TRUE(WaitUntilUnloaded(5000)) << "the module stayed after its worker left";
}

TEST_F(WorkerModule, OnceStopReturnsTrueTheWorkerHoldsTheModuleNoLonger) {
  ASSERT_TRUE(start(passed.Get(), leave.Get()));
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(passed.Get(), 5000));
  EXPECT_TRUE(stop(5000));
  ASSERT_TRUE(::FreeLibrary(module));
  EXPECT_FALSE(FixtureLoaded()) << "Stop returned while the worker still held its module";
}

}  // namespace
