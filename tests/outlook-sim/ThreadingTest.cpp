// Outlook's threading rule and what the host measures: direct calls from another thread
// are refused, marshaled ones are served on the UI thread; calls are counted, Add and
// Remove journaled, the loop's longest stall measured; error information reaches callers.
#include <gtest/gtest.h>

#include <mapix.h>

#include <chrono>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "OutlookSim.h"
#include "SimFixture.h"
#include "qv/ComObject.h"
#include "qv/Handles.h"

using Microsoft::WRL::ComPtr;
using OutlookSim::OutlookSimHost;
using OutlookSim::SimCategory;
using OutlookSim::SimOptions;

namespace {

using OutlookSim::kIidMapiSession;

SimOptions ThreeCategories() {
  SimOptions options;
  options.categories = {{L"Klient A", 8}, {L"Faktury", 3}, {L"Pilne", 1}};
  return options;
}

Qv::ScopedVariant Text(const wchar_t* text) { return Qv::ScopedVariant(text); }

// One of each object, taken on the UI thread: the pointers a careless add-in might
// hand to its worker thread.
struct UiObjects {
  ComPtr<IDispatch> dispatch;
  ComPtr<_Application> application;
  ComPtr<_Explorers> explorers;
  ComPtr<_Explorer> explorer;
  ComPtr<IOleWindow> window;
  ComPtr<_NameSpace> nameSpace;
  ComPtr<_Categories> categories;
  ComPtr<_Category> category;
  ComPtr<ISupportErrorInfo> errorInfo;
  ComPtr<IMAPISession> session;
};

UiObjects TakeOnUiThread(const OutlookSimHost& host) {
  UiObjects objects;
  host.RunOnUiThread([&] {
    objects.dispatch = host.Application();
    objects.dispatch.As(&objects.application);
    objects.application->get_Explorers(&objects.explorers);
    objects.application->ActiveExplorer(&objects.explorer);
    objects.explorer.As(&objects.window);
    objects.application->get_Session(&objects.nameSpace);
    objects.nameSpace->get_Categories(&objects.categories);
    objects.categories.As(&objects.errorInfo);
    Qv::ScopedVariant first = Qv::ScopedVariant::Long(1);
    objects.categories->Item(*first, &objects.category);
    ComPtr<IUnknown> mapi;
    objects.nameSpace->get_MAPIOBJECT(&mapi);
    mapi->QueryInterface(kIidMapiSession, reinterpret_cast<void**>(objects.session.GetAddressOf()));
  });
  return objects;
}

struct DirectCall {
  const char* member;
  HRESULT (*call)(UiObjects&);
};

const DirectCall kDirectCalls[] = {
    {"IDispatch::GetTypeInfoCount", [](UiObjects& o) { UINT n; return o.dispatch->GetTypeInfoCount(&n); }},
    {"IDispatch::GetIDsOfNames", [](UiObjects& o) { DISPID id; return DispIdOf(o.dispatch.Get(), L"Version", &id); }},
    {"IDispatch::Invoke", [](UiObjects& o) { return InvokeById(o.dispatch.Get(), 0x2004, DISPATCH_PROPERTYGET, {}).hr; }},
    {"_Application::get_Version", [](UiObjects& o) { BSTR v = nullptr; return o.application->get_Version(&v); }},
    {"_Application::get_Explorers", [](UiObjects& o) { ComPtr<_Explorers> e; return o.application->get_Explorers(&e); }},
    {"_Application::ActiveExplorer", [](UiObjects& o) { ComPtr<_Explorer> e; return o.application->ActiveExplorer(&e); }},
    {"_Application::get_Session", [](UiObjects& o) { ComPtr<_NameSpace> n; return o.application->get_Session(&n); }},
    {"_Application::GetNamespace", [](UiObjects& o) { ComPtr<_NameSpace> n; Qv::UniqueBstr mapi(::SysAllocString(L"MAPI")); return o.application->GetNamespace(mapi.Get(), &n); }},
    {"_Explorers::get_Count", [](UiObjects& o) { LONG n; return o.explorers->get_Count(&n); }},
    {"_Explorers::Item", [](UiObjects& o) { ComPtr<_Explorer> e; return o.explorers->Item(*Qv::ScopedVariant::Long(1), &e); }},
    {"_Explorer::get_Application", [](UiObjects& o) { ComPtr<_Application> a; return o.explorer->get_Application(&a); }},
    {"IOleWindow::GetWindow", [](UiObjects& o) { HWND w; return o.window->GetWindow(&w); }},
    {"_NameSpace::get_MAPIOBJECT", [](UiObjects& o) { ComPtr<IUnknown> m; return o.nameSpace->get_MAPIOBJECT(&m); }},
    {"_NameSpace::get_Categories", [](UiObjects& o) { ComPtr<_Categories> c; return o.nameSpace->get_Categories(&c); }},
    {"_Categories::get_Count", [](UiObjects& o) { LONG n; return o.categories->get_Count(&n); }},
    {"_Categories::Item", [](UiObjects& o) { ComPtr<_Category> c; return o.categories->Item(*Text(L"Pilne"), &c); }},
    {"_Categories::Add", [](UiObjects& o) { ComPtr<_Category> c; return o.categories->Add(*Text(L"Nowa"), *Qv::ScopedVariant::Long(2), *Qv::ScopedVariant::Missing(), &c); }},
    {"_Categories::Remove", [](UiObjects& o) { return o.categories->Remove(*Text(L"Pilne")); }},
    {"_Category::get_Name", [](UiObjects& o) { BSTR n = nullptr; return o.category->get_Name(&n); }},
    {"_Category::get_Color", [](UiObjects& o) { LONG c; return o.category->get_Color(&c); }},
    {"ISupportErrorInfo::InterfaceSupportsErrorInfo", [](UiObjects& o) { return o.errorInfo->InterfaceSupportsErrorInfo(IID_IDispatch); }},
    {"IMAPISession::Logoff", [](UiObjects& o) { return o.session->Logoff(0, 0, 0); }},
};

TEST(ThreadingRule, DirectCallsFromAnotherThreadAreRefused) {
  OutlookSimHost host(ThreeCategories());
  UiObjects objects = TakeOnUiThread(host);
  host.ResetCounts();
  OnWorker(Apartment::Mta, [&] {
    for (const DirectCall& c : kDirectCalls) EXPECT_EQ(c.call(objects), RPC_E_WRONG_THREAD) << c.member;
    // IUnknown is exempt: references may be taken and dropped anywhere.
    ComPtr<IDispatch> again;
    EXPECT_EQ(objects.categories.As(&again), S_OK);
  });
  EXPECT_EQ(host.WrongThreadCalls(), static_cast<long>(std::size(kDirectCalls)));
  EXPECT_EQ(host.TotalCalls(), 0);
  EXPECT_EQ(host.Categories().size(), 3u);
}

TEST(ThreadingRule, ARefusedCallLeavesNoErrorInformation) {
  OutlookSimHost host(ThreeCategories());
  UiObjects objects = TakeOnUiThread(host);
  OnWorker(Apartment::Mta, [&] {
    Qv::ReportComError(E_FAIL, IID_NULL, L"earlier", L"an earlier failure");
    LONG count = 0;
    EXPECT_EQ(objects.categories->get_Count(&count), RPC_E_WRONG_THREAD);
    ComPtr<IErrorInfo> info;
    EXPECT_EQ(::GetErrorInfo(0, &info), S_FALSE);
  });
}

// The typed interfaces of another apartment: proxies made from the registered type
// library, their calls delivered to the UI thread.
class Marshaled : public testing::TestWithParam<Apartment> {
 protected:
  Marshaled() : host_(ThreeCategories()) {}
  OutlookSimHost host_;
};

INSTANTIATE_TEST_SUITE_P(Workers, Marshaled, testing::Values(Apartment::Mta, Apartment::Sta),
                         testing::PrintToStringParamName());

TEST_P(Marshaled, VtableCallsThroughTheGitAreServed) {
  WithApplication(host_, GetParam(), [](IDispatch* application) {
    ComPtr<_Application> typed;
    ASSERT_EQ(ComPtr<IDispatch>(application).As(&typed), S_OK);
    ComPtr<_NameSpace> session;
    ASSERT_EQ(typed->get_Session(&session), S_OK);
    ComPtr<_Categories> categories;
    ASSERT_EQ(session->get_Categories(&categories), S_OK);
    LONG count = 0;
    EXPECT_EQ(categories->get_Count(&count), S_OK);
    EXPECT_EQ(count, 3);
    ComPtr<_Category> added;
    EXPECT_EQ(categories->Add(*Text(L"Nowa"), *Qv::ScopedVariant::Long(6), *Qv::ScopedVariant::Missing(), &added), S_OK);
    Qv::UniqueBstr name;
    ASSERT_EQ(added->get_Name(name.Receive()), S_OK);
    EXPECT_STREQ(name.Get(), L"Nowa");
  });
  EXPECT_EQ(host_.WrongThreadCalls(), 0);
  EXPECT_EQ(host_.CallCount("Categories.Add"), 1);
}

TEST_P(Marshaled, AnInterfaceMarshaledThroughAStreamIsServed) {
  IStream* stream = nullptr;
  host_.RunOnUiThread([&] {
    auto categories = Walk(host_.Application().Get(), {L"Session", L"Categories"});
    ASSERT_EQ(::CoMarshalInterThreadInterfaceInStream(IID_IDispatch, categories.Get(), &stream), S_OK);
  });
  ASSERT_TRUE(stream);
  OnWorker(GetParam(), [&] {
    ComPtr<IDispatch> categories;
    ASSERT_EQ(::CoGetInterfaceAndReleaseStream(stream, IID_PPV_ARGS(&categories)), S_OK);
    EXPECT_EQ(Get(categories.Get(), L"Count").Number(), 3);
    EXPECT_EQ(Call(categories.Get(), L"Remove", L"Faktury").hr, S_OK);
  });
  EXPECT_EQ(host_.Categories().size(), 2u);
}

// A vtable caller learns why a call failed from the thread's error information.
TEST(ErrorInformation, InTheApartmentAVtableCallerReadsIt) {
  OutlookSimHost host(ThreeCategories());
  host.RunOnUiThread([&] {
    UiObjects objects = TakeOnUiThread(host);
    ComPtr<_Category> category;
    EXPECT_EQ(objects.categories->Add(*Text(L"pilne"), *Qv::ScopedVariant::Long(2), *Qv::ScopedVariant::Missing(), &category),
              MAPI_E_COLLISION);
    EXPECT_EQ(objects.errorInfo->InterfaceSupportsErrorInfo(__uuidof(_Categories)), S_OK);
    EXPECT_EQ(objects.errorInfo->InterfaceSupportsErrorInfo(IID_IDispatch), S_OK);
    EXPECT_EQ(objects.errorInfo->InterfaceSupportsErrorInfo(IID_IOleWindow), S_FALSE);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(::GetErrorInfo(0, &info), S_OK);
    Qv::UniqueBstr description, source;
    GUID guid = GUID_NULL;
    info->GetDescription(description.Receive());
    info->GetSource(source.Receive());
    info->GetGUID(&guid);
    EXPECT_STREQ(description.Get(), L"The category already exists.");
    EXPECT_STREQ(source.Get(), L"Microsoft Outlook");
    EXPECT_TRUE(::IsEqualGUID(guid, __uuidof(_Categories)));
  });
}

bool RunningUnderWine() { return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version"); }

TEST_P(Marshaled, AcrossApartmentsAVtableCallerGetsTheFailure) {
  WithApplication(host_, GetParam(), [](IDispatch* application) {
    auto categories = Walk(application, {L"Session", L"Categories"});
    ComPtr<_Categories> typed;
    ASSERT_EQ(categories.As(&typed), S_OK);
    ComPtr<_Category> category;
    EXPECT_EQ(typed->Add(*Text(L"FAKTURY"), *Qv::ScopedVariant::Long(2), *Qv::ScopedVariant::Missing(), &category),
              MAPI_E_COLLISION);
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(typed.As(&support), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(__uuidof(_Categories)), S_OK);
    ComPtr<IErrorInfo> info;
    if (::GetErrorInfo(0, &info) != S_OK && RunningUnderWine())
      GTEST_SKIP() << "Wine 8 does not carry IErrorInfo across apartments (Windows does)";
    ASSERT_TRUE(info);
    Qv::UniqueBstr description;
    info->GetDescription(description.Receive());
    EXPECT_STREQ(description.Get(), L"The category already exists.");
  });
}

// Accounting, from whichever apartment the calls come.
class Accounting : public testing::TestWithParam<Apartment> {
 protected:
  Accounting() : host_(ThreeCategories()) {}
  OutlookSimHost host_;
};

INSTANTIATE_TEST_SUITE_P(Apartments, Accounting,
                         testing::Values(Apartment::UiThread, Apartment::Mta, Apartment::Sta),
                         testing::PrintToStringParamName());

TEST_P(Accounting, EveryCallIsCountedOnceUnderItsMember) {
  WithApplication(host_, GetParam(), [&](IDispatch* application) {
    auto categories = Walk(application, {L"Session", L"Categories"});
    DISPID count = 0, item = 0;
    DispIdOf(categories.Get(), L"Count", &count);
    DispIdOf(categories.Get(), L"Item", &item);
    host_.ResetCounts();
    InvokeById(categories.Get(), count, DISPATCH_PROPERTYGET, {});
    InvokeById(categories.Get(), count, DISPATCH_PROPERTYGET, {});
    std::vector<Qv::ScopedVariant> index;
    index.push_back(Qv::ScopedVariant::Int(1));
    auto category = InvokeById(categories.Get(), item, DISPATCH_METHOD, std::move(index)).Object();
    Get(category.Get(), L"Name");
    // A DISPID nobody has reaches no member: the Invoke itself is counted.
    InvokeById(categories.Get(), 0x7777, DISPATCH_METHOD, {});
  });
  const std::map<std::string, long> expected = {{"Categories.Count", 2},
                                                {"Categories.Item", 1},
                                                {"Categories.Invoke", 1},
                                                {"Category.GetIDsOfNames", 1},
                                                {"Category.Name", 1}};
  EXPECT_EQ(host_.CallCounts(), expected);
  EXPECT_EQ(host_.TotalCalls(), 6);
  host_.ResetCounts();
  EXPECT_TRUE(host_.CallCounts().empty());
  EXPECT_EQ(host_.TotalCalls(), 0);
}

TEST_P(Accounting, TheJournalKeepsAddAndRemoveWithTheirTimes) {
  host_.EnableJournal(true);
  WithApplication(host_, GetParam(), [&](IDispatch* application) {
    auto categories = Walk(application, {L"Session", L"Categories"});
    Call(categories.Get(), L"Add", L"Nowa", 4);
    Call(categories.Get(), L"Add", L"NOWA", 5);
    Call(categories.Get(), L"Remove", L"pilne");
    ::Sleep(60);
    Call(categories.Get(), L"Remove", L"Brak");
    Get(categories.Get(), L"Count");
  });
  // The host's own changes are not Outlook calls.
  host_.SetCategories({});
  const auto journal = host_.Journal();
  ASSERT_EQ(journal.size(), 4u);
  const struct {
    const char* op;
    const wchar_t* name;
    int color;
    HRESULT result;
  } expected[] = {{"Add", L"Nowa", 4, S_OK},
                  {"Add", L"NOWA", 5, MAPI_E_COLLISION},
                  {"Remove", L"Pilne", 1, S_OK},
                  {"Remove", L"Brak", 0, MAPI_E_NOT_FOUND}};
  for (size_t i = 0; i < journal.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(journal[i].op, expected[i].op);
    EXPECT_EQ(journal[i].name, expected[i].name);
    EXPECT_EQ(journal[i].color, expected[i].color);
    EXPECT_EQ(journal[i].result, expected[i].result);
    EXPECT_GE(journal[i].ms, i == 0 ? 0.0 : journal[i - 1].ms);
  }
  EXPECT_GE(journal[3].ms - journal[2].ms, 60.0);

  host_.ClearJournal();
  host_.EnableJournal(false);
  host_.SetCategories({{L"A", 1}});
  WithApplication(host_, GetParam(), [](IDispatch* application) {
    Call(Walk(application, {L"Session", L"Categories"}).Get(), L"Remove", L"A");
  });
  EXPECT_TRUE(host_.Journal().empty());
}

TEST(Journal, CanRecordFromTheStart) {
  SimOptions options = ThreeCategories();
  options.journal = true;
  OutlookSimHost host(options);
  WithApplication(host, Apartment::Mta, [](IDispatch* application) {
    Call(Walk(application, {L"Session", L"Categories"}).Get(), L"Remove", 1);
  });
  ASSERT_EQ(host.Journal().size(), 1u);
  EXPECT_EQ(host.Journal()[0].name, L"Klient A");
}

TEST(Stall, ALongTaskOnTheUiThreadIsTheLongestStall) {
  OutlookSimHost host(ThreeCategories());
  host.RunOnUiThread([] { ::Sleep(120); });
  EXPECT_GE(host.LongestStallMs(), 120.0);
  host.ResetStall();
  WithApplication(host, Apartment::Mta, [](IDispatch* application) {
    for (int i = 0; i < 10; ++i) Get(application, L"Version");
  });
  EXPECT_LT(host.LongestStallMs(), 120.0);
}

TEST(RunOnUiThread, RunsThereAndWaits) {
  OutlookSimHost host(ThreeCategories());
  DWORD ranOn = 0;
  host.RunOnUiThread([&] { ranOn = ::GetCurrentThreadId(); });
  EXPECT_EQ(ranOn, host.UiThreadId());
  EXPECT_NE(ranOn, ::GetCurrentThreadId());
}

TEST(RunOnUiThread, ATaskCalledFromTheUiThreadRunsAtOnce) {
  OutlookSimHost host(ThreeCategories());
  std::vector<int> order;
  host.RunOnUiThread([&] {
    order.push_back(1);
    host.RunOnUiThread([&] { order.push_back(2); });
    order.push_back(3);
  });
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(RunOnUiThread, AnExceptionComesBackToTheCaller) {
  OutlookSimHost host(ThreeCategories());
  EXPECT_THROW(host.RunOnUiThread([] { throw std::runtime_error("from the UI thread"); }),
               std::runtime_error);
}

// An object of the caller's own apartment, which the task calls back.
class ThreadProbe final : public Qv::ComObject<IOleWindow> {
 public:
  explicit ThreadProbe(DWORD* calledOn) : calledOn_(calledOn) {}
  STDMETHODIMP GetWindow(HWND* window) override {
    *calledOn_ = ::GetCurrentThreadId();
    *window = nullptr;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

 private:
  DWORD* calledOn_;
};

TEST(RunOnUiThread, AnStaCallerIsCalledBackWhileItWaits) {
  OutlookSimHost host(ThreeCategories());
  DWORD caller = 0, calledOn = 0;
  HRESULT callback = E_FAIL;
  OnWorker(Apartment::Sta, [&] {
    caller = ::GetCurrentThreadId();
    auto probe = Qv::MakeComObject<ThreadProbe>(&calledOn);
    IStream* stream = nullptr;
    ASSERT_EQ(::CoMarshalInterThreadInterfaceInStream(IID_IOleWindow, probe.Get(), &stream), S_OK);
    host.RunOnUiThread([&] {
      ComPtr<IOleWindow> remote;
      ASSERT_EQ(::CoGetInterfaceAndReleaseStream(stream, IID_PPV_ARGS(&remote)), S_OK);
      HWND window;
      callback = remote->GetWindow(&window);
    });
  });
  EXPECT_EQ(callback, S_OK);
  EXPECT_EQ(calledOn, caller);
}

}  // namespace
