// How long Outlook's start waits for the add-in: Tagsy.dll loaded the way COM loads it,
// the add-in object connected to the simulated Outlook, OnConnection plus
// OnStartupComplete timed while the configured FTP server takes the connection and never
// answers (the start-up access check must not wait for it).
//   startup ms=<t> server=unreachable
#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "AddInDesigner.h"
#include "OutlookSimHost.h"
#include "Settings.h"
#include "ShellWrapper.h"
#include "support/SilentTcpServer.h"

namespace {

constexpr CLSID kClsidQvTagsyAddin = {
    0xA2EAAAB8, 0xF94D, 0x4970, {0x89, 0xFE, 0x5C, 0xA2, 0x4C, 0xC5, 0x33, 0x45}};


std::string ReadAll(const std::string& path, bool* existed) {
  std::ifstream in(path, std::ios::binary);
  *existed = static_cast<bool>(in);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string AddinPath() {
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path(self);
  path.erase(path.find_last_of('\\') + 1);
  return path + "..\\..\\addin\\Tagsy.dll";
}

}  // namespace

int main() {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::string settingsPath = GetSettingsFilePath();
  bool existed = false;
  const std::string saved = ReadAll(settingsPath, &existed);

  SilentTcpServer silent;
  CSettings settings;
  settings.SetIsInternetFile(true);
  settings.SetDataFileUrl("ftp://127.0.0.1:" + std::to_string(silent.Port()) + "/publiczne.txt");
  settings.SetOutlookUnblocked(true);
  settings.Save();

  int status = 1;
  {
    OutlookSim::OutlookSimHost host;
    HMODULE addin = ::LoadLibraryA(AddinPath().c_str());
    auto getClassObject = addin ? reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
                                      reinterpret_cast<void*>(::GetProcAddress(addin, "DllGetClassObject")))
                                : nullptr;
    double ms = -1;
    host.RunOnUiThread([&] {
      IClassFactory* factory = nullptr;
      if (!getClassObject ||
          FAILED(getClassObject(kClsidQvTagsyAddin, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
        return;
      IDTExtensibility2* extensibility = nullptr;
      factory->CreateInstance(nullptr, __uuidof(IDTExtensibility2), reinterpret_cast<void**>(&extensibility));
      factory->Release();
      if (!extensibility) return;
      Microsoft::WRL::ComPtr<IDispatch> application = host.Application();
      SAFEARRAY* custom = nullptr;
      const auto start = std::chrono::steady_clock::now();
      extensibility->OnConnection(application.Get(), ext_cm_Startup, nullptr, &custom);
      extensibility->OnStartupComplete(&custom);
      ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
      extensibility->OnBeginShutdown(&custom);
      extensibility->OnDisconnection(ext_dm_HostShutdown, &custom);
      extensibility->Release();
    });
    if (ms >= 0) {
      std::printf("startup ms=%.1f server=unreachable\n", ms);
      status = 0;
    } else {
      std::printf("startup failed: Tagsy.dll not loaded from %s\n", AddinPath().c_str());
    }
    // The module's unload stops its thread.
    auto canUnload = addin ? reinterpret_cast<HRESULT(WINAPI*)()>(
                                 reinterpret_cast<void*>(::GetProcAddress(addin, "DllCanUnloadNow")))
                           : nullptr;
    if (canUnload) canUnload();
  }

  if (existed) {
    std::ofstream(settingsPath, std::ios::binary | std::ios::trunc) << saved;
  } else {
    ::DeleteFileA(settingsPath.c_str());
  }
  std::fflush(stdout);
  // The access probe may still wait for the silent server; the process does not.
  ::ExitProcess(static_cast<UINT>(status));
}
