// The master category list of Outlook 12 and later, through the simulated Outlook's
// object model, called from a worker thread as the synchronisation pass calls it.
#include <windows.h>

#include <gtest/gtest.h>

#include "HostedOutlook.h"
#include "OutlookCategories.h"

namespace {

std::string Names(const CCategoryVector& list) {
  std::string names;
  for (const CCategoryItem& item : list.items) names += "[" + item.name + ":" + std::to_string(item.colour) + "]";
  return names;
}

class MasterListInOutlook : public HostedOutlook, public ::testing::WithParamInterface<int> {};

TEST_P(MasterListInOutlook, LoadReadsNamesAndColoursInCollectionOrder) {
  StartOutlook({{L"Zielona", 5}, {L"Wa\x017Cne", 1}, {L"Bez koloru", 0}}, GetParam());
  OnWorker([&] {
    COutlookCategories outlook(static_cast<WORD>(GetParam()));
    outlook.Load();
    EXPECT_TRUE(outlook.LoadedCompletely());
    EXPECT_EQ("[Zielona:5][Wa\xBFne:1][Bez koloru:0]", Names(outlook));
  });
}

TEST_P(MasterListInOutlook, SaveRemovesFirstWithPausesThenAdds) {
  StartOutlook({{L"Red", 1}, {L"Blue", 8}}, GetParam());
  OnWorker([&] {
    COutlookCategories outlook(static_cast<WORD>(GetParam()));
    outlook.Assign({{"Red", 2}, {"green", 0}});
    outlook.Save();
  });
  EXPECT_EQ("Remove Blue; Remove Red; Add green:0; Add Red:2; ", JournalText());
  EXPECT_EQ("[green:0][Red:2]", OutlookList());
  const auto journal = host->Journal();
  ASSERT_EQ(4u, journal.size());
  EXPECT_GE(journal[1].ms - journal[0].ms, 45.0) << "a pause comes before each removal";
}

TEST_P(MasterListInOutlook, SameNameInAnotherCaseAndSameColourIsLeftAlone) {
  StartOutlook({{L"Red", 1}}, GetParam());
  OnWorker([&] {
    COutlookCategories outlook(static_cast<WORD>(GetParam()));
    outlook.Assign({{"red", 1}});
    outlook.Save();
  });
  EXPECT_EQ("", JournalText());
  EXPECT_EQ("[Red:1]", OutlookList());
}

TEST_P(MasterListInOutlook, RefusedAddEndsTheSave) {
  StartOutlook({}, GetParam());
  OnWorker([&] {
    COutlookCategories outlook(static_cast<WORD>(GetParam()));
    outlook.Assign({{"A", 1}, {"a", 2}, {"B", 3}});
    outlook.Save();
  });
  EXPECT_EQ("Add A:1; Add a:2 (refused); ", JournalText()) << "B is never tried";
  EXPECT_EQ("[A:1]", OutlookList());
}

TEST_P(MasterListInOutlook, NameOutsideTheCodePageCannotBeRemoved) {
  StartOutlook({{L"\x0416uk", 3}, {L"Inna", 2}}, GetParam());  // Жuk: Ж has no place in 1250
  OnWorker([&] {
    COutlookCategories outlook(static_cast<WORD>(GetParam()));
    outlook.Load();
    EXPECT_EQ("[?uk:3][Inna:2]", Names(outlook));
    outlook.Assign({{"Nowa", 4}});
    outlook.SaveAfterLoad();
  });
  // "?uk" sorts before "Inna", so its refused removal comes first and ends the save.
  EXPECT_EQ("Remove ?uk (refused); ", JournalText());
  EXPECT_EQ(2u, host->Categories().size());
}

TEST_P(MasterListInOutlook, SaveAfterLoadWorksFromWhatLoadRead) {
  StartOutlook({{L"A", 1}, {L"B", 2}}, GetParam());
  host->ResetCounts();
  OnWorker([&] {
    COutlookCategories outlook(static_cast<WORD>(GetParam()));
    outlook.Load();
    outlook.Assign({{"A", 1}, {"C", 3}});
    outlook.SaveAfterLoad();
  });
  EXPECT_EQ("Remove B; Add C:3; ", JournalText());
  EXPECT_EQ(1, host->CallCount("Categories.Count")) << "Outlook's list was read once";
}

INSTANTIATE_TEST_SUITE_P(Outlook12And16, MasterListInOutlook, ::testing::Values(12, 16),
                         [](const auto& info) { return "Outlook" + std::to_string(info.param); });

TEST_F(HostedOutlook, DirectCallsFromTheWrongThreadAreRefusedByOutlook) {
  StartOutlook({{L"A", 1}});
  // Proves the host keeps the rule the add-in must obey: the object itself, used on
  // another thread without marshaling, answers RPC_E_WRONG_THREAD.
  Microsoft::WRL::ComPtr<IDispatch> direct;
  host->RunOnUiThread([&] { direct = host->Application(); });
  HRESULT hr = S_OK;
  std::thread other([&] {
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"GetNamespace");
    hr = direct->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    ::CoUninitialize();
  });
  other.join();
  EXPECT_EQ(RPC_E_WRONG_THREAD, hr);
  host->RunOnUiThread([&] { direct.Reset(); });
  EXPECT_EQ(1, host->WrongThreadCalls());
  wrongThreadCallsExpected = 1;
}

}  // namespace
