// The road from connection to a running extension and back, in every start-up order
// Outlook uses, with the explorer events that drive it.
#include <winsock2.h>

#include "AddinInProcess.h"

#include "AddinRegistryValues.h"

#include "ResourceIds.h"
#include "Settings.h"
#include "VersionInfo.h"
#include "qv/ResourceText.h"
#include "support/LoopbackServers.h"
#include "support/SilentTcpServer.h"

namespace {

using OutlookSim::SimOptions;

SimOptions Without(bool explorer, const wchar_t* version = L"16.0.0.0") {
  SimOptions options;
  options.explorer = explorer;
  options.version = version;
  return options;
}

class AddinLifecycle : public AddinInProcess {};

TEST_F(AddinLifecycle, NormalStartFollowsTheExplorerAndStartupCompleteInitialises) {
  StartOutlook();
  EXPECT_EQ(S_OK, Connect());
  const HWND explorer = host->ExplorerWindow();
  EXPECT_EQ(1, host->ExplorerConnections(explorer));
  EXPECT_EQ(0, host->ExplorersConnections());
  EXPECT_FALSE(Initialised());

  EXPECT_EQ(S_OK, StartupComplete());
  EXPECT_TRUE(Initialised());
  EXPECT_TRUE(Extension()->HasSession());
  EXPECT_TRUE(Extension()->Thread().IsRunning());
  EXPECT_TRUE(CAddinContext::Instance().ThreadStarted());
  EXPECT_EQ(explorer, CAddinContext::Instance().ExplorerWindow());
  EXPECT_TRUE(boxes.shown.empty()) << BoxTexts();
  // Not configured and the wizard not silenced: the wizard is due, once.
  EXPECT_EQ((std::vector<std::string>{"wizard"}), UiCallNames());

  EXPECT_EQ(S_OK, StartupComplete());
  host->ChangeSelection(explorer);
  EXPECT_EQ((std::vector<std::string>{"wizard"}), UiCallNames()) << "initialised only once";
}

TEST_F(AddinLifecycle, AnExplorerEventBeforeStartupCompleteDoesTheWork) {
  for (const char* event : {"Activate", "SelectionChange"}) {
    SCOPED_TRACE(event);
    StartOutlook();
    Connect();
    const HWND explorer = host->ExplorerWindow();
    if (std::string(event) == "Activate")
      host->ActivateExplorer(explorer);
    else
      host->ChangeSelection(explorer);
    EXPECT_TRUE(Initialised());
    StartupComplete();
    EXPECT_EQ((std::vector<std::string>{"wizard"}), UiCallNames());
    EXPECT_TRUE(boxes.shown.empty()) << BoxTexts();
    TearDown();
    SetUp();
  }
}

TEST_F(AddinLifecycle, OutlookWithoutExplorerWaitsForTheFirstNewExplorer) {
  StartOutlook(Without(false));
  Connect();
  EXPECT_EQ(1, host->ExplorersConnections());
  StartupComplete();
  EXPECT_FALSE(Initialised());
  EXPECT_FALSE(CAddinContext::Instance().ThreadStarted());
  EXPECT_TRUE(boxes.shown.empty()) << BoxTexts();

  const HWND first = host->OpenExplorer();
  EXPECT_TRUE(Initialised());
  EXPECT_EQ(first, CAddinContext::Instance().ExplorerWindow());
  host->OpenExplorer();
  EXPECT_EQ((std::vector<std::string>{"wizard"}), UiCallNames()) << "a second NewExplorer does nothing more";
  EXPECT_EQ(1, host->ExplorersConnections()) << "the collection stays followed";
}

TEST_F(AddinLifecycle, NoExplorerEverMeansNoExtensionNoThreadNoMessage) {
  StartOutlook(Without(false));
  Connect();
  StartupComplete();
  Disconnect();
  EXPECT_FALSE(Initialised());
  EXPECT_FALSE(CAddinContext::Instance().ThreadStarted());
  EXPECT_FALSE(Extension()->Thread().IsRunning());
  EXPECT_TRUE(boxes.shown.empty()) << BoxTexts();
  EXPECT_TRUE(UiCalls().empty());
  EXPECT_EQ(0, host->ExplorersConnections());
}

TEST_F(AddinLifecycle, NullActiveExplorerFollowsTheFirstOfTheCollection) {
  SimOptions options;
  options.activeExplorerNull = true;
  StartOutlook(options);
  Connect();
  EXPECT_EQ(1, host->ExplorerConnections(host->ExplorerWindows().at(0)));
  EXPECT_EQ(0, host->ExplorersConnections());
  StartupComplete();
  EXPECT_FALSE(Initialised()) << "no active explorer at start-up completion";
  host->ChangeSelection(host->ExplorerWindows().at(0));
  EXPECT_TRUE(Initialised());
}

TEST_F(AddinLifecycle, ClosingTheFollowedExplorerUninitialisesAndUnsubscribes) {
  StartOutlook();
  Connect();
  StartupComplete();
  const HWND explorer = host->ExplorerWindow();
  ASSERT_TRUE(Initialised());

  host->CloseExplorer(explorer);
  EXPECT_FALSE(Initialised());
  EXPECT_FALSE(Extension()->HasSession());
  EXPECT_EQ(nullptr, Extension()->Application());
  EXPECT_TRUE(Extension()->Thread().IsRunning()) << "the thread lives as long as the module";

  // Explorers opened later in this connection are not followed.
  host->OpenExplorer();
  EXPECT_FALSE(Initialised());
  EXPECT_EQ(S_OK, Disconnect());
  EXPECT_TRUE(boxes.shown.empty()) << BoxTexts();
}

TEST_F(AddinLifecycle, ReconnectionReusesTheRunningThreadAndInitialisesAgain) {
  StartOutlook();
  Connect();
  StartupComplete();
  ASSERT_TRUE(Extension()->Thread().IsRunning());
  const CTagsyExtension* before = Extension().Get();

  EXPECT_EQ(S_OK, Disconnect());
  EXPECT_FALSE(Initialised());
  EXPECT_EQ(0, host->ExplorerConnections(host->ExplorerWindow())) << "subscriptions withdrawn";
  EXPECT_TRUE(Extension()->Thread().IsRunning());

  Connect();
  EXPECT_EQ(1, host->ExplorerConnections(host->ExplorerWindow()));
  host->ChangeSelection(host->ExplorerWindow());
  EXPECT_TRUE(Initialised());
  EXPECT_EQ(before, Extension().Get()) << "the same extension";
  EXPECT_FALSE(Extension()->Thread().Start(10000)) << "the thread was not started a second time";
  EXPECT_EQ((std::vector<std::string>{"wizard", "wizard"}), UiCallNames());
}

TEST_F(AddinLifecycle, AnObjectThatIsNotOutlookShowsTheComErrorAndSubscribesNothing) {
  StartOutlook();
  // A dispatch object that answers no _Application: the host's own NameSpace.
  Microsoft::WRL::ComPtr<IDispatch> notOutlook;
  host->RunOnUiThread([&] {
    Microsoft::WRL::ComPtr<IDispatch> application = host->Application();
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"Session");
    application->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    DISPPARAMS none = {};
    VARIANT result;
    ::VariantInit(&result);
    application->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
    notOutlook = result.pdispVal;
    ::VariantClear(&result);
  });
  EXPECT_EQ(S_OK, Connect(notOutlook.Get()));
  ASSERT_EQ(1u, boxes.shown.size());
  EXPECT_EQ(0u, boxes.shown[0].text.rfind("(null) - ", 0)) << boxes.shown[0].text;
  EXPECT_EQ("Velmora Tagsy", boxes.shown[0].caption);
  EXPECT_EQ(0, host->ExplorerConnections(host->ExplorerWindow()));
  EXPECT_EQ(0, host->ExplorersConnections());
  notOutlook.Reset();
}

struct VersionCase {
  const wchar_t* version;
  bool commandBars;
};

class AddinVersions : public AddinInProcess, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(AddinVersions, CommandBarsOnlyBeforeOutlook2010) {
  SimOptions options;
  options.version = GetParam().version;
  options.outlookMajor = 12;
  StartOutlook(options);
  Connect();
  StartupComplete();
  ASSERT_TRUE(Initialised());
  const std::vector<std::string> expected =
      GetParam().commandBars ? std::vector<std::string>{"commandbars", "wizard"} : std::vector<std::string>{"wizard"};
  EXPECT_EQ(expected, UiCallNames());
}

INSTANTIATE_TEST_SUITE_P(Versions, AddinVersions,
                         ::testing::Values(VersionCase{L"12.0.4518.1014", true}, VersionCase{L"12,0,6423", true},
                                           VersionCase{L"11.0.5510", true}, VersionCase{L"14.0.4760.1000", false},
                                           VersionCase{L"16,0,0", false}));

// The start-up wizard: due only while not configured and not silenced; Finish saves
// what the wizard made of its copy.
TEST_F(AddinLifecycle, WizardIsSkippedWhenConfiguredOrSilencedAndFinishSaves) {
  ScratchFolder scratch;
  scratch.WriteFile("publiczne.txt", "A;1\r\n");
  {
    CSettings configured;
    configured.SetDataFilePath(scratch.WindowsPath("publiczne.txt"));
    SaveSettings(configured);
  }
  StartOutlook();
  Connect();
  StartupComplete();
  EXPECT_TRUE(UiCalls().empty()) << "configured: no wizard";
  TearDown();
  SetUp();

  ::DeleteFileA(settingsFolder.File("settings.ini").c_str());
  Addin::WriteAddinDword("DoNotShowConfigWizard", 1);
  StartOutlook();
  Connect();
  StartupComplete();
  EXPECT_TRUE(UiCalls().empty()) << "silenced: no wizard at start-up";
  TearDown();
  SetUp();

  wizardAnswer = Addin::kWizardFinish;
  wizardPath = scratch.WindowsPath("publiczne.txt");
  StartOutlook();
  Connect();
  StartupComplete();
  EXPECT_EQ((std::vector<std::string>{"wizard"}), UiCallNames());
  CSettings saved;
  saved.Load();
  EXPECT_EQ(wizardPath, saved.GetDataFilePath());
  EXPECT_TRUE(saved.GetOutlookUnblocked()) << "the firewall step recorded itself";
}

// The no-access warning: decided on the UI thread, checked off it, shown when the answer
// comes back, with the explorer window an earlier initialisation stored as its parent.
TEST_F(AddinLifecycle, NoAccessWarningWhenTheFileCannotBeReached) {
  ScratchFolder scratch;
  const std::string missing = scratch.WindowsPath("brak\\publiczne.txt");
  {
    CSettings settings;
    settings.SetDataFilePath(missing);
    SaveSettings(settings);
  }
  StartOutlook();
  Connect();
  StartupComplete();
  ASSERT_TRUE(WaitForUiCalls(1));
  std::vector<UiCall> calls = UiCalls();
  ASSERT_EQ(1u, calls.size()) << "configured: the warning only";
  EXPECT_EQ("warning", calls[0].what);
  EXPECT_EQ(missing, calls[0].text);
  EXPECT_EQ(nullptr, calls[0].parent) << "nothing stored before the first initialisation";

  // Close, reconnect, initialise again: the parent is the window stored the first time.
  const HWND firstExplorer = host->ExplorerWindow();
  host->CloseExplorer(firstExplorer);
  Disconnect();
  host->OpenExplorer();
  Connect();
  host->ChangeSelection(host->ExplorerWindows().at(0));
  ASSERT_TRUE(WaitForUiCalls(2));
  calls = UiCalls();
  ASSERT_EQ(2u, calls.size());
  EXPECT_EQ("warning", calls[1].what);
  EXPECT_EQ(firstExplorer, calls[1].parent);
  EXPECT_TRUE(boxes.shown.empty()) << BoxTexts();
}

// The first start of a user on Windows 7 (what Wine 8 reports by default): the road
// asks for the firewall rule, which cannot be had here, says so once, records that it
// ran, and goes on.
TEST_F(AddinLifecycle, FirstStartTriesTheFirewallRuleOnceAndGoesOn) {
  ::DeleteFileA(settingsFolder.File("settings.ini").c_str());
  StartOutlook();
  Connect();
  StartupComplete();
  EXPECT_TRUE(Initialised());
  EXPECT_TRUE(Extension()->Thread().IsRunning());
  CSettings settings;
  settings.Load();
  EXPECT_TRUE(settings.GetOutlookUnblocked());
  const size_t shown = boxes.shown.size();
  if (QvOsVersionInfo().IsWindows7()) {
    ASSERT_EQ(1u, shown) << BoxTexts();
    EXPECT_EQ(Qv::LoadText(IDS_FIREWALL_RULE_FAILED), boxes.shown[0].text);
  } else {
    EXPECT_EQ(0u, shown) << BoxTexts();
  }

  host->CloseExplorer(host->ExplorerWindow());
  Disconnect();
  host->OpenExplorer();
  Connect();
  host->ChangeSelection(host->ExplorerWindows().at(0));
  EXPECT_TRUE(Initialised());
  EXPECT_EQ(shown, boxes.shown.size()) << "never asked again: " << BoxTexts();
}

struct QuietCase {
  const char* name;
  bool emptyPath;
  bool silenced;
};

class AddinQuietStart : public AddinInProcess, public ::testing::WithParamInterface<QuietCase> {};

TEST_P(AddinQuietStart, NoWarning) {
  ScratchFolder scratch;
  scratch.WriteFile("publiczne.txt", "A;1\r\n");
  {
    CSettings settings;
    if (!GetParam().emptyPath)
      settings.SetDataFilePath(GetParam().silenced ? scratch.WindowsPath("brak\\x.txt")
                                                   : scratch.WindowsPath("publiczne.txt"));
    SaveSettings(settings);
  }
  if (GetParam().silenced) {
    Addin::WriteAddinDword("ShowWarning", 0);
  }
  StartOutlook();
  Connect();
  StartupComplete();
  ASSERT_TRUE(Initialised());
  // A readable file's answer arrives within milliseconds; give it ample time.
  WaitForUiCalls(GetParam().emptyPath ? 2 : 1, 1500);
  for (const UiCall& call : UiCalls()) EXPECT_NE("warning", call.what);
}

INSTANTIATE_TEST_SUITE_P(Cases, AddinQuietStart,
                         ::testing::Values(QuietCase{"EmptyPath", true, false},
                                           QuietCase{"ShowWarningZero", false, true},
                                           QuietCase{"Readable", false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A server that takes the connection and never says a word: the probe waits for the
// network time-out, Outlook's start does not.
TEST_F(AddinLifecycle, StartupDoesNotWaitForAServerThatDoesNotAnswer) {
  SilentTcpServer silent;
  {
    CSettings settings;
    settings.SetIsInternetFile(true);
    settings.SetDataFileUrl("ftp://127.0.0.1:" + std::to_string(silent.Port()) + "/publiczne.txt");
    SaveSettings(settings);
  }
  StartOutlook();
  const ULONGLONG start = ::GetTickCount64();
  Connect();
  StartupComplete();
  const ULONGLONG elapsed = ::GetTickCount64() - start;
  EXPECT_TRUE(Initialised());
  EXPECT_LT(elapsed, 2000u);
}

}  // namespace

namespace {

// The MAPI session gates the start-up: from Outlook's namespace, else from the fallback
// provider when one is registered, else the road stops with its message.
TEST_F(AddinLifecycle, WithoutAnyMapiSessionTheRoadStopsWithItsMessage) {
  SimOptions options;
  options.mapiSession = false;
  StartOutlook(options);
  Connect();
  StartupComplete();
  ASSERT_EQ(1u, boxes.shown.size()) << BoxTexts();
  EXPECT_EQ("Failed to obtain MAPI session.", boxes.shown[0].text);
  EXPECT_EQ("Error", boxes.shown[0].caption);
  EXPECT_EQ(static_cast<UINT>(MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST), boxes.shown[0].style);
  EXPECT_TRUE(Initialised()) << "a failed start stays initialised";
  EXPECT_FALSE(CAddinContext::Instance().ThreadStarted());
  EXPECT_TRUE(UiCalls().empty()) << "the wizard is not reached";

  host->ChangeSelection(host->ExplorerWindow());
  EXPECT_EQ(1u, boxes.shown.size()) << "not tried again until uninitialised";
}

TEST_F(AddinLifecycle, TheFallbackProviderGivesTheSessionOutlookDidNot) {
  SimOptions options;
  options.mapiSession = false;
  options.fallbackMapiProvider = true;
  StartOutlook(options);
  Connect();
  StartupComplete();
  EXPECT_TRUE(boxes.shown.empty()) << BoxTexts();
  EXPECT_TRUE(Extension()->HasSession());
  EXPECT_TRUE(Extension()->Thread().IsRunning());
}

}  // namespace
