#include "QvTagsyAddin.h"

#include <new>

#include "ActivationContext.h"
#include "AddinContext.h"
#include "AddinUi.h"
#include "ComDispatch.h"
#include "ComError.h"
#include "EntryPoint.h"
#include "Error.h"
#include "RibbonResources.h"
#include "Settings.h"
#include "TagsyExtension.h"
#include "qv/Text.h"

namespace {

constexpr IID kIidOutlookApplication = {0x00063001, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

const Error::EntryPointTexts kConnectionTexts = {"Failed to load Velmora Tagsy addin.", 0, 0};
const Error::EntryPointTexts kButtonTexts = {"Unexpected exception!", 0, 0, false};
const Error::EntryPointTexts kOptionsTexts = {"Unhandled Exception!", 0, 0, false};

// The options page: anything raised is "Unhandled Exception!", the add-in's own
// exceptions included.
void RunOptions() {
  try {
    Addin::CurrentAddinUi().runOptionsSheet();
  } catch (...) {
    Error::GuardTeardownStep([] { Error::AppMessageBox(kOptionsTexts.otherFailure, 0); });
  }
}

}  // namespace

HRESULT CQvTagsyAddin::FinalConstruct() {
  try {
    sinks_ = CRefCountPtr<Outlook::COutlookEventSinksContainer>(
        new Outlook::COutlookEventSinksContainer(false));
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// ---- IDTExtensibility2 ---------------------------------------------------------------------

STDMETHODIMP CQvTagsyAddin::OnConnection(IDispatch* application, ext_ConnectMode, IDispatch*,
                                         SAFEARRAY**) {
  Addin::CActivationScope activation;
  Error::GuardEntryPoint(kConnectionTexts, [&] { Connect(application); });
  return S_OK;
}

void CQvTagsyAddin::Connect(IDispatch* application) {
  CAddinContext& context = CAddinContext::Instance();
  if (!context.HasApplication() && application) context.SetApplication(application);

  application_.Reset();
  if (application)
    application->QueryInterface(kIidOutlookApplication,
                                reinterpret_cast<void**>(application_.GetAddressOf()));
  if (!application_) Error::ThrowComError(E_POINTER);

  const Com::DispatchRef outlook(application_, "Outlook.Application");
  const Com::DispatchRef explorers = outlook.GetObject(L"Explorers", "Outlook.Explorers");
  if (!explorers) Error::ThrowComError(E_POINTER);
  const long count = explorers.GetLong(L"Count");

  bool following = false;
  if (count > 0) {
    Com::DispatchRef explorer = outlook.CallObject(L"ActiveExplorer", "Outlook.Explorer");
    if (!explorer) {
      const Com::Variant first = Com::Variant::Int(1);
      explorer = explorers.CallObject(L"Item", "Outlook.Explorer", {&first});
    }
    if (explorer) {
      auto sink = Qv::MakeComObject<Outlook::COutlookEventSinkExplorerImpl>();
      VARIANT_BOOL advised = VARIANT_FALSE;
      sink->Advise(explorer.Get(), &advised);
      if (advised == VARIANT_TRUE) {
        sinks_->Add(sink.Get());
        following = true;
      }
    }
  }
  if (!following) {
    auto sink = Qv::MakeComObject<Outlook::COutlookEventSinkExplorersImpl>();
    VARIANT_BOOL advised = VARIANT_FALSE;
    sink->Advise(explorers.Get(), &advised);
    sinks_->Add(sink.Get());
  }
}

STDMETHODIMP CQvTagsyAddin::OnStartupComplete(SAFEARRAY**) {
  Addin::CActivationScope activation;
  Error::GuardEntryPoint(kConnectionTexts, [this] {
    if (!application_) Error::ThrowComError(E_POINTER);
    const Com::DispatchRef explorer =
        Com::DispatchRef(application_, "Outlook.Application").CallObject(L"ActiveExplorer", "Outlook.Explorer");
    if (!explorer) return;
    CRefCountPtr<CTagsyExtension> extension = CAddinContext::Instance().Extension();
    extension->Initialize(explorer.Get());
  });
  return S_OK;
}

STDMETHODIMP CQvTagsyAddin::OnDisconnection(ext_DisconnectMode, SAFEARRAY**) {
  Error::GuardTeardownStep([] {
    CRefCountPtr<CTagsyExtension> extension = CAddinContext::Instance().Extension();
    extension->Uninitialize();
  });
  Error::GuardTeardownStep([this] { sinks_->Clear(); });
  Error::GuardTeardownStep([this] { application_.Reset(); });
  return S_OK;
}

STDMETHODIMP CQvTagsyAddin::OnAddInsUpdate(SAFEARRAY**) { return S_OK; }
STDMETHODIMP CQvTagsyAddin::OnBeginShutdown(SAFEARRAY**) { return S_OK; }

// ---- IRibbonExtensibility ------------------------------------------------------------------

STDMETHODIMP CQvTagsyAddin::GetCustomUI(BSTR ribbonId, BSTR* ribbonXml) {
  if (!ribbonXml) return E_POINTER;
  try {
    const std::string id = Qv::WideToAnsi(ribbonId ? std::wstring(ribbonId, ::SysStringLen(ribbonId))
                                                   : std::wstring());
    if (::lstrcmpiA(id.c_str(), Addin::kExplorerRibbonId) != 0) return S_OK;
    const std::wstring xml = Addin::LoadRibbonXml();
    BSTR text = ::SysAllocStringLen(xml.data(), static_cast<UINT>(xml.size()));
    if (!text) return E_OUTOFMEMORY;
    *ribbonXml = text;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// ---- IQvTagsyAddin: the ribbon callbacks ---------------------------------------------------

STDMETHODIMP CQvTagsyAddin::OnRibbonLoad(IDispatch* ribbonUi) {
  ribbon_.Reset();
  if (ribbonUi) ribbonUi->QueryInterface(IID_PPV_ARGS(&ribbon_));
  return S_OK;
}

STDMETHODIMP CQvTagsyAddin::OnTagsyButtonClicked(IDispatch*) {
  Addin::CActivationScope activation;
  Error::GuardEntryPoint(kButtonTexts, [] {
    CRefCountPtr<CSettings> settings(new (std::nothrow) CSettings);
    if (!settings)
      throw Error::QvExceptionText("Failed to allocate memory for settings object.", "QvTagsyAddin",
                                   __LINE__);
    settings->Load();
    if (!settings->IsConfigured()) {
      // The button offers the wizard whatever DoNotShowConfigWizard says.
      CRefCountPtr<CSettings> copy = settings->Clone();
      if (Addin::CurrentAddinUi().runConfigWizard(*copy) == Addin::kWizardFinish) copy->Save();
      return;
    }
    Addin::CurrentAddinUi().runCategoryEditor(settings->GetPublicFileLocation());
  });
  return S_OK;
}

STDMETHODIMP CQvTagsyAddin::GetTagsyBtnImage(IDispatch*, IPictureDisp** image) {
  if (!image) return S_OK;
  try {
    IPictureDisp* picture = nullptr;
    if (Addin::CreateButtonPicture(&picture) == S_OK && picture) *image = picture;
  } catch (...) {
  }
  return S_OK;
}

STDMETHODIMP CQvTagsyAddin::OnOptionsClicked(IDispatch*) {
  Addin::CActivationScope activation;
  RunOptions();
  return S_OK;
}

// No control of our ribbon is bound to it; it opens the same options page.
STDMETHODIMP CQvTagsyAddin::OnOptionsBtnClicked(IDispatch*) {
  Addin::CActivationScope activation;
  RunOptions();
  return S_OK;
}
