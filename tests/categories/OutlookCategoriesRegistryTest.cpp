// The master category list of Outlook 8 to 11, kept in the registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "OutlookCategories.h"
#include "RegistryValues.h"
#include "support/RegistrySandbox.h"

namespace {

std::string Names(const CCategoryVector& list) {
  std::string names;
  for (const CCategoryItem& item : list.items) names += "[" + item.name + ":" + std::to_string(item.colour) + "]";
  return names;
}

class MasterListInRegistry : public ::testing::TestWithParam<WORD> {
 protected:
  WORD version() const { return GetParam(); }
  std::string key() const { return COutlookCategories::RegistryKeyPath(version()); }
  const char* value() const { return COutlookCategories::RegistryValueName(version()); }
  RegistrySandbox currentUser{HKEY_CURRENT_USER};
};

TEST_P(MasterListInRegistry, KeyAndValueName) {
  EXPECT_EQ("Software\\Microsoft\\Office\\" + std::to_string(version()) + ".0\\Outlook\\Categories", key());
  EXPECT_STREQ(version() == 8 ? "" : "MasterList", value());
}

TEST_P(MasterListInRegistry, SaveWritesTheStoredFormAndLoadReadsItBack) {
  COutlookCategories outlook(version());
  outlook.Assign({{"A", 3}, {"B", 7}});
  outlook.Save();
  const RawValue stored = ReadRawValue(key(), value());
  ASSERT_TRUE(stored.exists);
  if (version() <= 9) {
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored.type);
    EXPECT_EQ(Bytes({'A', ';', 'B', 0}), stored.bytes);
  } else {
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), stored.type);
    EXPECT_EQ(Bytes({0x41, 0, 0x3B, 0, 0x42, 0, 0, 0}), stored.bytes);
  }
  COutlookCategories loaded(version());
  loaded.Load();
  EXPECT_TRUE(loaded.LoadedCompletely());
  EXPECT_EQ("[A:0][B:0]", Names(loaded)) << "the registry keeps no colours";
}

TEST_P(MasterListInRegistry, TheStoredTypeDecidesHowItIsRead) {
  PlantText(key(), value(), " A ;;B ");
  COutlookCategories asText(version());
  asText.Load();
  EXPECT_EQ("[A:0][B:0]", Names(asText));

  const wchar_t wide[] = L"Pilne;Wa\x017Cne";  // Ważne
  PlantRawValue(key(), value(), REG_BINARY, wide, sizeof wide);
  COutlookCategories asUtf16(version());
  asUtf16.Load();
  EXPECT_EQ("[Pilne:0][Wa\xBFne:0]", Names(asUtf16));

  const char unterminated[] = {'X', ';', 'Y'};
  PlantRawValue(key(), value(), REG_SZ, unterminated, sizeof unterminated);
  COutlookCategories loose(version());
  loose.Load();
  EXPECT_EQ("[X:0][Y:0]", Names(loose)) << "data without its zero still ends";
}

TEST_P(MasterListInRegistry, MissingListLoadsEmptyAndSaveWritesOnlyTheListsNames) {
  COutlookCategories outlook(version());
  outlook.Load();
  EXPECT_TRUE(outlook.items.empty());
  EXPECT_TRUE(outlook.LoadedCompletely());
  outlook.Assign({{"Jedyna", 0}});
  outlook.Save();
  COutlookCategories again(version());
  again.Load();
  EXPECT_EQ("[Jedyna:0]", Names(again));
}

TEST_P(MasterListInRegistry, EmptyListSavesAnEmptyText) {
  COutlookCategories outlook(version());
  outlook.Assign({});
  outlook.Save();
  const RawValue stored = ReadRawValue(key(), value());
  ASSERT_TRUE(stored.exists);
  EXPECT_EQ(version() <= 9 ? Bytes({0}) : Bytes({0, 0}), stored.bytes);
}

TEST_P(MasterListInRegistry, PolishNamesSurviveTheRoundTrip) {
  COutlookCategories outlook(version());
  outlook.Assign({{"\xA3\xF3" "d\xBA", 0}, {"\x8C" "wi\xEAta", 0}});  // Łódź, Święta
  outlook.Save();
  COutlookCategories loaded(version());
  loaded.Load();
  EXPECT_EQ("[\xA3\xF3" "d\xBA:0][\x8C" "wi\xEAta:0]", Names(loaded));
}

INSTANTIATE_TEST_SUITE_P(Outlook8To11, MasterListInRegistry, ::testing::Values(8, 9, 10, 11),
                         [](const auto& info) { return "Outlook" + std::to_string(info.param); });

TEST(MasterListFromObjectModel, WithoutOutlooksApplicationNothingHappens) {
  RegistrySandbox currentUser(HKEY_CURRENT_USER);
  COutlookCategories outlook(16);
  outlook.Load();
  EXPECT_TRUE(outlook.items.empty());
  EXPECT_FALSE(outlook.LoadedCompletely()) << "nothing was read from Outlook";
  outlook.Assign({{"A", 1}});
  outlook.Save();
  EXPECT_FALSE(ReadRawValue(COutlookCategories::RegistryKeyPath(16), "MasterList").exists);
}

}  // namespace
