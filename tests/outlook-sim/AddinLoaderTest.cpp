// Office's add-in loader of the simulated Outlook against the fixture add-in: which
// add-ins the registry makes it load, the order of its calls, the type libraries it
// registers, failures it survives, the unload and re-connection.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "AddInDesigner.h"
#include "AddinLoaderFixture.h"
#include "OfficeRibbon.h"
#include "qv/Handles.h"

using OutlookSim::AddinReport;
using OutlookSim::LoaderFailure;

namespace {

TEST_F(Loader, LoadsWhatTheRegistrySaysLoadBehavior3AndNothingElse) {
  const std::wstring loaded = addins_.Add(L"Three", 3);
  std::vector<std::wstring> ours = {loaded};
  for (DWORD behaviour : {0u, 1u, 2u, 8u, 9u, 16u})
    ours.push_back(addins_.Add(L"Behaviour" + std::to_wstring(behaviour), behaviour));
  const std::wstring text = addins_.Add(L"Text", 3);
  const wchar_t three[] = L"3";
  addins_.SetValue(text, L"LoadBehavior", REG_SZ, three, sizeof(three));
  ours.push_back(text);
  const std::wstring notOurs = addins_.Add(L"NotOurs", 3);
  Start();

  // What Office reads from the AddIns key.
  const auto registered = OutlookSim::ReadAddinRegistrations();
  for (const std::wstring& progId : ours) {
    const auto found = std::find_if(registered.begin(), registered.end(),
                                    [&](const OutlookSim::AddinRegistration& r) { return r.progId == progId; });
    ASSERT_NE(found, registered.end());
    EXPECT_EQ(found->hasLoadBehavior, progId != text);
    EXPECT_EQ(found->friendlyName.rfind(L"Fixture add-in ", 0), 0u);
  }

  loader_->LoadAll(ours);
  const auto reports = loader_->Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].registration.progId, loaded);
  EXPECT_EQ(reports[0].registration.description, L"Fixture Three");
  EXPECT_TRUE(reports[0].connected);
  EXPECT_THROW(loader_->Report(notOurs), std::invalid_argument);
  const std::string me = Qv::WideToAnsi(loaded);
  for (const FixtureCall& call : addins_.Journal()) EXPECT_EQ(call.progId, me) << call.call;
  EXPECT_TRUE(loader_->Failures().empty()) << loader_->FailureText();
}

// As Office setup leaves them: an add-in serves IDTExtensibility2's dispatch from the
// registered Add-in Designer library, and COM marshals Office's ribbon interfaces.
TEST_F(Loader, RegistersOfficesTypeLibrariesAsSetupDoes) {
  Start();
  const struct {
    GUID library;
    WORD major, minor;
    IID iid;
    const wchar_t* member;
  } libraries[] = {
      {{0xAC0714F2, 0x3D04, 0x11D1, {0xAE, 0x7D, 0x00, 0xA0, 0xC9, 0x0F, 0x26, 0xF4}}, 1, 0,
       __uuidof(IDTExtensibility2), L"OnStartupComplete"},
      {{0x2DF8D04C, 0x5BFA, 0x101B, {0xBD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0xDE, 0x52}}, 2, 5, __uuidof(IRibbonControl),
       L"Context"},
  };
  for (const auto& l : libraries) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(l.member)));
    Microsoft::WRL::ComPtr<ITypeLib> library;
    ASSERT_EQ(::LoadRegTypeLib(l.library, l.major, l.minor, LOCALE_NEUTRAL, &library), S_OK);
    Microsoft::WRL::ComPtr<ITypeInfo> info;
    ASSERT_EQ(library->GetTypeInfoOfGuid(l.iid, &info), S_OK);
    LPOLESTR names[] = {const_cast<LPOLESTR>(l.member)};
    MEMBERID id = MEMBERID_NIL;
    EXPECT_EQ(info->GetIDsOfNames(names, 1, &id), S_OK);
  }
  // An IRibbonControl of the UI thread, used from a worker through COM.
  IStream* stream = nullptr;
  host_->RunOnUiThread([&] {
    Microsoft::WRL::ComPtr<IRibbonControl> control;
    ASSERT_EQ(host_->NewRibbonControl(L"SomeButton").As(&control), S_OK);
    ASSERT_EQ(::CoMarshalInterThreadInterfaceInStream(__uuidof(IRibbonControl), control.Get(), &stream), S_OK);
  });
  std::thread worker([&] {
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
      Microsoft::WRL::ComPtr<IRibbonControl> control;
      ASSERT_EQ(::CoGetInterfaceAndReleaseStream(stream, IID_PPV_ARGS(&control)), S_OK);
      Qv::UniqueBstr id;
      EXPECT_EQ(control->get_Id(id.Receive()), S_OK);
      EXPECT_STREQ(id.Get(), L"SomeButton");
      Microsoft::WRL::ComPtr<IDispatch> context;
      EXPECT_EQ(control->get_Context(&context), S_OK);
      EXPECT_TRUE(context);
    }
    ::CoUninitialize();
  });
  worker.join();
  EXPECT_EQ(host_->WrongThreadCalls(), 0);
}

TEST_F(Loader, ANamedAddinThatIsNotRegisteredIsAFailure) {
  Start();
  const std::wstring missing = L"TagsyTest.Missing" + std::to_wstring(::GetCurrentProcessId());
  loader_->LoadAll({missing});
  EXPECT_TRUE(loader_->Reports().empty());
  ASSERT_EQ(loader_->Failures().size(), 1u);
  EXPECT_EQ(loader_->Failures()[0].progId, missing);
  EXPECT_EQ(loader_->Failures()[0].step, "registry");
}

TEST_F(Loader, CallsTheAddinsInOfficesOrderOnTheUiThread) {
  const std::wstring a = addins_.Add(L"A", 3), b = addins_.Add(L"B", 3);
  Start();
  loader_->LoadAll({a, b});
  loader_->Shutdown();
  EXPECT_EQ(addins_.Calls(),
            (Strings{"A.OnConnection", "A.GetCustomUI", "B.OnConnection", "B.GetCustomUI",
                     "A.OnStartupComplete", "B.OnStartupComplete",
                     "A.OnRibbonLoad", "A.GetButtonImage", "A.GetButtonImage",
                     "B.OnRibbonLoad", "B.GetButtonImage", "B.GetButtonImage",
                     "A.OnBeginShutdown", "B.OnBeginShutdown",
                     "A.OnDisconnection", "A.destroyed", "B.OnDisconnection", "B.destroyed"}));
  EXPECT_TRUE(loader_->Failures().empty()) << loader_->FailureText();

  const std::string ui = std::to_string(host_->UiThreadId());
  const FixtureCall connection = addins_.CallsOf(a, "OnConnection").at(0);
  EXPECT_EQ(connection.Field("mode"), "1");  // ext_cm_Startup
  EXPECT_EQ(connection.Field("version"), "16.0.0.0");
  EXPECT_EQ(connection.Field("guid"), kFixtureAddinClsid);
  EXPECT_EQ(connection.Field("description"), "Fixture A");
  EXPECT_EQ(connection.Field("connect"), "-1");
  EXPECT_EQ(connection.Field("custom"), "VARIANT[0]");
  EXPECT_EQ(connection.Field("thread"), ui);
  const FixtureCall startup = addins_.CallsOf(a, "OnStartupComplete").at(0);
  EXPECT_EQ(startup.Field("custom"), "VARIANT[0]");
  EXPECT_EQ(startup.Field("thread"), ui);
  EXPECT_EQ(addins_.CallsOf(a, "GetCustomUI").at(0).Field("ribbon"), "Microsoft.Outlook.Explorer");
  EXPECT_EQ(addins_.CallsOf(a, "OnRibbonLoad").at(0).Field("ribbon"), "IRibbonUI");
  const auto images = addins_.CallsOf(b, "GetButtonImage");
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[0].Field("control"), "FixtureMail");
  EXPECT_EQ(images[1].Field("control"), "FixtureCalendar");
  EXPECT_EQ(images[0].Field("typed"), "yes");
  EXPECT_EQ(images[0].Field("tag"), "");
  EXPECT_EQ(images[0].Field("context"), WindowText(host_->ExplorerWindow()));
  EXPECT_EQ(addins_.CallsOf(a, "OnDisconnection").at(0).Field("mode"), "0");  // ext_dm_HostShutdown

  const AddinReport report = loader_->Report(a);
  EXPECT_TRUE(report.created);
  EXPECT_FALSE(report.connected);
  EXPECT_TRUE(report.startupComplete);
  EXPECT_TRUE(report.shutDown);
  EXPECT_EQ(report.clsid, Qv::AnsiToWide(kFixtureAddinClsid));
  EXPECT_EQ(::CompareStringOrdinal(report.dllPath.c_str(), -1, addins_.DllPath().c_str(), -1, TRUE), CSTR_EQUAL);
}

// The explorer ribbon, and so GetCustomUI, arrived with Outlook 14.
TEST_F(Loader, AsksForTheRibbonFromOutlook14On) {
  for (int major : {12, 14, 16}) {
    SCOPED_TRACE(major);
    const std::wstring a = addins_.Add(L"V" + std::to_wstring(major), 3);
    addins_.ClearJournal();
    Start(major);
    loader_->LoadAll({a});
    const bool ribbon = major >= 14;
    EXPECT_EQ(loader_->Report(a).ribbonAsked, ribbon);
    EXPECT_EQ(addins_.CallsOf(a, "GetCustomUI").size(), ribbon ? 1u : 0u);
    EXPECT_EQ(addins_.CallsOf(a, "OnRibbonLoad").size(), ribbon ? 1u : 0u);
    EXPECT_EQ(addins_.CallsOf(a, "OnStartupComplete").size(), 1u);
    loader_.reset();
    host_.reset();
  }
}

// A failing or throwing add-in costs only itself; the others load as usual.
TEST_F(Loader, SurvivesAddinsThatFailOrThrow) {
  const std::wstring good = addins_.Add(L"Good", 3);
  const std::wstring fails = addins_.Add(L"Fails", 3, "connect=fail");
  const std::wstring throws = addins_.Add(L"Throws", 3, "connect=throw");
  const std::wstring lateThrow = addins_.Add(L"Late", 3, "startup=throw");
  const std::wstring noClass = addins_.AddUnregistered(L"NoClass");
  Start();
  loader_->LoadAll({good, fails, throws, lateThrow, noClass});
  const struct {
    const std::wstring& progId;
    bool created, connected, startupComplete;
  } expected[] = {{good, true, true, true},
                  {fails, true, false, false},
                  {throws, true, false, false},
                  {lateThrow, true, true, false},
                  {noClass, false, false, false}};
  for (const auto& e : expected) {
    SCOPED_TRACE(Qv::WideToAnsi(e.progId));
    const AddinReport report = loader_->Report(e.progId);
    EXPECT_EQ(report.created, e.created);
    EXPECT_EQ(report.connected, e.connected);
    EXPECT_EQ(report.startupComplete, e.startupComplete);
  }
  // The one that threw late is still on the ribbon.
  EXPECT_TRUE(loader_->Report(lateThrow).ribbon.Accepted());
  std::vector<std::pair<std::wstring, std::string>> failed;
  for (const LoaderFailure& failure : loader_->Failures()) failed.emplace_back(failure.progId, failure.step);
  std::sort(failed.begin(), failed.end());
  std::vector<std::pair<std::wstring, std::string>> wanted = {
      {fails, "OnConnection"}, {throws, "OnConnection"}, {lateThrow, "OnStartupComplete"}, {noClass, "CLSIDFromProgID"}};
  std::sort(wanted.begin(), wanted.end());
  EXPECT_EQ(failed, wanted) << loader_->FailureText();
  for (const LoaderFailure& failure : loader_->Failures()) {
    if (failure.progId == fails) {
      EXPECT_EQ(failure.hr, E_FAIL);
    }
    if (failure.progId == throws) {
      EXPECT_EQ(failure.hr, E_UNEXPECTED);
      EXPECT_NE(failure.description.find(L"the fixture refuses to connect"), std::wstring::npos);
    }
  }
  // Office drops an add-in whose connection failed at once, and never starts it.
  EXPECT_EQ(addins_.CallsOf(fails, "OnConnection").size(), 1u);
  EXPECT_TRUE(addins_.CallsOf(fails, "OnStartupComplete").empty());
  EXPECT_EQ(addins_.CallsOf(fails, "destroyed").size(), 1u);
  loader_->Shutdown();
  EXPECT_TRUE(addins_.CallsOf(fails, "OnDisconnection").empty());
  EXPECT_EQ(addins_.CallsOf(lateThrow, "OnDisconnection").size(), 1u);
  EXPECT_FALSE(addins_.DllLoaded());
}

TEST_F(Loader, AtShutdownEveryReferenceGoesAndTheDllLeavesTheProcess) {
  const std::wstring a = addins_.Add(L"A", 3);
  Start();
  loader_->LoadAll({a});
  loader_->Click(a, kFixtureMailButton);
  EXPECT_TRUE(addins_.DllLoaded());
  EXPECT_GT(host_->LiveObjects(), 0);
  loader_->Shutdown();
  const AddinReport report = loader_->Report(a);
  EXPECT_FALSE(report.dllLoadedAfterShutdown);
  EXPECT_FALSE(addins_.DllLoaded());
  EXPECT_TRUE(loader_->Failures().empty()) << loader_->FailureText();
  // Nothing of Outlook's or Office's is held any more: not by the loader, not by the add-in.
  EXPECT_EQ(host_->LiveObjects(), 0);
  EXPECT_EQ(addins_.Calls().back(), "A.destroyed");
  // Shutdown runs once.
  loader_->Shutdown();
  EXPECT_EQ(addins_.CallsOf(a, "OnBeginShutdown").size(), 1u);
}

TEST_F(Loader, TheUserDisconnectsAnAddinAndConnectsItAgain) {
  const std::wstring a = addins_.Add(L"A", 3);
  Start();
  loader_->LoadAll({a});
  addins_.ClearJournal();
  EXPECT_TRUE(loader_->Disconnect(a));
  EXPECT_FALSE(loader_->Disconnect(a));
  EXPECT_FALSE(loader_->Report(a).connected);
  EXPECT_FALSE(loader_->Click(a, kFixtureMailButton).found);
  EXPECT_EQ(addins_.Calls(), (Strings{"A.OnDisconnection", "A.destroyed"}));
  EXPECT_EQ(addins_.CallsOf(a, "OnDisconnection").at(0).Field("mode"), "1");  // ext_dm_UserClosed

  addins_.ClearJournal();
  EXPECT_TRUE(loader_->Reconnect(a));
  EXPECT_FALSE(loader_->Reconnect(a));
  // A new object, connected after start-up; no OnStartupComplete this time.
  EXPECT_EQ(addins_.Calls(), (Strings{"A.OnConnection", "A.GetCustomUI", "A.OnRibbonLoad", "A.GetButtonImage",
                                      "A.GetButtonImage"}));
  const FixtureCall connection = addins_.CallsOf(a, "OnConnection").at(0);
  EXPECT_EQ(connection.Field("mode"), "0");  // ext_cm_AfterStartup
  EXPECT_EQ(connection.Field("instance"), "2");
  const AddinReport report = loader_->Report(a);
  EXPECT_TRUE(report.connected);
  EXPECT_EQ(report.connections, 2);
  EXPECT_EQ(loader_->Click(a, kFixtureMailButton).call.hr, S_OK);
  loader_->Shutdown();
  EXPECT_FALSE(loader_->Report(a).dllLoadedAfterShutdown);
  EXPECT_TRUE(loader_->Failures().empty()) << loader_->FailureText();
}

}  // namespace
