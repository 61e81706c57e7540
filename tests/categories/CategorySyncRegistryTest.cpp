// Synchronisation passes against the master list of Outlook 8 to 11 (a registry value),
// with the public file on disk and PrevCategories in the registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "CategorySync.h"
#include "LocalCopyTime.h"
#include "OutlookCategories.h"
#include "RegistryValues.h"
#include "Settings.h"
#include "support/LoopbackServers.h"
#include "support/RegistrySandbox.h"
#include "support/SettingsFolderSandbox.h"

namespace {

class SyncWithRegistryList : public ::testing::TestWithParam<WORD> {
 protected:
  void SetUp() override {
    CLocalCopyTime::Instance().Reset();
    UsePublicFile(scratch.WindowsPath("publiczne.txt"));
  }

  static void UsePublicFile(const std::string& path) {
    CSettings settings;
    settings.SetDataFilePath(path);
    settings.SetInterval(0);  // every pass reads the file itself
    settings.Save();
  }
  void PublicFile(const std::string& text) { scratch.WriteFile("publiczne.txt", text); }
  void OutlookList(const std::string& text) {
    COutlookCategories outlook(GetParam());
    CCategoryVector names;
    names.FromString(text);
    outlook.Assign(names.items);
    outlook.Save();
  }
  std::string OutlookList() const {
    COutlookCategories outlook(GetParam());
    outlook.Load();
    return outlook.ToString();
  }
  static std::string Prev() {
    CCategoryVector prev;
    if (!CCategorySync::ReadPrevCategories(prev)) return "<none>";
    return prev.ToString();
  }
  BOOL Pass() { return CCategorySync(GetParam()).Synchronize(); }

  RegistrySandbox currentUser{HKEY_CURRENT_USER};
  SettingsFolderSandbox settingsFolder;
  ScratchFolder scratch;
};

TEST_P(SyncWithRegistryList, PublicCategoriesArriveAndLeave) {
  PublicFile("A;3\r\nb;0\r\n");
  OutlookList("B;C");
  EXPECT_EQ(TRUE, Pass());
  EXPECT_EQ("A;b;C", OutlookList()) << "public first, in file order and form; then private";
  EXPECT_EQ("A;b", Prev());

  PublicFile("A;3\r\n");
  EXPECT_EQ(TRUE, Pass());
  EXPECT_EQ("A;C", OutlookList()) << "b left the file, so it leaves Outlook";
  EXPECT_EQ("A", Prev());
}

TEST_P(SyncWithRegistryList, NothingRemovedKeepsMergedOrderSomethingRemovedSorts) {
  PublicFile("B;0\r\nA;0\r\n");
  OutlookList("C");
  EXPECT_EQ(TRUE, Pass());
  EXPECT_EQ("B;A;C", OutlookList());

  PublicFile("B;0\r\n");
  OutlookList("Z;A;C");
  EXPECT_EQ(TRUE, Pass());
  EXPECT_EQ("B;C;Z", OutlookList()) << "with a removal the list is in ascending order";
}

INSTANTIATE_TEST_SUITE_P(Outlook8To11, SyncWithRegistryList, ::testing::Values(8, 9, 10, 11),
                         [](const auto& info) { return "Outlook" + std::to_string(info.param); });

class SyncRules : public SyncWithRegistryList {};

TEST_P(SyncRules, FirstOccurrenceOfANameDecides) {
  PublicFile("X;4\r\nx;9\r\nY;1\r\n");
  EXPECT_EQ(TRUE, Pass());
  EXPECT_EQ("X;Y", OutlookList());
  CCategoryVector publicList;
  CCategorySync sync(GetParam());
  sync.Synchronize();  // loads the engine's settings
  ASSERT_TRUE(sync.ReadPublicCategories(publicList));
  ASSERT_EQ(2u, publicList.items.size());
  EXPECT_EQ("X", publicList.items[0].name);
  EXPECT_EQ(4, publicList.items[0].colour);
}

TEST_P(SyncRules, NoLocationTouchesNothing) {
  UsePublicFile("");
  OutlookList("Prywatna");
  EXPECT_EQ(TRUE, Pass());
  EXPECT_EQ("Prywatna", OutlookList());
  EXPECT_EQ("<none>", Prev());
}

TEST_P(SyncRules, UnreadablePublicFileChangesNothingRunAfterRun) {
  UsePublicFile(scratch.WindowsPath("brak.txt"));
  OutlookList("A;B");
  PlantText(CCategorySync::kRegistryKey, "PrevCategories", "A");
  for (int run = 0; run < 3; ++run) EXPECT_EQ(FALSE, Pass());
  EXPECT_EQ("A;B", OutlookList());
  EXPECT_EQ("A", Prev());
}

TEST_P(SyncRules, EmptyPublicFileRemovesWhatWasPublicOnlyWhenOutlookHasIt) {
  PublicFile("");
  PlantText(CCategorySync::kRegistryKey, "PrevCategories", "X");
  OutlookList("");
  EXPECT_EQ(TRUE, Pass());
  EXPECT_EQ("", OutlookList());
  EXPECT_EQ("X", Prev()) << "Outlook's list did not change, so the record stays";

  OutlookList("X;Moja");
  EXPECT_EQ(TRUE, Pass());
  EXPECT_EQ("Moja", OutlookList()) << "a private X is removed: X was public at the last merge";
  EXPECT_EQ("", Prev());
}

TEST_P(SyncRules, NameTwiceInPrevCategoriesRemovesThePublicOneForThatRun) {
  PublicFile("A;0\r\n");
  PlantText(CCategorySync::kRegistryKey, "PrevCategories", "A;A");
  OutlookList("A;B");
  EXPECT_EQ(TRUE, Pass());
  EXPECT_EQ("B", OutlookList());
  EXPECT_EQ("A", Prev());
  EXPECT_EQ(TRUE, Pass());
  EXPECT_EQ("A;B", OutlookList()) << "the next run brings it back";
}

TEST_P(SyncRules, DeletedPublicCategoryComesBack) {
  PublicFile("A;0\r\n");
  EXPECT_EQ(TRUE, Pass());
  OutlookList("B");
  EXPECT_EQ(TRUE, Pass());
  EXPECT_EQ("A;B", OutlookList());
}

INSTANTIATE_TEST_SUITE_P(Outlook9, SyncRules, ::testing::Values(9));

TEST(PrevCategories, ReadsOnlyTerminatedTextValues) {
  RegistrySandbox currentUser(HKEY_CURRENT_USER);
  CCategoryVector list;
  EXPECT_FALSE(CCategorySync::ReadPrevCategories(list)) << "no key";
  ASSERT_TRUE(CCategorySync::WritePrevCategories(CCategoryVector({{"A", 1}, {" B ", 2}}, ";", 1)));
  const RawValue stored = ReadRawValue(CCategorySync::kRegistryKey, "PrevCategories");
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored.type);
  EXPECT_EQ(Bytes({'A', ';', ' ', 'B', ' ', 0}), stored.bytes);
  ASSERT_TRUE(CCategorySync::ReadPrevCategories(list));
  ASSERT_EQ(2u, list.items.size());
  EXPECT_EQ("B", list.items[1].name) << "names are trimmed on reading";

  const char binary[] = "A;B";
  PlantRawValue(CCategorySync::kRegistryKey, "PrevCategories", REG_BINARY, binary, sizeof binary);
  EXPECT_FALSE(CCategorySync::ReadPrevCategories(list));
  const char unterminated[] = {'A', ';', 'B'};
  PlantRawValue(CCategorySync::kRegistryKey, "PrevCategories", REG_SZ, unterminated, sizeof unterminated);
  CCategoryVector loose;
  CCategorySync::ReadPrevCategories(loose);
  EXPECT_TRUE(loose.items.empty() || loose.ToString() == "A;B") << "never garbage past the data";
}

}  // namespace
