#include "TagsyModule.h"

#include <mutex>

#include "AddinIds.h"
#include "AddinTypeLibraries.h"
#include "FirewallController.h"
#include "MessageBoxes.h"
#include "QvTagsyAddin.h"
#include "VersionInfo.h"
#include "qv/ComObject.h"
#include "qv/Registrar.h"
#include "qv/ResourceText.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

constexpr UINT kAppIdScript = 2060;
constexpr UINT kClassScript = 2061;

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  ::StringFromGUID2(guid, text, 40);
  return text;
}

}  // namespace

CQvParvaneExtApp& CQvParvaneExtApp::Instance() {
  static CQvParvaneExtApp application;
  return application;
}

CQvParvaneExtApp::CQvParvaneExtApp() : resources_({"Tagsy_ResEN.dll"}) {}

void CQvParvaneExtApp::EnsureStarted() {
  std::call_once(started_, [this] {
    Error::SetApplicationName(Addin::kApplicationName);
    // The module's own resources (the Polish ones) unless a language library replaces them.
    Qv::SetResourceModule(CQvParvaneExtModule::Module());
    resources_.Load(CQvParvaneExtModule::Module());
    try {
      QvFirewallController().AuthorizeApplication(GetOutlookExecutableInfo().Path, "Microsoft Outlook");
    } catch (...) {
    }
  });
}

void CQvParvaneExtApp::End() noexcept { resources_.Unload(); }

HMODULE CQvParvaneExtModule::Module() noexcept { return reinterpret_cast<HMODULE>(&__ImageBase); }

HRESULT CQvParvaneExtModule::GetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!::IsEqualCLSID(clsid, Addin::kClsidQvTagsyAddin)) return CLASS_E_CLASSNOTAVAILABLE;
  return Qv::CachedClassFactory<CQvTagsyAddin>::Instance().QueryInterface(iid, object);
}

bool CQvParvaneExtModule::CanUnload() noexcept { return Qv::ComModule::CanUnload(); }

HRESULT CQvParvaneExtModule::RegisterAppId(bool registering) {
  try {
    Qv::QvRegistrar registrar;
    registrar.AddReplacement(L"APPID", GuidText(Addin::kAppId));
    const std::string script = Qv::QvRegistrar::LoadScript(Module(), kAppIdScript);
    const LSTATUS status = registering ? registrar.Register(script) : registrar.Unregister(script);
    return HRESULT_FROM_WIN32(status);
  } catch (const Qv::RegistryScriptError&) {
    return E_UNEXPECTED;
  }
}

HRESULT CQvParvaneExtModule::RegisterServer(bool registering) {
  try {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(Module(), path, MAX_PATH);
    Qv::QvRegistrar registrar;
    registrar.AddReplacement(L"MODULE", path);
    const std::string script = Qv::QvRegistrar::LoadScript(Module(), kClassScript);
    const LSTATUS status = registering ? registrar.Register(script) : registrar.Unregister(script);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    return registering ? Addin::AddinTypeLibrary().Register() : Addin::AddinTypeLibrary().Unregister();
  } catch (const Qv::RegistryScriptError&) {
    return E_UNEXPECTED;
  }
}
