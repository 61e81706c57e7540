// The host around the object model: the explorer's real window, Outlook without a
// window, the MAPI session, the host's own view of the master list, the Outlook
// generations before 12 and the objects left alive.
#include <gtest/gtest.h>

#include <mapix.h>

#include <memory>
#include <stdexcept>
#include <thread>
#include <string>
#include <vector>

#include "OutlookSim.h"
#include "SimFixture.h"
#include "qv/Handles.h"
#include "support/RegistrySandbox.h"

using Microsoft::WRL::ComPtr;
using OutlookSim::OutlookSimHost;
using OutlookSim::SimCategory;
using OutlookSim::SimOptions;

namespace {

using OutlookSim::kIidMapiSession;

TEST(ExplorerWindow, IsARealVisibleTopLevelWindowOfTheUiThread) {
  OutlookSimHost host;
  const HWND window = host.ExplorerWindow();
  ASSERT_TRUE(::IsWindow(window));
  EXPECT_TRUE(::IsWindowVisible(window));
  EXPECT_EQ(::GetParent(window), nullptr);
  EXPECT_EQ(::GetAncestor(window, GA_ROOT), window);
  DWORD process = 0;
  EXPECT_EQ(::GetWindowThreadProcessId(window, &process), host.UiThreadId());
  EXPECT_EQ(process, ::GetCurrentProcessId());
  wchar_t className[64] = {};
  ::GetClassNameW(window, className, 64);
  EXPECT_STREQ(className, L"rctrl_renwnd32");
  RECT client = {};
  ::GetClientRect(window, &client);
  EXPECT_GT(client.right, 0);
  EXPECT_GT(client.bottom, 0);
}

// The add-in parents its dialogs to the window IOleWindow gives, in and across apartments.
TEST(ExplorerWindow, IsWhatTheExplorersIOleWindowGives) {
  OutlookSimHost host;
  for (Apartment apartment : {Apartment::UiThread, Apartment::Mta, Apartment::Sta}) {
    SCOPED_TRACE(testing::PrintToString(apartment));
    WithApplication(host, apartment, [&](IDispatch* application) {
      ComPtr<IOleWindow> window;
      ASSERT_EQ(Walk(application, {L"ActiveExplorer"}).As(&window), S_OK);
      HWND frame = nullptr;
      EXPECT_EQ(window->GetWindow(&frame), S_OK);
      EXPECT_EQ(frame, host.ExplorerWindow());
    });
  }
}

TEST(ExplorerWindow, ClosingItClosesTheExplorer) {
  OutlookSimHost host;
  ComPtr<IDispatch> explorer;
  host.RunOnUiThread([&] { explorer = Walk(host.Application().Get(), {L"ActiveExplorer"}); });
  ::PostMessageW(host.ExplorerWindow(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(host.WaitForExplorersClosed(10000));
  EXPECT_EQ(host.ExplorerWindow(), nullptr);
  host.RunOnUiThread([&] {
    auto application = host.Application();
    EXPECT_EQ(Get(Walk(application.Get(), {L"Explorers"}).Get(), L"Count").Number(), 0);
    const DispatchResult result = Get(explorer.Get(), L"Application");
    EXPECT_EQ(result.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(result.description, L"The explorer has been closed.");
    explorer.Reset();
  });
}

TEST(NoExplorer, OutlookWithoutAWindowHasNoActiveExplorer) {
  SimOptions options;
  options.explorer = false;
  OutlookSimHost host(options);
  EXPECT_EQ(host.ExplorerWindow(), nullptr);
  EXPECT_FALSE(host.WaitForExplorersClosed(0));
  for (Apartment apartment : {Apartment::UiThread, Apartment::Mta}) {
    WithApplication(host, apartment, [](IDispatch* application) {
      auto explorers = Walk(application, {L"Explorers"});
      EXPECT_EQ(Get(explorers.Get(), L"Count").Number(), 0);
      EXPECT_EQ(Call(explorers.Get(), L"Item", 1).scode, DISP_E_BADINDEX);
      const DispatchResult active = Call(application, L"ActiveExplorer");
      EXPECT_EQ(active.hr, S_OK);
      EXPECT_FALSE(active.Object());
    });
  }
}

TEST(MapiObject, AnswersIMAPISessionOnTheUiThread) {
  OutlookSimHost host;
  host.RunOnUiThread([&] {
    const DispatchResult mapi = Get(Walk(host.Application().Get(), {L"Session"}).Get(), L"MAPIOBJECT");
    ASSERT_EQ(mapi.value.Type(), VT_UNKNOWN);
    ComPtr<IMAPISession> session;
    ASSERT_EQ(mapi.value.Get()->punkVal->QueryInterface(
                  kIidMapiSession, reinterpret_cast<void**>(session.GetAddressOf())),
              S_OK);
    EXPECT_EQ(session->Logoff(0, 0, 0), MAPI_E_NO_SUPPORT);
  });
}

// The Application that the host holds is not counted; everything else goes away.
TEST(LiveObjects, ComeBackToZeroOnceCallersReleaseThem) {
  SimOptions options;
  options.categories = {{L"A", 1}, {L"B", 2}};
  OutlookSimHost host(options);
  EXPECT_EQ(host.LiveObjects(), 0);
  for (Apartment apartment : {Apartment::UiThread, Apartment::Mta, Apartment::Sta}) {
    SCOPED_TRACE(testing::PrintToString(apartment));
    WithApplication(host, apartment, [&](IDispatch* application) {
      auto categories = Walk(application, {L"Session", L"Categories"});
      auto first = Call(categories.Get(), L"Item", 1).Object();
      auto second = Call(categories.Get(), L"Item", L"b").Object();
      auto explorer = Walk(application, {L"Explorers"});
      auto mapi = Get(Walk(application, {L"Session"}).Get(), L"MAPIOBJECT");
      // Categories, two Category objects, Explorers and the MAPI session; the NameSpace
      // went with the walks that passed through it.
      EXPECT_EQ(host.LiveObjects(), 5);
    });
    EXPECT_EQ(host.LiveObjects(), 0);
  }
}

// A test process starts many Outlooks one after another; each must serve its calls.
TEST(Lifetime, OneProcessRunsManyOutlooksInTurn) {
  for (int i = 0; i < 70; ++i) {
    SCOPED_TRACE(i);
    SimOptions options;
    options.explorer = i % 2 == 0;
    options.version = L"16.0." + std::to_wstring(i) + L".0";
    OutlookSimHost host(options);
    WithApplication(host, i % 3 == 0 ? Apartment::Sta : Apartment::Mta, [&](IDispatch* application) {
      EXPECT_EQ(Get(application, L"Version").Text(), options.version);
    });
  }
}

// What a worker still holding references sees once Outlook has shut down.
TEST(Lifetime, ProxiesOfAClosedOutlookAreDisconnected) {
  auto host = std::make_unique<OutlookSimHost>();
  Qv::UniqueHandle taken(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  Qv::UniqueHandle closed(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HRESULT application = S_OK, categories = S_OK;
  std::thread worker([&] {
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
      auto root = host->Application();
      auto collection = Walk(root.Get(), {L"Session", L"Categories"});
      ::SetEvent(taken.Get());
      ::WaitForSingleObject(closed.Get(), INFINITE);
      application = Get(root.Get(), L"Version").hr;
      categories = Get(collection.Get(), L"Count").hr;
    }
    ::CoUninitialize();
  });
  ::WaitForSingleObject(taken.Get(), INFINITE);
  host.reset();
  ::SetEvent(closed.Get());
  worker.join();
  // Windows reports a disconnected object as RPC_E_DISCONNECTED, Wine 8 as the unknown
  // interface of a stub that is gone.
  for (HRESULT hr : {application, categories})
    EXPECT_TRUE(hr == RPC_E_DISCONNECTED || hr == HRESULT_FROM_WIN32(RPC_S_UNKNOWN_IF))
        << "0x" << std::hex << hr;
}

TEST(HostSide, SetCategoriesKeepsTheObjectsOfNamesThatStay) {
  SimOptions options;
  options.categories = {{L"Stała", 1}, {L"Znika", 2}};
  OutlookSimHost host(options);
  host.RunOnUiThread([&] {
    auto categories = Walk(host.Application().Get(), {L"Session", L"Categories"});
    auto staying = Call(categories.Get(), L"Item", L"Stała").Object();
    auto leaving = Call(categories.Get(), L"Item", L"Znika").Object();
    // The host's own side is no Outlook call.
    const long calls = host.TotalCalls();
    host.SetCategories({{L"Nowa", 3}, {L"STAŁA", 7}});
    EXPECT_EQ(host.TotalCalls(), calls);
    EXPECT_EQ(Get(staying.Get(), L"Name").Text(), L"STAŁA");
    EXPECT_EQ(Get(staying.Get(), L"Color").Number(), 7);
    EXPECT_EQ(Get(leaving.Get(), L"Name").scode, MAPI_E_NOT_FOUND);
    EXPECT_EQ(Get(categories.Get(), L"Count").Number(), 2);
  });
  EXPECT_EQ(host.Categories(), (std::vector<SimCategory>{{L"Nowa", 3}, {L"STAŁA", 7}}));
}

TEST(HostSide, SetCategoriesRefusesTwoNamesOutlookTakesAsOne) {
  OutlookSimHost host;
  EXPECT_THROW(host.SetCategories({{L"Ąlbum", 1}, {L"ąLBUM", 2}}), std::invalid_argument);
}

// Before Outlook 12 the master list is a registry value and NameSpace has no Categories.
TEST(OlderOutlook, KeepsTheMasterListInTheRegistry) {
  for (int major : {8, 9, 10, 11}) {
    SCOPED_TRACE(major);
    RegistrySandbox registry(HKEY_CURRENT_USER);
    SimOptions options;
    options.version = std::to_wstring(major) + L".0.0.0";
    options.categories = {{L"Klient A", 8}, {L"Żółć", 3}};
    OutlookSimHost host(options);
    EXPECT_EQ(host.OutlookMajor(), major);
    EXPECT_EQ(host.Categories(), (std::vector<SimCategory>{{L"Klient A", 0}, {L"Żółć", 0}}));
    const std::string key = "Software\\Microsoft\\Office\\" + std::to_string(major) + ".0\\Outlook\\Categories";
    DWORD type = 0;
    EXPECT_EQ(::RegGetValueA(HKEY_CURRENT_USER, key.c_str(), major == 8 ? nullptr : "MasterList",
                             RRF_RT_ANY, &type, nullptr, nullptr),
              ERROR_SUCCESS);
    WithApplication(host, Apartment::Mta, [](IDispatch* application) {
      auto session = Walk(application, {L"Session"});
      DISPID id = 0;
      EXPECT_EQ(DispIdOf(session.Get(), L"Categories", &id), DISP_E_UNKNOWNNAME);
      EXPECT_EQ(Get(session.Get(), L"MAPIOBJECT").hr, S_OK);
    });
  }
}

TEST(OlderOutlook, StartsWithWhatTheRegistryHolds) {
  RegistrySandbox registry(HKEY_CURRENT_USER);
  WriteRegistryString(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\9.0\\Outlook\\Categories",
                      "MasterList", " A ;;B ");
  SimOptions options;
  options.version = L"9.0.0.2711";
  OutlookSimHost host(options);
  EXPECT_EQ(host.Categories(), (std::vector<SimCategory>{{L"A", 0}, {L"B", 0}}));
}

}  // namespace
