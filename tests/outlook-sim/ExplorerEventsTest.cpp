// An explorer's events as an add-in receives them: the connection point on Explorer
// (ExplorerEvents), events by IDispatch::Invoke with Outlook's DISPIDs on the UI thread,
// sinks in other apartments, Unadvise, Close and the host's connection counts.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ExplorerEventsFixture.h"

using Microsoft::WRL::ComPtr;
using OutlookSim::EventResults;
using OutlookSim::OutlookSimHost;
using OutlookSim::SimOptions;

namespace {

TEST(ExplorerEvents, ASinkHearsEachEventByItsDispidOnTheUiThread) {
  OutlookSimHost host;
  const HWND window = host.ExplorerWindow();
  auto sink = NewSink(kExplorerEvents);
  host.RunOnUiThread([&] {
    DWORD cookie = 0;
    ASSERT_EQ(AdviseSink(ActiveExplorer(host).Get(), kExplorerEvents, sink.Get(), &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
  });
  const long calls = host.TotalCalls();
  EXPECT_EQ(host.ActivateExplorer(window), EventResults{S_OK});
  EXPECT_EQ(host.ChangeSelection(window), EventResults{S_OK});
  EXPECT_FALSE(host.SwitchFolder(window));
  EXPECT_FALSE(host.SwitchView(window, L"Wiadomości"));
  // Firing events is Outlook's own doing, no call into its object model.
  EXPECT_EQ(host.TotalCalls(), calls);

  const std::vector<HeardEvent> heard = sink->Heard();
  const struct {
    DISPID id;
    std::vector<std::wstring> arguments;
  } expected[] = {{kActivate, {}},
                  {kSelectionChange, {}},
                  {kBeforeFolderSwitch, {L"null", L"cancel:0"}},
                  {kFolderSwitch, {}},
                  {kBeforeViewSwitch, {L"text:Wiadomości", L"cancel:0"}},
                  {kViewSwitch, {}}};
  ASSERT_EQ(heard.size(), std::size(expected));
  for (size_t i = 0; i < heard.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(heard[i].id, expected[i].id);
    EXPECT_EQ(heard[i].arguments, expected[i].arguments);
    EXPECT_EQ(heard[i].thread, host.UiThreadId());
  }
}

// A sink in the add-in's worker apartment is called through COM, arguments and all:
// a Cancel it sets comes back and stops the switch.
TEST(ExplorerEvents, ASinkOfAnotherApartmentHearsEventsAndCancels) {
  for (Apartment apartment : {Apartment::Sta, Apartment::Mta}) {
    SCOPED_TRACE(testing::PrintToString(apartment));
    OutlookSimHost host;
    const HWND window = host.ExplorerWindow();
    auto sink = NewSink(kExplorerEvents);
    sink->CancelEverything();
    DWORD worker = 0;
    bool folderCancelled = false, viewCancelled = false;
    EventResults selection;
    WithSinkOnWorker(host, apartment, kExplorerEvents, sink.Get(), [&] {
      EXPECT_EQ(host.ExplorerConnections(window), 1);
      selection = host.ChangeSelection(window);
      folderCancelled = host.SwitchFolder(window);
      viewCancelled = host.SwitchView(window, L"Compact");
    }, &worker);
    EXPECT_EQ(selection, EventResults{S_OK});
    EXPECT_TRUE(folderCancelled);
    EXPECT_TRUE(viewCancelled);
    EXPECT_EQ(sink->HeardIds(), (std::vector<DISPID>{kSelectionChange, kBeforeFolderSwitch, kBeforeViewSwitch}));
    const auto heard = sink->Heard();
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[2].arguments, (std::vector<std::wstring>{L"text:Compact", L"cancel:0"}));
    for (const HeardEvent& event : heard) EXPECT_NE(event.thread, host.UiThreadId());
    if (apartment == Apartment::Sta) {
      EXPECT_EQ(heard[0].thread, worker);
    }
    EXPECT_EQ(host.ExplorerConnections(window), 0);
    EXPECT_EQ(sink->OtherReferences(), 0u);
  }
}

TEST(ExplorerEvents, AdviseTakesTheEventInterfaceOrIDispatchAndNothingElse) {
  OutlookSimHost host;
  const struct {
    SinkAnswers answers;
    HRESULT advise;
  } cases[] = {{SinkAnswers::EventInterface, S_OK},
               {SinkAnswers::EventInterfaceOnly, S_OK},
               {SinkAnswers::DispatchOnly, S_OK},
               {SinkAnswers::Nothing, CONNECT_E_CANNOTCONNECT}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.answers));
    auto sink = NewSink(kExplorerEvents, c.answers);
    DWORD cookie = 0;
    ComPtr<IConnectionPoint> point;
    host.RunOnUiThread([&] { EXPECT_EQ(AdviseSink(ActiveExplorer(host).Get(), kExplorerEvents, sink.Get(), &cookie, &point), c.advise); });
    EXPECT_EQ(host.ChangeSelection(host.ExplorerWindow()).size(), c.advise == S_OK ? 1u : 0u);
    EXPECT_EQ(sink->HeardIds().size(), c.advise == S_OK ? 1u : 0u);
    host.RunOnUiThread([&] {
      EXPECT_EQ(point->Unadvise(cookie), c.advise == S_OK ? S_OK : CONNECT_E_NOCONNECTION);
      point.Reset();
    });
  }
}

TEST(ExplorerEvents, UnadviseEndsTheEventsAndKnowsOnlyLiveCookies) {
  OutlookSimHost host;
  const HWND window = host.ExplorerWindow();
  auto first = NewSink(kExplorerEvents), second = NewSink(kExplorerEvents);
  host.RunOnUiThread([&] {
    DWORD one = 0, two = 0;
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(AdviseSink(ActiveExplorer(host).Get(), kExplorerEvents, first.Get(), &one, &point), S_OK);
    // Reached through Explorers.Item, another connection point: the same connections.
    auto same = Call(Walk(host.Application().Get(), {L"Explorers"}).Get(), L"Item", 1).Object();
    ASSERT_EQ(AdviseSink(same.Get(), kExplorerEvents, second.Get(), &two), S_OK);
    EXPECT_NE(one, two);
    EXPECT_EQ(host.ExplorerConnections(window), 2);
    EXPECT_EQ(point->Unadvise(one), S_OK);
    EXPECT_EQ(point->Unadvise(one), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(two + 100), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(host.ExplorerConnections(window), 1);
    // Released by Outlook at Unadvise.
    EXPECT_EQ(first->OtherReferences(), 0u);
  });
  EXPECT_EQ(host.ChangeSelection(window), EventResults{S_OK});
  EXPECT_TRUE(first->Heard().empty());
  EXPECT_EQ(second->HeardIds(), std::vector<DISPID>{kSelectionChange});
}

TEST(ExplorerEvents, ConnectionPointsAreReachableOnlyFromTheUiThreadOrThroughCom) {
  OutlookSimHost host;
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
  auto sink = NewSink(kExplorerEvents);
  host.RunOnUiThread([&] {
    ASSERT_EQ(ActiveExplorer(host).As(&container), S_OK);
    ASSERT_EQ(container->FindConnectionPoint(kExplorerEvents, &point), S_OK);
    ASSERT_EQ(point->Advise(sink.Get(), &cookie), S_OK);
  });
  const long refusedBefore = host.WrongThreadCalls();
  OnWorker(Apartment::Mta, [&] {
    ComPtr<IConnectionPoint> other;
    EXPECT_EQ(container->FindConnectionPoint(kExplorerEvents, &other), RPC_E_WRONG_THREAD);
    DWORD another = 0;
    EXPECT_EQ(point->Advise(sink.Get(), &another), RPC_E_WRONG_THREAD);
    EXPECT_EQ(point->Unadvise(cookie), RPC_E_WRONG_THREAD);
    ComPtr<IEnumConnections> connections;
    EXPECT_EQ(point->EnumConnections(&connections), RPC_E_WRONG_THREAD);
  });
  EXPECT_EQ(host.WrongThreadCalls(), refusedBefore + 4);
  EXPECT_EQ(host.ExplorerConnections(host.ExplorerWindow()), 1);
  host.RunOnUiThread([&] {
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    point.Reset();
    container.Reset();
  });
  EXPECT_EQ(host.CallCount("ExplorerEvents.Advise"), 1);
  EXPECT_EQ(host.CallCount("ExplorerEvents.Unadvise"), 1);
}

// On the UI thread: Wine 8's marshaled IEnumConnections::Next loses the count it fetched.
TEST(ExplorerEvents, TheContainerAndItsEnumeratorsDescribeTheConnections) {
  OutlookSimHost host;
  auto first = NewSink(kExplorerEvents), second = NewSink(kExplorerEvents, SinkAnswers::DispatchOnly);
  WithApplication(host, Apartment::UiThread, [&](IDispatch* application) {
    auto explorer = Walk(application, {L"ActiveExplorer"});
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(explorer.As(&container), S_OK);
    ComPtr<IConnectionPoint> wrong;
    EXPECT_EQ(container->FindConnectionPoint(kExplorersEvents, &wrong), CONNECT_E_NOCONNECTION);
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(&points), S_OK);
    IConnectionPoint* found[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(2, found, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    ComPtr<IConnectionPoint> point = Qv::AdoptReference(found[0]);
    IID iid = IID_NULL;
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(::IsEqualIID(iid, kExplorerEvents));
    ComPtr<IConnectionPointContainer> back;
    EXPECT_EQ(point->GetConnectionPointContainer(&back), S_OK);
    EXPECT_EQ(IdentityOf(back.Get()), IdentityOf(explorer.Get()));

    DWORD one = 0, two = 0;
    ASSERT_EQ(point->Advise(first.Get(), &one), S_OK);
    ASSERT_EQ(point->Advise(second.Get(), &two), S_OK);
    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(&connections), S_OK);
    CONNECTDATA data[3] = {};
    EXPECT_EQ(connections->Next(3, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(data[0].dwCookie, one);
    EXPECT_EQ(data[1].dwCookie, two);
    EXPECT_EQ(IdentityOf(data[0].pUnk), IdentityOf(first.Get()));
    EXPECT_EQ(IdentityOf(data[1].pUnk), IdentityOf(second.Get()));
    for (CONNECTDATA& entry : data)
      if (entry.pUnk) entry.pUnk->Release();
    EXPECT_EQ(connections->Reset(), S_OK);
    EXPECT_EQ(connections->Skip(1), S_OK);
    ComPtr<IEnumConnections> clone;
    ASSERT_EQ(connections->Clone(&clone), S_OK);
    CONNECTDATA next = {};
    EXPECT_EQ(clone->Next(1, &next, nullptr), S_OK);
    EXPECT_EQ(next.dwCookie, two);
    if (next.pUnk) next.pUnk->Release();
    EXPECT_EQ(clone->Skip(1), S_FALSE);
    EXPECT_EQ(point->Unadvise(one), S_OK);
    EXPECT_EQ(point->Unadvise(two), S_OK);
  });
  EXPECT_EQ(host.LiveObjects(), 0);
}

TEST(ExplorerEvents, CloseComesFirstThenTheExplorerLeavesAndItsSinksAreReleased) {
  OutlookSimHost host;
  const HWND first = host.ExplorerWindow();
  const HWND second = host.OpenExplorer();
  auto sink = NewSink(kExplorerEvents);
  auto selfUnadvising = NewSink(kExplorerEvents);
  long countDuringClose = -1;
  HRESULT unadviseDuringClose = E_FAIL;
  ComPtr<IConnectionPoint> point;
  DWORD selfCookie = 0;
  host.RunOnUiThread([&] {
    auto explorer = Call(Walk(host.Application().Get(), {L"Explorers"}).Get(), L"Item", 2).Object();
    DWORD cookie = 0;
    ASSERT_EQ(AdviseSink(explorer.Get(), kExplorerEvents, sink.Get(), &cookie), S_OK);
    ASSERT_EQ(AdviseSink(explorer.Get(), kExplorerEvents, selfUnadvising.Get(), &selfCookie, &point), S_OK);
  });
  sink->OnEvent([&](DISPID id) {
    if (id == kClose) countDuringClose = Get(Walk(host.Application().Get(), {L"Explorers"}).Get(), L"Count").Number();
  });
  // What the add-in does when its explorer closes: unsubscribe from inside the event.
  selfUnadvising->OnEvent([&](DISPID id) {
    if (id == kClose) unadviseDuringClose = point->Unadvise(selfCookie);
  });
  EXPECT_EQ(host.ActiveExplorerWindow(), second);
  EXPECT_EQ(host.CloseExplorer(second), (EventResults{S_OK, S_OK}));
  EXPECT_EQ(sink->HeardIds(), std::vector<DISPID>{kClose});
  EXPECT_EQ(countDuringClose, 2);
  EXPECT_EQ(unadviseDuringClose, S_OK);
  EXPECT_FALSE(::IsWindow(second));
  EXPECT_EQ(host.ExplorerWindows(), std::vector<HWND>{first});
  EXPECT_EQ(host.ActiveExplorerWindow(), first);
  EXPECT_THROW(host.ExplorerConnections(second), std::invalid_argument);
  EXPECT_EQ(sink->OtherReferences(), 0u);
  host.RunOnUiThread([&] {
    EXPECT_EQ(Get(Walk(host.Application().Get(), {L"Explorers"}).Get(), L"Count").Number(), 1);
    point.Reset();
  });
  // The last one: ActiveExplorer answers null, and the host knows they are all closed.
  host.CloseExplorer(first);
  EXPECT_EQ(host.ActiveExplorerWindow(), nullptr);
  EXPECT_TRUE(host.WaitForExplorersClosed(0));
  host.RunOnUiThread([&] { EXPECT_FALSE(ActiveExplorer(host)); });
}

// The user closes the window: the same road, Close first.
TEST(ExplorerEvents, ClosingTheWindowDeliversClose) {
  OutlookSimHost host;
  auto sink = NewSink(kExplorerEvents);
  host.RunOnUiThread([&] {
    DWORD cookie = 0;
    ASSERT_EQ(AdviseSink(ActiveExplorer(host).Get(), kExplorerEvents, sink.Get(), &cookie), S_OK);
  });
  ::PostMessageW(host.ExplorerWindow(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(host.WaitForExplorersClosed(10000));
  EXPECT_EQ(sink->HeardIds(), std::vector<DISPID>{kClose});
  EXPECT_EQ(sink->OtherReferences(), 0u);
}

TEST(ExplorerEvents, OutlookShuttingDownClosesItsExplorersAndLetsEverySinkGo) {
  auto explorerSink = NewSink(kExplorerEvents), explorersSink = NewSink(kExplorersEvents);
  {
    OutlookSimHost host;
    host.RunOnUiThread([&] {
      DWORD cookie = 0;
      ASSERT_EQ(AdviseSink(ActiveExplorer(host).Get(), kExplorerEvents, explorerSink.Get(), &cookie), S_OK);
      ASSERT_EQ(AdviseSink(Walk(host.Application().Get(), {L"Explorers"}).Get(), kExplorersEvents,
                           explorersSink.Get(), &cookie),
                S_OK);
    });
  }
  EXPECT_EQ(explorerSink->HeardIds(), std::vector<DISPID>{kClose});
  EXPECT_EQ(explorerSink->OtherReferences(), 0u);
  EXPECT_EQ(explorersSink->OtherReferences(), 0u);
}

// A sink that fails, or whose apartment is gone, does not keep the others from hearing.
TEST(ExplorerEvents, AFailingSinkDoesNotStopTheOthers) {
  OutlookSimHost host;
  const HWND window = host.ExplorerWindow();
  auto failing = NewSink(kExplorerEvents), listening = NewSink(kExplorerEvents);
  failing->FailWith(E_ACCESSDENIED);
  // Advised from an apartment that ends without unadvising.
  OnWorker(Apartment::Sta, [&] {
    auto orphan = NewSink(kExplorerEvents);
    DWORD cookie = 0;
    EXPECT_EQ(AdviseSink(ActiveExplorer(host).Get(), kExplorerEvents, orphan.Get(), &cookie), S_OK);
  });
  host.RunOnUiThread([&] {
    DWORD cookie = 0;
    ASSERT_EQ(AdviseSink(ActiveExplorer(host).Get(), kExplorerEvents, failing.Get(), &cookie), S_OK);
    ASSERT_EQ(AdviseSink(ActiveExplorer(host).Get(), kExplorerEvents, listening.Get(), &cookie), S_OK);
  });
  const EventResults results = host.ChangeSelection(window);
  ASSERT_EQ(results.size(), 3u);
  EXPECT_TRUE(FAILED(results[0])) << std::hex << results[0];
  EXPECT_EQ(results[1], E_ACCESSDENIED);
  EXPECT_EQ(results[2], S_OK);
  EXPECT_EQ(listening->HeardIds(), std::vector<DISPID>{kSelectionChange});
}

}  // namespace
