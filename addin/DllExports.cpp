// Tagsy.dll's four exports and its entry point.
#include <windows.h>

#include "AddinContext.h"
#include "ActivationContext.h"
#include "AddinRegistration.h"
#include "EntryPoint.h"
#include "TagsyModule.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      ::DisableThreadLibraryCalls(reinterpret_cast<HMODULE>(CQvParvaneExtModule::Module()));
      break;
    case DLL_PROCESS_DETACH:
      // At process exit the other threads are already gone and the loader lock is held:
      // nothing may be waited for or released into other modules. Leave it all.
      if (reserved != nullptr) break;
      // Unloaded by FreeLibrary: DllCanUnloadNow has normally taken the context down
      // already (the synchronisation thread keeps the module loaded while it runs).
      Error::GuardTeardownStep([] { CAddinContext::Destroy(); });
      CQvParvaneExtApp::Instance().End();
      Addin::ReleaseActivationContext();
      break;
    default:
      break;
  }
  return TRUE;
}

STDAPI DllCanUnloadNow() {
  if (!CQvParvaneExtModule::CanUnload()) return S_FALSE;
  // Nothing of ours is referenced any more: stop the synchronisation thread now, outside
  // the loader lock, so that the module can really go.
  Error::GuardTeardownStep([] { CAddinContext::Destroy(); });
  return CQvParvaneExtModule::CanUnload() ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  CQvParvaneExtApp::Instance().EnsureStarted();
  return CQvParvaneExtModule::GetClassObject(clsid, iid, object);
}

STDAPI DllRegisterServer() {
  CQvParvaneExtApp::Instance().EnsureStarted();
  CQvParvaneExtModule::RegisterAppId(true);
  const HRESULT hr = CQvParvaneExtModule::RegisterServer(true);
  if (FAILED(hr)) return hr;
  return Addin::RegisterOutlookAddin();
}

STDAPI DllUnregisterServer() {
  CQvParvaneExtApp::Instance().EnsureStarted();
  CQvParvaneExtModule::RegisterAppId(false);
  const HRESULT hr = CQvParvaneExtModule::RegisterServer(false);
  if (FAILED(hr)) return hr;
  return Addin::UnregisterOutlookAddin();
}
