// The synchronisation thread against the simulated Outlook 16, with the public file on
// the loopback HTTP server: its passes merge the file into Outlook, and Stop cuts a pass
// short (a slow transfer, Outlook's removals, a worker calling into the very thread that
// stops it) without the forced termination. The executable carries Outlook 16's version
// resource, so the passes take Outlook's object-model road.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "CategorySync.h"
#include "LocalCopyTime.h"
#include "Settings.h"
#include "SynchThread.h"
#include "VersionInfo.h"
#include "categories/HostedOutlook.h"
#include "categories/RegistryValues.h"
#include "support/LoopbackServers.h"
#include "support/SettingsFolderSandbox.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point origin) {
  return std::chrono::duration<double, std::milli>(Clock::now() - origin).count();
}

template <class Condition>
bool WaitUntil(Condition done, DWORD timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (Clock::now() > deadline) return false;
    ::Sleep(10);
  }
  return true;
}

class SynchThreadWithOutlook : public HostedOutlook {
 protected:
  void SetUp() override {
    ASSERT_EQ(16, OutlookMajorVersion()) << "the test must run as Outlook 16 (its version resource)";
    CLocalCopyTime::Instance().Reset();
    ::RegDeleteTreeA(HKEY_CURRENT_USER, CCategorySync::kRegistryKey);
  }
  void TearDown() override {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, CCategorySync::kRegistryKey);
    CLocalCopyTime::Instance().Reset();
    HostedOutlook::TearDown();
  }

  // The public file on the web server, fetched afresh by every pass (Interval 0).
  void PublicFileAt(const std::string& serverPath, const std::string& text) {
    scratch.WriteFile("publiczne.txt", text);
    CSettings settings;
    settings.SetIsInternetFile(true);
    settings.SetDataFileUrl(http.Url(serverPath));
    settings.SetInterval(0);
    settings.Save();
  }
  static std::string Prev() {
    CCategoryVector prev;
    if (!CCategorySync::ReadPrevCategories(prev)) return "<none>";
    return prev.ToString();
  }
  bool Logged(const std::string& line) const {
    for (const std::string& logged : http.LoggedLines())
      if (logged == line) return true;
    return false;
  }
  size_t JournalRemovals() const {
    size_t removals = 0;
    for (const OutlookSim::JournalEntry& e : host->Journal()) removals += e.op == "Remove";
    return removals;
  }

  SettingsFolderSandbox settingsFolder;
  ScratchFolder scratch;
  LoopbackHttpServer http{scratch};
};

TEST_F(SynchThreadWithOutlook, PassesMergeThePublicFileIntoOutlookAndFollowItsChanges) {
  StartOutlook({{L"Moja", 7}});
  PublicFileAt("publiczne.txt", "A;3\r\nB;5\r\n");
  CSynchThread thread;
  ASSERT_TRUE(thread.Start(200));
  thread.Resume();
  EXPECT_TRUE(WaitUntil([&] { return OutlookList() == "[Moja:7][A:3][B:5]"; }, 10000)) << OutlookList();
  EXPECT_TRUE(WaitUntil([&] { return Prev() == "A;B"; }, 2000)) << Prev();

  const unsigned long passesBefore = thread.PassCount();
  scratch.WriteFile("publiczne.txt", "A;3\r\nC;2\r\n");
  EXPECT_TRUE(WaitUntil([&] { return OutlookList() == "[Moja:7][A:3][C:2]"; }, 10000)) << OutlookList();
  EXPECT_TRUE(WaitUntil([&] { return Prev() == "A;C"; }, 2000)) << Prev();
  EXPECT_GT(thread.PassCount(), passesBefore);
  EXPECT_TRUE(thread.Stop(15000));
  EXPECT_FALSE(thread.IsRunning());
}

TEST_F(SynchThreadWithOutlook, StopDuringASlowTransferReturnsAtOnceAndChangesNothing) {
  StartOutlook({{L"Moja", 7}, {L"Stara", 1}});
  PlantText(CCategorySync::kRegistryKey, "PrevCategories", "Stara");  // a whole pass would remove it
  PublicFileAt("slow/4000/publiczne.txt", "A;3\r\n");
  CSynchThread thread;
  ASSERT_TRUE(thread.Start(10000));
  thread.Resume();
  ASSERT_TRUE(WaitUntil([&] { return Logged("POST /slow/4000/publiczne.txt"); }, 5000))
      << "the pass never asked the server";
  ::Sleep(200);  // the server is still holding its answer back

  const auto before = Clock::now();
  EXPECT_TRUE(thread.Stop(15000)) << "the worker was terminated";
  EXPECT_LT(MsSince(before), 1500) << "Stop waited for the transfer";
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ("[Moja:7][Stara:1]", OutlookList());
  EXPECT_EQ("", JournalText());
  EXPECT_EQ("Stara", Prev());

  // The abandoned transfer gets its answer later: nothing may come of it.
  ::Sleep(4500);
  EXPECT_EQ("[Moja:7][Stara:1]", OutlookList());
  EXPECT_EQ("Stara", Prev());
  EXPECT_FALSE(Logged("GET /slow/4000/publiczne.txt")) << "the cancelled read went on to download";
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(settingsFolder.File("tempPCF.txt").c_str()))
      << "the cancelled read made a local copy";
  EXPECT_EQ(0, CLocalCopyTime::Instance().Get());
}

TEST_F(SynchThreadWithOutlook, StopDuringTheRemovalsEndsThePassBetweenTwoCallsAndTheNextPassFinishes) {
  std::vector<OutlookSim::SimCategory> old;
  std::string prev;
  for (int i = 0; i < 30; ++i) {
    old.push_back({L"Stara " + std::to_wstring(i), 1});
    prev += (i ? ";" : "") + std::string("Stara ") + std::to_string(i);
  }
  StartOutlook(old);
  PlantText(CCategorySync::kRegistryKey, "PrevCategories", prev);
  PublicFileAt("publiczne.txt", "A;3\r\n");

  CSynchThread thread;
  ASSERT_TRUE(thread.Start(10000));
  thread.Resume();
  ASSERT_TRUE(WaitUntil([&] { return JournalRemovals() >= 3; }, 10000)) << JournalText();
  const auto before = Clock::now();
  EXPECT_TRUE(thread.Stop(15000));
  EXPECT_LT(MsSince(before), 1000) << "Stop waited for the rest of the removals";

  const size_t removed = JournalRemovals();
  EXPECT_LT(removed, 30u) << "the pass was not cut short";
  std::set<std::wstring> gone;
  for (const OutlookSim::JournalEntry& e : host->Journal()) {
    EXPECT_EQ("Remove", e.op) << "nothing but removals before the pass was cut short";
    EXPECT_EQ(S_OK, e.result) << Qv::WideToAnsi(e.name);
    gone.insert(e.name);
  }
  std::string expectedList;
  for (const OutlookSim::SimCategory& c : old)
    if (!gone.count(c.name)) expectedList += "[" + Qv::WideToAnsi(c.name) + ":1]";
  EXPECT_EQ(removed, gone.size());
  EXPECT_EQ(expectedList, OutlookList()) << "Outlook holds exactly what the removals left";
  EXPECT_EQ(prev, Prev()) << "a pass cut short must not record the merge";

  // A new thread's first pass does the rest.
  host->ClearJournal();
  ASSERT_TRUE(thread.Start(10000));
  thread.Resume();
  EXPECT_TRUE(WaitUntil([&] { return OutlookList() == "[A:3]"; }, 10000)) << OutlookList();
  EXPECT_TRUE(WaitUntil([&] { return Prev() == "A"; }, 2000)) << Prev();
  EXPECT_EQ(30 - removed, JournalRemovals());
  EXPECT_TRUE(thread.Stop(15000));
}

TEST_F(SynchThreadWithOutlook, StopOnOutlooksThreadWhileTheWorkerCallsIntoItDoesNotDeadlock) {
  std::vector<OutlookSim::SimCategory> many;
  for (int i = 0; i < 300; ++i) many.push_back({L"Kategoria " + std::to_wstring(i), i % 26});
  StartOutlook(many);
  PublicFileAt("publiczne.txt", "A;3\r\n");
  host->ResetCounts();

  CSynchThread thread;
  ASSERT_TRUE(thread.Start(10000));
  thread.Resume();
  // Reading 300 categories takes several hundred calls: the worker is in the middle.
  ASSERT_TRUE(WaitUntil([&] { return host->TotalCalls() > 50; }, 10000));
  bool stopped = false;
  double took = 0;
  host->RunOnUiThread([&] {
    // While this thread is busy the worker's next call waits for it; Stop must serve it.
    ::Sleep(200);
    const auto before = Clock::now();
    stopped = thread.Stop(5000);
    took = MsSince(before);
  });
  EXPECT_TRUE(stopped) << "the worker was terminated: Stop did not serve its call";
  EXPECT_LT(took, 2000);
  EXPECT_LT(host->CallCount("Categories.Item"), 300) << "the pass read Outlook's whole list after Stop";
  EXPECT_EQ(0, host->CallCount("Categories.Add")) << "the pass went on after Stop";
  EXPECT_EQ(300u, host->Categories().size());
}

}  // namespace
