// A host process that quits the hard way: Tagsy.dll loaded and connected to the
// simulated Outlook, its synchronisation thread in the middle of a pass, and then the
// process ends without disconnecting or freeing anything. Exits with 7 once ExitProcess
// has run its course; a DLL that waited for its thread on the way out would hang here.
//   exit_with_addin_running.exe <Tagsy.dll> <ms to let the pass start>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

#include "AddInDesigner.h"
#include "OutlookSimHost.h"

namespace {
constexpr CLSID kClsidQvTagsyAddin = {
    0xA2EAAAB8, 0xF94D, 0x4970, {0x89, 0xFE, 0x5C, 0xA2, 0x4C, 0xC5, 0x33, 0x45}};
}

int main() {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!arguments || count < 3) return 2;
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  auto* host = new OutlookSim::OutlookSimHost;  // never destroyed: the process just ends
  HMODULE addin = ::LoadLibraryW(arguments[1]);
  if (!addin) return 3;
  auto getClassObject = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(::GetProcAddress(addin, "DllGetClassObject")));
  bool connected = false;
  host->RunOnUiThread([&] {
    IClassFactory* factory = nullptr;
    if (FAILED(getClassObject(kClsidQvTagsyAddin, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
      return;
    IDTExtensibility2* extensibility = nullptr;
    factory->CreateInstance(nullptr, __uuidof(IDTExtensibility2), reinterpret_cast<void**>(&extensibility));
    factory->Release();
    if (!extensibility) return;
    Microsoft::WRL::ComPtr<IDispatch> application = host->Application();
    SAFEARRAY* custom = nullptr;
    connected = SUCCEEDED(extensibility->OnConnection(application.Get(), ext_cm_Startup, nullptr, &custom)) &&
                SUCCEEDED(extensibility->OnStartupComplete(&custom));
    // The add-in object is left referenced, as by a host that crashes out.
  });
  if (!connected) return 4;
  ::Sleep(static_cast<DWORD>(std::wcstoul(arguments[2], nullptr, 10)));
  std::fflush(stdout);
  ::ExitProcess(7);
}
