#pragma once
// What Office does with the COM add-ins of the simulated Outlook, on its UI thread:
//   1. registers the Add-in Designer and Office type libraries, as Office setup does;
//   2. reads HKEY_LOCAL_MACHINE\Software\Microsoft\Office\Outlook\AddIns\<ProgID> and
//      takes those with LoadBehavior 3 (the caller may name the only ProgIDs to take);
//   3. for each: CLSIDFromProgID, CoCreateInstance (in-process), IDTExtensibility2,
//      OnConnection(Application, ext_cm_Startup, its AddIn object, empty custom array);
//      from Outlook 14 on, then IRibbonExtensibility::GetCustomUI for the explorer;
//   4. OnStartupComplete for every connected add-in;
//   5. from Outlook 14 on, for every add-in whose ribbon XML Office accepts: onLoad with
//      an IRibbonUI, then every button's getImage with an IRibbonControl, each callback
//      called by name through the add-in's IDispatch.
// Later: clicks (onAction by name), a user's disconnection and re-connection, and the
// shutdown (OnBeginShutdown, OnDisconnection, release, CoFreeUnusedLibrariesEx) with a
// check that the add-in's DLL left the process.
//
// Every call into an add-in is guarded: a failure or an exception becomes a
// LoaderFailure, never a crash of the host. The calls themselves are made on the UI
// thread; the loader's methods may be called from any one thread at a time.
#include <windows.h>
#include <oaidl.h>

#include <memory>
#include <string>
#include <vector>

#include "OutlookSimHost.h"
#include "RibbonPicture.h"
#include "RibbonXml.h"

namespace OutlookSim {

inline constexpr wchar_t kAddinsKey[] = L"Software\\Microsoft\\Office\\Outlook\\AddIns";
inline constexpr wchar_t kExplorerRibbonId[] = L"Microsoft.Outlook.Explorer";

// One subkey of the AddIns key.
struct AddinRegistration {
  std::wstring progId, description, friendlyName;
  bool hasLoadBehavior = false;  // a REG_DWORD LoadBehavior is there
  DWORD loadBehavior = 0;
};
// Every add-in registered for Outlook, in the registry's order.
std::vector<AddinRegistration> ReadAddinRegistrations();

// A failed step: the add-in, what the host did, what it got.
struct LoaderFailure {
  std::wstring progId;
  std::string step;  // "CoCreateInstance", "OnConnection", "GetCustomUI", "onLoad OnRibbonLoad", ...
  HRESULT hr = S_OK;
  std::wstring description;  // EXCEPINFO's or the loader's own words
};

// What a late-bound callback returned.
struct CallbackResult {
  std::wstring name;  // the callback's name from the XML
  HRESULT hr = E_FAIL;
  HRESULT scode = S_OK;  // EXCEPINFO's, when hr is DISP_E_EXCEPTION
  std::wstring description, source;
};

struct ImageResult {
  std::wstring controlId;
  CallbackResult call;
  PictureCheck picture;
};

struct AddinReport {
  AddinRegistration registration;
  std::wstring clsid;    // "{...}"; empty when the ProgID names no class
  std::wstring dllPath;  // InprocServer32
  bool created = false;  // CoCreateInstance succeeded
  bool connected = false;
  bool startupComplete = false;  // OnStartupComplete succeeded
  int connections = 0;  // OnConnection calls that succeeded
  bool ribbonAsked = false;  // GetCustomUI was called
  std::wstring ribbonXml;
  RibbonXmlCheck ribbon;
  CallbackResult onLoad;  // hr E_FAIL and no name while not called
  std::vector<ImageResult> images;
  bool shutDown = false;  // shut down by Shutdown()
  bool dllLoadedAfterShutdown = false;  // the DLL was still in the process afterwards
};

struct ClickResult {
  bool found = false;  // a control of that id is in the add-in's accepted ribbon
  CallbackResult call;
};

class AddinLoader {
 public:
  // Registers the Office type libraries; loads nothing yet. The host must outlive it.
  explicit AddinLoader(OutlookSimHost& host);
  // Shuts down whatever is still connected.
  ~AddinLoader();
  AddinLoader(const AddinLoader&) = delete;
  AddinLoader& operator=(const AddinLoader&) = delete;

  // Steps 2 to 5 above. `only`: when not empty, the only ProgIDs to consider.
  void LoadAll(const std::vector<std::wstring>& only = {});
  // The onAction of the control `controlId` in the add-in's ribbon, with an
  // IRibbonControl (Id = controlId, Context = the active explorer).
  ClickResult Click(const std::wstring& progId, const std::wstring& controlId);
  // OnDisconnection(ext_dm_UserClosed), then the host lets the add-in go. False when it
  // is not connected.
  bool Disconnect(const std::wstring& progId);
  // A new instance and OnConnection(ext_cm_AfterStartup), no OnStartupComplete; the
  // ribbon is asked for again from Outlook 14 on. False when it is connected or unknown.
  bool Reconnect(const std::wstring& progId);
  // OnBeginShutdown to every connected add-in, then OnDisconnection(ext_dm_HostShutdown)
  // to each, releases every reference, frees unused libraries and checks which DLLs
  // stayed. Runs once.
  void Shutdown();

  std::vector<AddinReport> Reports() const;
  // The add-in of that ProgID; std::invalid_argument when the loader never took it.
  AddinReport Report(const std::wstring& progId) const;
  std::vector<LoaderFailure> Failures() const;
  // Every failure, one a line, "" when nothing failed (for messages and reports).
  std::string FailureText() const;
  // Did registering the type libraries work?
  HRESULT TypeLibraryRegistration() const noexcept { return registration_; }

 private:
  struct Addin;
  Addin& Find(const std::wstring& progId) const;
  void Connect(Addin& addin, int mode);
  void AskRibbon(Addin& addin);
  void LoadRibbon(Addin& addin);
  void Release(Addin& addin);
  void Fail(const Addin& addin, std::string step, HRESULT hr, std::wstring description = {});

  OutlookSimHost& host_;
  HRESULT registration_ = S_OK;
  bool shutDown_ = false;
  std::vector<std::unique_ptr<Addin>> addins_;
  std::vector<LoaderFailure> failures_;
};

}  // namespace OutlookSim
