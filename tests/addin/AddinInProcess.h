#pragma once
// The add-in's code in the test program, driven as Outlook drives Tagsy.dll: the add-in
// object made by the module's class object on Outlook's UI thread, connected to the
// simulated Outlook, with recorders for the message boxes and the windows the entry
// points open. Each test ends with the module's unload (the context goes).
#include <windows.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AddInDesigner.h"
#include "AddinContext.h"
#include "AddinIds.h"
#include "AddinUi.h"
#include "CategorySync.h"
#include "Error.h"
#include "LocalCopyTime.h"
#include "MessageBoxRecorder.h"
#include "OfficeRibbon.h"
#include "OutlookSimHost.h"
#include "QvParvaneExt.h"
#include "TagsyExtension.h"
#include "TagsyModule.h"
#include "support/SettingsFolderSandbox.h"

// What the entry points asked the windows table for, in order.
struct UiCall {
  std::string what;  // "warning", "wizard", "editor", "options", "commandbars"
  HWND parent = nullptr;
  std::string text;  // the warning's path, the editor's location
};

class AddinInProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, CCategorySync::kRegistryKey);
    uiCalls_.clear();
    boxes.shown.clear();
    Addin::AddinUi ui;
    ui.showNoAccessWarning = [this](HWND parent, const std::string& path) { Record({"warning", parent, path}); };
    ui.runConfigWizard = [this](CSettings& settings) {
      Record({"wizard", nullptr, ""});
      if (wizardAnswer == Addin::kWizardFinish) settings.SetDataFilePath(wizardPath);
      return wizardAnswer;
    };
    ui.runCategoryEditor = [this](const CPublicFileLocation& location) { Record({"editor", nullptr, location.Path}); };
    ui.runOptionsSheet = [this] { Record({"options", nullptr, ""}); };
    ui.installCommandBars = [this](IDispatch*) { Record({"commandbars", nullptr, ""}); };
    previousUi_ = Addin::SetAddinUi(ui);
    // A user who went through the firewall step before; the step itself is tested on
    // its own (and once on the road below).
    CSettings settings;
    settings.SetOutlookUnblocked(true);
    settings.Save();
  }

  // Settings as a test wants them, with the firewall step done.
  static void SaveSettings(CSettings settings) {
    settings.SetOutlookUnblocked(true);
    settings.Save();
  }

  void TearDown() override {
    if (host) {
      host->RunOnUiThread([this] {
        if (connected_) addin->OnDisconnection(ext_dm_HostShutdown, &custom_);
        addin.Reset();
      });
    }
    // The module's unload: the context, the extension and its thread go.
    CAddinContext::Destroy();
    host.reset();
    Addin::SetAddinUi(previousUi_);
    ::RegDeleteTreeA(HKEY_CURRENT_USER, CCategorySync::kRegistryKey);
  }

  void StartOutlook(OutlookSim::SimOptions options = OutlookSim::SimOptions()) {
    host = std::make_unique<OutlookSim::OutlookSimHost>(options);
    host->RunOnUiThread([this] {
      Microsoft::WRL::ComPtr<IClassFactory> factory;
      ASSERT_EQ(S_OK, CQvParvaneExtModule::GetClassObject(Addin::kClsidQvTagsyAddin, IID_IClassFactory,
                                                          reinterpret_cast<void**>(factory.GetAddressOf())));
      ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, __uuidof(IDTExtensibility2),
                                              reinterpret_cast<void**>(addin.GetAddressOf())));
    });
  }

  HRESULT Connect(IDispatch* application = nullptr) {
    HRESULT hr = E_FAIL;
    host->RunOnUiThread([&] {
      Microsoft::WRL::ComPtr<IDispatch> outlook = application ? application : host->Application().Get();
      hr = addin->OnConnection(outlook.Get(), ext_cm_Startup, nullptr, &custom_);
      connected_ = true;
    });
    return hr;
  }
  HRESULT StartupComplete() {
    HRESULT hr = E_FAIL;
    host->RunOnUiThread([&] { hr = addin->OnStartupComplete(&custom_); });
    return hr;
  }
  HRESULT Disconnect() {
    HRESULT hr = E_FAIL;
    host->RunOnUiThread([&] {
      hr = addin->OnDisconnection(ext_dm_UserClosed, &custom_);
      connected_ = false;
    });
    return hr;
  }

  // The boxes shown, for failure messages.
  std::string BoxTexts() const {
    std::string texts;
    for (const auto& box : boxes.shown) texts += "[" + box.caption + ": " + box.text + "]";
    return texts;
  }

  static CRefCountPtr<CTagsyExtension> Extension() { return CAddinContext::Instance().Extension(); }
  bool Initialised() const { return Extension()->IsInitialised(); }

  std::vector<UiCall> UiCalls() {
    std::lock_guard<std::mutex> guard(lock_);
    return uiCalls_;
  }
  std::vector<std::string> UiCallNames() {
    std::vector<std::string> names;
    for (const UiCall& call : UiCalls()) names.push_back(call.what);
    return names;
  }
  // Waits (serving nothing: the answers come on Outlook's UI thread) until `count` calls
  // were recorded or the time is up.
  bool WaitForUiCalls(size_t count, DWORD milliseconds = 10000) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    while (::GetTickCount64() < end) {
      if (UiCalls().size() >= count) return true;
      ::Sleep(20);
    }
    return UiCalls().size() >= count;
  }

  SettingsFolderSandbox settingsFolder;
  MessageBoxRecorder boxes;
  std::unique_ptr<OutlookSim::OutlookSimHost> host;
  Microsoft::WRL::ComPtr<IDTExtensibility2> addin;  // used on the UI thread only
  int wizardAnswer = IDCANCEL;
  std::string wizardPath;

 private:
  void Record(UiCall call) {
    std::lock_guard<std::mutex> guard(lock_);
    uiCalls_.push_back(std::move(call));
  }

  std::mutex lock_;
  std::vector<UiCall> uiCalls_;
  Addin::AddinUi previousUi_;
  SAFEARRAY* custom_ = nullptr;
  bool connected_ = false;
};
