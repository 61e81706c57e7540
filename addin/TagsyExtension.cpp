#include "TagsyExtension.h"

#include <ole2.h>
#include <oleidl.h>

#include "AddinContext.h"
#include "AddinRegistryValues.h"
#include "AddinUi.h"
#include "ComDispatch.h"
#include "ComError.h"
#include "EntryPoint.h"
#include "Error.h"
#include "FirewallController.h"
#include "qv/MapiSessionProvider.h"
#include "PublicCategoryFile.h"
#include "Settings.h"
#include "StartupAccessProbe.h"
#include "VersionInfo.h"

namespace {

constexpr DWORD kSyncPeriodMs = 10000;
// The ribbon serves Outlook 2010 and later; older ones get the command-bar button.
constexpr int kFirstRibbonOutlook = 14;

}  // namespace

CTagsyExtension::CTagsyExtension() = default;

CTagsyExtension::~CTagsyExtension() = default;

void CTagsyExtension::Initialize(IDispatch* explorer) {
  if (initialised_) return;
  initialised_ = true;

  UnblockOutlookStep();
  AccessStep();

  CAddinContext& context = CAddinContext::Instance();
  const Com::DispatchRef explorerRef(explorer, "Outlook.Explorer");
  application_ = explorerRef.GetObject(L"Application", "Outlook.Application").Get();

  Microsoft::WRL::ComPtr<IOleWindow> oleWindow;
  Error::ThrowIfFailed(explorer->QueryInterface(IID_PPV_ARGS(&oleWindow)), explorer, IID_IOleWindow);
  HWND window = nullptr;
  Error::ThrowIfFailed(oleWindow->GetWindow(&window), oleWindow.Get(), IID_IOleWindow);
  context.SetExplorerWindow(window);

  try {
    AttachOutlookSession();
  } catch (...) {
    // Outlook without a session of its own: the fallback provider below may have one.
  }
  if (session_.IsEmpty()) AttachFallbackSession();
  if (session_.IsEmpty()) throw Error::QvExceptionText("Failed to obtain MAPI session.", nullptr, 0);

  if (!context.ThreadStarted()) {
    thread_.Start(kSyncPeriodMs);
    thread_.Resume();
    context.SetThreadStarted();
  }

  const CVersionNumber version(Com::DispatchRef(application_, "Outlook.Application").GetText(L"Version"),
                               ".,");
  if (version[0] < kFirstRibbonOutlook) Addin::CurrentAddinUi().installCommandBars(explorer);

  RunWizardWhenDue();
}

void CTagsyExtension::Uninitialize() {
  if (!initialised_) return;
  initialised_ = false;
  Error::GuardTeardownStep([this] { application_.Reset(); });
  Error::GuardTeardownStep([this] { session_.Release(); });
}

void CTagsyExtension::UnblockOutlookStep() {
  // The firewall controller reports its own failures and never raises.
  UnblockOutlookOnce();
}

void CTagsyExtension::AccessStep() {
  CSettings settings;
  settings.Load();
  if (!settings.GetOutlookUnblocked()) UnblockOutlookOnce();

  const CPublicFileLocation location = settings.GetPublicFileLocation();
  if (location.Path.empty()) return;
  if (Addin::ReadAddinDword(Addin::kShowWarningValue, 1) == 0) return;

  // The parent is the window an earlier initialisation stored (none on the first), as
  // it stands now, not when the answer arrives.
  const HWND parent = CAddinContext::Instance().ExplorerWindow();
  if (!accessProbe_) accessProbe_ = std::make_unique<Addin::CStartupAccessProbe>();
  const std::string path = location.Path;
  auto answer = [parent, path](PublicFileAccess access) {
    if (access >= AccessReadOnly) return;
    Error::GuardEntryPoint({"Unexpected exception!"},
                           [&] { Addin::CurrentAddinUi().showNoAccessWarning(parent, path); });
  };
  if (accessProbe_->Start(location, answer)) return;
  // No thread to probe on: ask here, as slow as that may be, rather than never.
  CPublicCategoryFile file(location);
  answer(file.CheckAccess());
}

void CTagsyExtension::AttachOutlookSession() {
  const Com::DispatchRef application(application_, "Outlook.Application");
  const Com::DispatchRef nameSpace = application.GetObject(L"Session", "Outlook.NameSpace");
  if (!nameSpace) return;
  Com::Variant mapiObject = nameSpace.GetProperty(L"MAPIOBJECT");
  IUnknown* object = nullptr;
  if (mapiObject.Type() == VT_UNKNOWN || mapiObject.Type() == VT_DISPATCH)
    object = V_UNKNOWN(mapiObject.Get());
  if (object) session_.Attach(object);
}

void CTagsyExtension::AttachFallbackSession() {
  Microsoft::WRL::ComPtr<IUnknown> created;
  if (FAILED(::CoCreateInstance(kClsidQvMapiSessionProvider, nullptr, CLSCTX_ALL,
                                IID_PPV_ARGS(&created))))
    return;
  // A provider in a process of its own must be running before it answers.
  ::OleRun(created.Get());
  Microsoft::WRL::ComPtr<IQvMapiSessionProvider> provider;
  if (FAILED(created.As(&provider))) return;
  Microsoft::WRL::ComPtr<IUnknown> session;
  if (SUCCEEDED(provider->GetSession(&session)) && session) session_.Attach(session.Get());
}

void CTagsyExtension::RunWizardWhenDue() {
  CSettings settings;
  settings.Load();
  if (settings.IsConfigured()) return;
  if (Addin::ReadAddinDword(Addin::kDoNotShowConfigWizardValue, 0) != 0) return;
  CRefCountPtr<CSettings> copy = settings.Clone();
  if (Addin::CurrentAddinUi().runConfigWizard(*copy) == Addin::kWizardFinish) copy->Save();
}
