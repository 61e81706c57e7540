// Synchronisation passes against Outlook 12 and later (the simulated host), run on a
// worker thread as the add-in runs them, with the public file on disk.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "CategorySync.h"
#include "HostedOutlook.h"
#include "LocalCopyTime.h"
#include "RegistryValues.h"
#include "Settings.h"
#include "support/LoopbackServers.h"
#include "support/SettingsFolderSandbox.h"

namespace {

class SyncWithOutlook : public HostedOutlook, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    CLocalCopyTime::Instance().Reset();
    CSettings settings;
    settings.SetDataFilePath(scratch.WindowsPath("publiczne.txt"));
    settings.SetInterval(0);
    settings.Save();
    ::RegDeleteTreeA(HKEY_CURRENT_USER, CCategorySync::kRegistryKey);
  }
  void TearDown() override {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, CCategorySync::kRegistryKey);
    HostedOutlook::TearDown();
  }

  void PublicFile(const std::string& text) { scratch.WriteFile("publiczne.txt", text); }
  BOOL PassOnWorker() {
    BOOL result = FALSE;
    OnWorker([&] { result = CCategorySync(static_cast<WORD>(GetParam())).Synchronize(); });
    return result;
  }
  static std::string Prev() {
    CCategoryVector prev;
    if (!CCategorySync::ReadPrevCategories(prev)) return "<none>";
    return prev.ToString();
  }

  SettingsFolderSandbox settingsFolder;
  ScratchFolder scratch;
};

TEST_P(SyncWithOutlook, PublicColoursWinAndCategoriesThatLeftTheFileLeaveOutlook) {
  StartOutlook({{L"B", 5}, {L"C", 2}}, GetParam());
  PublicFile("A;3\r\nb;0\r\n");
  EXPECT_EQ(TRUE, PassOnWorker());
  EXPECT_EQ("Remove B; Add A:3; Add b:0; ", JournalText());
  EXPECT_EQ("[C:2][A:3][b:0]", OutlookList());
  EXPECT_EQ("A;b", Prev());

  host->ClearJournal();
  PublicFile("A;3\r\n");
  EXPECT_EQ(TRUE, PassOnWorker());
  EXPECT_EQ("Remove b; ", JournalText()) << "b goes, although the user had it as B before";
  EXPECT_EQ("[C:2][A:3]", OutlookList());
  EXPECT_EQ("A", Prev());
}

TEST_P(SyncWithOutlook, IdlePassChangesNothingAndKeepsTheRecord) {
  StartOutlook({{L"A", 3}, {L"Moja", 7}}, GetParam());
  PublicFile("A;3\r\n");
  PlantText(CCategorySync::kRegistryKey, "PrevCategories", "A");
  EXPECT_EQ(TRUE, PassOnWorker());
  EXPECT_EQ("", JournalText());
  EXPECT_EQ("[A:3][Moja:7]", OutlookList());
}

TEST_P(SyncWithOutlook, UnreachablePublicFileChangesNothing) {
  StartOutlook({{L"A", 3}}, GetParam());
  PlantText(CCategorySync::kRegistryKey, "PrevCategories", "A");
  for (int run = 0; run < 2; ++run) EXPECT_EQ(FALSE, PassOnWorker());
  EXPECT_EQ("", JournalText());
  EXPECT_EQ("A", Prev());
}

TEST_P(SyncWithOutlook, WithoutOutlooksListTheRecordIsNotTouched) {
  StartOutlook({{L"A", 3}}, GetParam());
  COutlookApplicationHome::Instance().Clear();  // Outlook has gone away
  PublicFile("B;1\r\n");
  PlantText(CCategorySync::kRegistryKey, "PrevCategories", "A");
  EXPECT_EQ(FALSE, PassOnWorker());
  EXPECT_EQ("A", Prev()) << "A must still be removed once Outlook can be reached";
}

INSTANTIATE_TEST_SUITE_P(Outlook12And16, SyncWithOutlook, ::testing::Values(12, 16),
                         [](const auto& info) { return "Outlook" + std::to_string(info.param); });

class SerialisedPasses : public SyncWithOutlook {};

TEST_P(SerialisedPasses, EditorsPassWaitsForTheWorkersAndNeitherHangs) {
  std::vector<OutlookSim::SimCategory> many;
  std::string prev;
  for (int i = 0; i < 10; ++i) {
    many.push_back({L"Stara " + std::to_wstring(i), 1});
    prev += (i ? ";" : "") + std::string("Stara ") + std::to_string(i);
  }
  StartOutlook(many, GetParam());
  PublicFile("");
  PlantText(CCategorySync::kRegistryKey, "PrevCategories", prev);

  std::atomic<bool> workerStarted{false};
  BOOL workerResult = FALSE, editorResult = FALSE;
  std::thread worker([&] {
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    workerStarted = true;
    workerResult = CCategorySync(static_cast<WORD>(GetParam())).Synchronize();
    ::CoUninitialize();
  });
  while (!workerStarted) ::Sleep(1);
  ::Sleep(120);  // the worker's removals are under way
  host->RunOnUiThread([&] { editorResult = CCategorySync(static_cast<WORD>(GetParam())).Synchronize(); });
  worker.join();

  EXPECT_EQ(TRUE, workerResult);
  EXPECT_EQ(TRUE, editorResult);
  std::string expected;
  for (int i = 0; i < 10; ++i) expected += "Remove Stara " + std::to_string(i) + "; ";
  EXPECT_EQ(expected, JournalText()) << "one pass did the removals, in order, none refused";
  EXPECT_EQ("", OutlookList());
}

INSTANTIATE_TEST_SUITE_P(Outlook16, SerialisedPasses, ::testing::Values(16));

}  // namespace
