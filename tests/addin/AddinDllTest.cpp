// Tagsy.dll loaded as Office loads it: registered with regsvr32, found by the simulated
// Outlook's add-in loader through Outlook's add-in key, connected, asked for its ribbon,
// called back by name, shut down and unloaded. Also with the English resource library
// beside it, and the module's own unload rule.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "AddinBinary.h"
#include "AddinLoader.h"
#include "ResourceIds.h"
#include "SimPrograms.h"
#include "OutlookSimHost.h"
#include "Settings.h"
#include "qv/Text.h"
#include "support/LoopbackServers.h"
#include "support/SettingsFolderSandbox.h"
#include "support/WineVersion.h"

namespace {

const wchar_t kProgId[] = L"QvParvaneExt.QvTagsyAddin";
const CLSID kClsid = {0xA2EAAAB8, 0xF94D, 0x4970, {0x89, 0xFE, 0x5C, 0xA2, 0x4C, 0xC5, 0x33, 0x45}};

class AddinDll : public ::testing::Test {
 protected:
  void SetUp() override {
    // A user who is past the firewall step and has not configured the add-in yet: the
    // start-up road runs whole and opens nothing.
    CSettings settings;
    settings.SetOutlookUnblocked(true);
    settings.Save();
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Velmora\\Velmora Tagsy", 0, nullptr, 0, KEY_ALL_ACCESS,
                      nullptr, &key, nullptr);
    const DWORD one = 1;
    ::RegSetValueExA(key, "DoNotShowConfigWizard", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
    ::RegCloseKey(key);
  }
  void TearDown() override {
    if (!registered_.empty()) Regsvr32(L"/s /u \"" + registered_ + L"\"");
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Velmora\\Velmora Tagsy");
  }
  void Register(const std::wstring& path) {
    ASSERT_EQ(0u, Regsvr32(L"/s \"" + path + L"\""));
    registered_ = path;
  }
  // A copy of the add-in (and, when asked, the English library) in a folder of its own.
  std::wstring CopyAddin(bool english) {
    const std::wstring folder = Qv::AnsiToWide(scratch_.WindowsPath(english ? "en" : "pl"));
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring copy = folder + L"\\Tagsy.dll";
    EXPECT_TRUE(::CopyFileW(AddinPath().c_str(), copy.c_str(), FALSE));
    if (english) {
      EXPECT_TRUE(::CopyFileW(AddinPath(L"Tagsy_ResEN.dll").c_str(), (folder + L"\\Tagsy_ResEN.dll").c_str(), FALSE));
    }
    return copy;
  }

  SettingsFolderSandbox settingsFolder_;
  ScratchFolder scratch_;
  std::wstring registered_;
};

TEST_F(AddinDll, OutlookLoadsItThroughTheRegistryAndUnloadsItCleanly) {
  Register(AddinPath());
  OutlookSim::OutlookSimHost host;
  std::wstring dllPath;
  {
    OutlookSim::AddinLoader loader(host);
    ASSERT_EQ(S_OK, loader.TypeLibraryRegistration());
    loader.LoadAll({kProgId});
    OutlookSim::AddinReport report = loader.Report(kProgId);
    dllPath = report.dllPath;
    EXPECT_TRUE(report.created);
    EXPECT_TRUE(report.connected);
    EXPECT_TRUE(report.startupComplete);
    ASSERT_TRUE(report.ribbonAsked);
    EXPECT_TRUE(report.ribbon.Accepted()) << report.ribbon.parseError;
    for (const std::wstring& problem : report.ribbon.problems) ADD_FAILURE() << Qv::WideToAnsi(problem);
    EXPECT_EQ(6u, report.ribbon.tabs.size());
    EXPECT_EQ(L"OnRibbonLoad", report.onLoad.name);
    EXPECT_EQ(S_OK, report.onLoad.hr);
    ASSERT_EQ(6u, report.images.size());
    for (const auto& image : report.images) {
      SCOPED_TRACE(Qv::WideToAnsi(image.controlId));
      EXPECT_EQ(S_OK, image.call.hr);
      EXPECT_TRUE(image.picture.picture);
      EXPECT_TRUE(image.picture.IsIconOrBitmap());
      EXPECT_EQ(32, image.picture.width);
      EXPECT_EQ(32, image.picture.height);
      EXPECT_GT(image.picture.paintedPixels, 200) << "a real picture, not an empty one";
    }
    // Both kinds of control answer by name (nothing configured: the button's wizard and
    // the launcher's options page are windows of later work, the calls succeed).
    for (const wchar_t* control : {L"TagsyMail", L"TagsyOptionsJournals"}) {
      const OutlookSim::ClickResult click = loader.Click(kProgId, control);
      EXPECT_TRUE(click.found);
      EXPECT_EQ(S_OK, click.call.hr) << Qv::WideToAnsi(click.call.description);
    }
    EXPECT_TRUE(loader.Disconnect(kProgId));
    EXPECT_TRUE(loader.Reconnect(kProgId)) << "the user turns it on again in the same process";

    loader.Shutdown();
    report = loader.Report(kProgId);
    EXPECT_TRUE(report.shutDown);
    EXPECT_FALSE(report.dllLoadedAfterShutdown) << "Tagsy.dll left the process";
    EXPECT_EQ("", loader.FailureText());
  }
  EXPECT_EQ(nullptr, ::GetModuleHandleW(dllPath.c_str()));
  EXPECT_EQ(0, host.LiveObjects()) << "the add-in released everything it took from Outlook";
}

TEST_F(AddinDll, TheEnglishLibraryBesideTheAddinGivesTheEnglishRibbon) {
  for (bool english : {false, true}) {
    SCOPED_TRACE(english ? "with Tagsy_ResEN.dll" : "alone");
    const std::wstring copy = CopyAddin(english);
    Register(copy);
    OutlookSim::OutlookSimHost host;
    OutlookSim::AddinLoader loader(host);
    loader.LoadAll({kProgId});
    const OutlookSim::AddinReport report = loader.Report(kProgId);
    EXPECT_EQ(0, ::_wcsicmp(copy.c_str(), report.dllPath.c_str())) << Qv::WideToAnsi(report.dllPath);
    EXPECT_TRUE(report.ribbon.Accepted());
    const bool hasEnglish = report.ribbonXml.find(L"Manage Categories") != std::wstring::npos;
    const bool hasPolish = report.ribbonXml.find(L"Zarz\u0105dzaj Kategoriami") != std::wstring::npos;
    EXPECT_EQ(english, hasEnglish);
    EXPECT_EQ(!english, hasPolish);
    ASSERT_FALSE(report.images.empty());
    EXPECT_GT(report.images[0].picture.paintedPixels, 200);
    loader.Shutdown();
    EXPECT_FALSE(loader.Report(kProgId).dllLoadedAfterShutdown);
    Regsvr32(L"/s /u \"" + copy + L"\"");
    registered_.clear();
  }
}

TEST_F(AddinDll, OutlookBefore2010AsksForNoRibbon) {
  Register(AddinPath());
  OutlookSim::SimOptions options;
  options.version = L"12.0.6423.1000";
  OutlookSim::OutlookSimHost host(options);
  OutlookSim::AddinLoader loader(host);
  loader.LoadAll({kProgId});
  const OutlookSim::AddinReport report = loader.Report(kProgId);
  EXPECT_TRUE(report.connected);
  EXPECT_TRUE(report.startupComplete);
  EXPECT_FALSE(report.ribbonAsked);
  loader.Shutdown();
  EXPECT_FALSE(loader.Report(kProgId).dllLoadedAfterShutdown);
  EXPECT_EQ("", loader.FailureText());
}

// A message of the start-up road, shown by the real DLL inside the outlook-sim program:
// Windows 7 (Wine's "win2008r2" reports a Windows 7 workstation) and a user who has not
// been through the firewall step, so the add-in says it could not add the rule (Wine has
// no elevation). The text comes from Tagsy_ResEN.dll when it sits beside the add-in.
std::wstring StartupMessageFromProgram(const std::wstring& addin) {
  const WineVersionForExecutable windows7("outlook-sim-16.exe", "win2008r2");
  std::wstring command = L"\"" + SimPath(16) + L"\" --load-addins --addin QvParvaneExt.QvTagsyAddin --run 2";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return L"<not started>";
  Qv::UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
  struct Search {
    DWORD processId;
    HWND box = nullptr;
  } search{process.dwProcessId};
  std::wstring text = L"<no message>";
  const ULONGLONG end = ::GetTickCount64() + 30000;
  while (::GetTickCount64() < end && ::WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT) {
    ::EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
          auto* search = reinterpret_cast<Search*>(parameter);
          DWORD owner = 0;
          ::GetWindowThreadProcessId(window, &owner);
          wchar_t className[16] = {}, caption[64] = {};
          ::GetClassNameW(window, className, 16);
          ::GetWindowTextW(window, caption, 64);
          if (owner != search->processId || std::wstring(className) != L"#32770" ||
              std::wstring(caption) != L"Velmora Tagsy")
            return TRUE;
          search->box = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (!search.box) continue;
    wchar_t shown[1024] = {};
    ::GetDlgItemTextW(search.box, 0xFFFF, shown, 1024);
    text = shown;
    ::PostMessageW(search.box, WM_COMMAND, IDOK, 0);
    search.box = nullptr;
  }
  if (::WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) ::TerminateProcess(process.hProcess, 1);
  DWORD code = 1;
  ::GetExitCodeProcess(process.hProcess, &code);
  EXPECT_EQ(0u, code) << "the program ran and unloaded the add-in cleanly";
  return text;
}

std::wstring StringOf(const std::wstring& module, UINT id) {
  HMODULE library = ::LoadLibraryExW(module.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  const wchar_t* text = nullptr;
  const int length = library ? ::LoadStringW(library, id, reinterpret_cast<LPWSTR>(&text), 0) : 0;
  std::wstring result = length > 0 ? std::wstring(text, length) : std::wstring();
  if (library) ::FreeLibrary(library);
  return result;
}

TEST_F(AddinDll, StartupMessagesComeFromTheEnglishLibraryBesideTheAddin) {
  for (bool english : {false, true}) {
    SCOPED_TRACE(english ? "with Tagsy_ResEN.dll" : "alone");
    const std::wstring copy = CopyAddin(english);
    Register(copy);
    ::DeleteFileA(settingsFolder_.File("settings.ini").c_str());
    const std::wstring expected =
        StringOf(english ? AddinPath(L"Tagsy_ResEN.dll") : AddinPath(), IDS_FIREWALL_RULE_FAILED);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(expected, StartupMessageFromProgram(copy));
    Regsvr32(L"/s /u \"" + copy + L"\"");
    registered_.clear();
  }
  EXPECT_NE(StringOf(AddinPath(L"Tagsy_ResEN.dll"), IDS_FIREWALL_RULE_FAILED),
            StringOf(AddinPath(), IDS_FIREWALL_RULE_FAILED));
}

// DllCanUnloadNow answers S_FALSE while an add-in object or a lock on the class object
// is alive.
TEST_F(AddinDll, ModuleStaysWhileAnObjectOrALockLives) {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  HMODULE module = ::LoadLibraryW(AddinPath().c_str());
  ASSERT_NE(nullptr, module);
  auto canUnload = ModuleExport<HRESULT(WINAPI*)()>(module, "DllCanUnloadNow");
  auto getClassObject = ModuleExport<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(module, "DllGetClassObject");
  ASSERT_TRUE(canUnload && getClassObject);
  EXPECT_EQ(S_OK, canUnload());

  IClassFactory* factory = nullptr;
  ASSERT_EQ(S_OK, getClassObject(kClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
  IClassFactory* again = nullptr;
  ASSERT_EQ(S_OK, getClassObject(kClsid, IID_IClassFactory, reinterpret_cast<void**>(&again)));
  EXPECT_EQ(factory, again) << "one cached class object";
  again->Release();
  IUnknown* object = nullptr;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)));
  factory->LockServer(TRUE);
  factory->Release();
  EXPECT_EQ(S_FALSE, canUnload()) << "object and lock";
  object->Release();
  EXPECT_EQ(S_FALSE, canUnload()) << "lock";
  getClassObject(kClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  factory->LockServer(FALSE);
  EXPECT_EQ(S_FALSE, canUnload()) << "the class object is held";
  factory->Release();
  EXPECT_EQ(S_OK, canUnload());
  IUnknown* unknownClass = nullptr;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(IID_IUnknown, IID_IClassFactory,
                                                      reinterpret_cast<void**>(&unknownClass)));
  ::FreeLibrary(module);
  ::CoUninitialize();
}

}  // namespace
