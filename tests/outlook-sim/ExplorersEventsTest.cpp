// The explorers collection's events (NewExplorer), Outlook's start-up without an active
// explorer, and the type library that describes the events for a sink.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ExplorerEventsFixture.h"

using Microsoft::WRL::ComPtr;
using OutlookSim::EventResults;
using OutlookSim::OutlookSimHost;
using OutlookSim::SimOptions;

namespace {

TEST(ExplorersEvents, NewExplorerGivesTheNewExplorerWhichBecomesActive) {
  OutlookSimHost host;
  const HWND first = host.ExplorerWindow();
  auto explorersSink = NewSink(kExplorersEvents), firstSink = NewSink(kExplorerEvents);
  auto newSink = NewSink(kExplorerEvents);
  host.RunOnUiThread([&] {
    DWORD cookie = 0;
    ASSERT_EQ(AdviseSink(Walk(host.Application().Get(), {L"Explorers"}).Get(), kExplorersEvents,
                         explorersSink.Get(), &cookie),
              S_OK);
    ASSERT_EQ(AdviseSink(ActiveExplorer(host).Get(), kExplorerEvents, firstSink.Get(), &cookie), S_OK);
  });
  EXPECT_EQ(host.ExplorersConnections(), 1);
  // A handler that follows the new explorer, as an add-in does: it is active right after.
  explorersSink->OnEvent([&](DISPID) {
    auto explorers = Walk(host.Application().Get(), {L"Explorers"});
    auto newest = Call(explorers.Get(), L"Item", Get(explorers.Get(), L"Count").Number()).Object();
    DWORD cookie = 0;
    EXPECT_EQ(AdviseSink(newest.Get(), kExplorerEvents, newSink.Get(), &cookie), S_OK);
  });
  EventResults delivered;
  const HWND second = host.OpenExplorer(&delivered);
  EXPECT_EQ(delivered, EventResults{S_OK});
  ASSERT_TRUE(::IsWindow(second));
  EXPECT_TRUE(::IsWindowVisible(second));
  const auto heard = explorersSink->Heard();
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].id, kNewExplorer);
  EXPECT_EQ(heard[0].arguments, std::vector<std::wstring>{WindowArgument(second)});
  EXPECT_EQ(host.ExplorerWindows(), (std::vector<HWND>{first, second}));
  EXPECT_EQ(host.ActiveExplorerWindow(), second);
  EXPECT_EQ(firstSink->HeardIds(), std::vector<DISPID>{kDeactivate});
  EXPECT_EQ(newSink->HeardIds(), std::vector<DISPID>{kActivate});
  EXPECT_EQ(host.ExplorerConnections(second), 1);
  host.RunOnUiThread([&] {
    ComPtr<IOleWindow> window;
    ASSERT_EQ(ActiveExplorer(host).As(&window), S_OK);
    HWND frame = nullptr;
    window->GetWindow(&frame);
    EXPECT_EQ(frame, second);
  });
  // Activating the first again moves Deactivate and Activate the other way.
  host.ActivateExplorer(first);
  EXPECT_EQ(firstSink->HeardIds(), (std::vector<DISPID>{kDeactivate, kActivate}));
  EXPECT_EQ(newSink->HeardIds(), (std::vector<DISPID>{kActivate, kDeactivate}));
}

// Outlook started without a window: the add-in follows the collection, and a sink of
// another apartment hears the first explorer arrive.
TEST(ExplorersEvents, WithoutAWindowTheFirstExplorerArrivesByNewExplorer) {
  for (Apartment apartment : {Apartment::Sta, Apartment::Mta}) {
    SCOPED_TRACE(testing::PrintToString(apartment));
    SimOptions options;
    options.explorer = false;
    OutlookSimHost host(options);
    auto sink = NewSink(kExplorersEvents);
    HWND opened = nullptr;
    DWORD worker = 0;
    WithSinkOnWorker(host, apartment, kExplorersEvents, sink.Get(), [&] {
      EXPECT_EQ(host.ExplorersConnections(), 1);
      EventResults delivered;
      opened = host.OpenExplorer(&delivered);
      EXPECT_EQ(delivered, EventResults{S_OK});
    }, &worker);
    const auto heard = sink->Heard();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].id, kNewExplorer);
    EXPECT_EQ(heard[0].arguments, std::vector<std::wstring>{WindowArgument(opened)});
    EXPECT_EQ(host.ActiveExplorerWindow(), opened);
    EXPECT_EQ(host.ExplorersConnections(), 0);
    EXPECT_FALSE(host.WaitForExplorersClosed(0));
  }
}

// Outlook at some start-ups: an explorer in Explorers, yet no active one.
TEST(ActiveExplorerNull, ExplorersHoldsOneWhileActiveExplorerAnswersNull) {
  SimOptions options;
  options.activeExplorerNull = true;
  OutlookSimHost host(options);
  const HWND window = host.ExplorerWindow();
  ASSERT_TRUE(window);
  EXPECT_EQ(host.ActiveExplorerWindow(), nullptr);
  for (Apartment apartment : {Apartment::UiThread, Apartment::Mta}) {
    WithApplication(host, apartment, [&](IDispatch* application) {
      const DispatchResult active = Call(application, L"ActiveExplorer");
      EXPECT_EQ(active.hr, S_OK);
      EXPECT_FALSE(active.Object());
      auto explorers = Walk(application, {L"Explorers"});
      EXPECT_EQ(Get(explorers.Get(), L"Count").Number(), 1);
      ComPtr<IOleWindow> first;
      ASSERT_EQ(Call(explorers.Get(), L"Item", 1).Object().As(&first), S_OK);
      HWND frame = nullptr;
      first->GetWindow(&frame);
      EXPECT_EQ(frame, window);
    });
  }
  // Once Outlook activates it, it is the active explorer (and nothing was deactivated).
  auto sink = NewSink(kExplorerEvents);
  host.RunOnUiThread([&] {
    DWORD cookie = 0;
    auto explorer = Call(Walk(host.Application().Get(), {L"Explorers"}).Get(), L"Item", 1).Object();
    ASSERT_EQ(AdviseSink(explorer.Get(), kExplorerEvents, sink.Get(), &cookie), S_OK);
  });
  host.ActivateExplorer(window);
  EXPECT_EQ(sink->HeardIds(), std::vector<DISPID>{kActivate});
  EXPECT_EQ(host.ActiveExplorerWindow(), window);
  host.RunOnUiThread([&] { EXPECT_TRUE(ActiveExplorer(host)); });
}

TEST(HostSide, ExplorerCallsRefuseAWindowThatIsNoExplorer) {
  OutlookSimHost host;
  const HWND desktop = ::GetDesktopWindow();
  EXPECT_THROW(host.ActivateExplorer(desktop), std::invalid_argument);
  EXPECT_THROW(host.ChangeSelection(nullptr), std::invalid_argument);
  EXPECT_THROW(host.CloseExplorer(desktop), std::invalid_argument);
  EXPECT_THROW(host.ExplorerConnections(desktop), std::invalid_argument);
  EXPECT_EQ(host.ExplorerWindows().size(), 1u);
}

// An add-in's dispatch-event sink finds the events' parameter types in Outlook's
// registered type library, by its LIBID.
TEST(TypeLibrary, DescribesTheEventsAndTheirSources) {
  OutlookSimHost host;
  ComPtr<ITypeLib> library;
  ASSERT_EQ(::LoadRegTypeLib(kOutlookLibrary, 9, 6, LOCALE_NEUTRAL, &library), S_OK);
  const struct {
    const IID* events;
    MEMBERID id;
    const wchar_t* name;
    std::vector<VARTYPE> parameters;
  } cases[] = {
      {&kExplorerEvents, kActivate, L"Activate", {}},
      {&kExplorerEvents, kFolderSwitch, L"FolderSwitch", {}},
      {&kExplorerEvents, kBeforeFolderSwitch, L"BeforeFolderSwitch", {VT_DISPATCH, VT_PTR}},
      {&kExplorerEvents, kViewSwitch, L"ViewSwitch", {}},
      {&kExplorerEvents, kBeforeViewSwitch, L"BeforeViewSwitch", {VT_VARIANT, VT_PTR}},
      {&kExplorerEvents, kDeactivate, L"Deactivate", {}},
      {&kExplorerEvents, kSelectionChange, L"SelectionChange", {}},
      {&kExplorerEvents, kClose, L"Close", {}},
      {&kExplorersEvents, kNewExplorer, L"NewExplorer", {VT_PTR}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.id);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(library->GetTypeInfoOfGuid(*c.events, &info), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
    UINT index = 0;
    bool found = false;
    for (; index < attributes->cFuncs && !found; ++index) {
      FUNCDESC* function = nullptr;
      ASSERT_EQ(info->GetFuncDesc(index, &function), S_OK);
      if (function->memid == c.id) {
        found = true;
        Qv::UniqueBstr name;
        info->GetDocumentation(function->memid, name.Receive(), nullptr, nullptr, nullptr);
        EXPECT_STREQ(name.Get(), c.name);
        std::vector<VARTYPE> parameters;
        for (SHORT p = 0; p < function->cParams; ++p) parameters.push_back(function->lprgelemdescParam[p].tdesc.vt);
        EXPECT_EQ(parameters, c.parameters);
        // Cancel is VARIANT_BOOL by reference, in and out.
        if (c.parameters.size() == 2) {
          EXPECT_EQ(function->lprgelemdescParam[1].tdesc.lptdesc->vt, VT_BOOL);
          EXPECT_EQ(function->lprgelemdescParam[1].paramdesc.wParamFlags & (PARAMFLAG_FIN | PARAMFLAG_FOUT),
                    PARAMFLAG_FIN | PARAMFLAG_FOUT);
        }
      }
      info->ReleaseFuncDesc(function);
    }
    info->ReleaseTypeAttr(attributes);
    EXPECT_TRUE(found);
  }
  // Explorer and Explorers name them as their default sources.
  const struct {
    const wchar_t* coclass;
    const IID* events;
  } sources[] = {{L"Explorer", &kExplorerEvents}, {L"Explorers", &kExplorersEvents}};
  for (const auto& s : sources) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(s.coclass)));
    ComPtr<ITypeInfo> coclass;
    for (UINT i = 0; i < library->GetTypeInfoCount() && !coclass; ++i) {
      TYPEKIND kind = TKIND_MAX;
      Qv::UniqueBstr name;
      if (SUCCEEDED(library->GetTypeInfoType(i, &kind)) && kind == TKIND_COCLASS &&
          SUCCEEDED(library->GetDocumentation(static_cast<INT>(i), name.Receive(), nullptr, nullptr, nullptr)) &&
          std::wstring(name.Get()) == s.coclass)
        library->GetTypeInfo(i, &coclass);
    }
    ASSERT_TRUE(coclass);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(coclass->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
    bool source = false;
    for (UINT i = 0; i < attributes->cImplTypes; ++i) {
      INT flags = 0;
      HREFTYPE reference = 0;
      ComPtr<ITypeInfo> implemented;
      TYPEATTR* implementedAttributes = nullptr;
      if (FAILED(coclass->GetImplTypeFlags(i, &flags)) || FAILED(coclass->GetRefTypeOfImplType(i, &reference)) ||
          FAILED(coclass->GetRefTypeInfo(reference, &implemented)) ||
          FAILED(implemented->GetTypeAttr(&implementedAttributes)))
        continue;
      if ((flags & (IMPLTYPEFLAG_FSOURCE | IMPLTYPEFLAG_FDEFAULT)) == (IMPLTYPEFLAG_FSOURCE | IMPLTYPEFLAG_FDEFAULT))
        source = ::IsEqualIID(implementedAttributes->guid, *s.events);
      implemented->ReleaseTypeAttr(implementedAttributes);
    }
    coclass->ReleaseTypeAttr(attributes);
    EXPECT_TRUE(source);
  }
}

}  // namespace
