// Tagsy.dll as a COM server: its exports and imports, and what Wine's regsvr32 writes and
// removes with it (in the session prefix's real registry).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <set>
#include <string>
#include <vector>

#include "AddinBinary.h"
#include "RegistryTree.h"
#include "VersionInfo.h"
#include "qv/Text.h"

namespace {

const wchar_t kClsid[] = L"{A2EAAAB8-F94D-4970-89FE-5CA24CC53345}";
const wchar_t kLibid[] = L"{72C91B9F-A0EE-4B63-A48C-E0BF04566C6D}";
const wchar_t kAppId[] = L"{A43E816F-D1D6-4C0E-BA48-940A3C2DDABF}";
const wchar_t kIid[] = L"{66CE5593-DC01-4B42-9103-18D1A4A67568}";
const wchar_t kOutlookKey[] = L"Software\\Microsoft\\Office\\Outlook\\AddIns\\QvParvaneExt.QvTagsyAddin";
const wchar_t kExchangeKey[] = L"Software\\Microsoft\\Exchange\\Client\\Extensions";

std::wstring Lower(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
  return text;
}

// The PE directories of the DLL mapped as an image without running it.
struct PeView {
  HMODULE module = nullptr;
  explicit PeView(const std::wstring& path)
      : module(::LoadLibraryExW(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES)) {}
  ~PeView() {
    if (module) ::FreeLibrary(module);
  }
  const BYTE* Base() const { return reinterpret_cast<const BYTE*>(module); }
  const IMAGE_DATA_DIRECTORY& Directory(int index) const {
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Base());
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(Base() + dos->e_lfanew);
    return nt->OptionalHeader.DataDirectory[index];
  }
};

TEST(AddinBinaryTest, ExportsExactlyTheFourComServerEntryPoints) {
  PeView pe(AddinPath());
  ASSERT_NE(nullptr, pe.module);
  const IMAGE_DATA_DIRECTORY& directory = pe.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
  ASSERT_NE(0u, directory.VirtualAddress);
  auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(pe.Base() + directory.VirtualAddress);
  auto* names = reinterpret_cast<const DWORD*>(pe.Base() + exports->AddressOfNames);
  std::set<std::string> exported;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i)
    exported.insert(reinterpret_cast<const char*>(pe.Base() + names[i]));
  EXPECT_EQ((std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                   "DllUnregisterServer"}),
            exported);
  EXPECT_EQ(4u, exports->NumberOfFunctions) << "no exports by ordinal only";
}

TEST(AddinBinaryTest, ImportsOnlySystemLibraries) {
  PeView pe(AddinPath());
  ASSERT_NE(nullptr, pe.module);
  const IMAGE_DATA_DIRECTORY& directory = pe.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
  const std::set<std::string> system = {
      "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "ole32.dll", "oleaut32.dll",
      "shell32.dll", "shlwapi.dll", "comctl32.dll", "comdlg32.dll", "wininet.dll", "ws2_32.dll",
      "version.dll", "msvcrt.dll", "uxtheme.dll", "psapi.dll"};
  auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(pe.Base() + directory.VirtualAddress);
  int count = 0;
  for (; entry->Name != 0; ++entry, ++count) {
    std::string name = reinterpret_cast<const char*>(pe.Base() + entry->Name);
    std::transform(name.begin(), name.end(), name.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
    const bool allowed = system.count(name) == 1 || name.rfind("api-ms-win-", 0) == 0;
    EXPECT_TRUE(allowed) << name;
  }
  EXPECT_GT(count, 0);
}

TEST(AddinBinaryTest, VersionResourceNamesTheAddinForOffice) {
  const CFileVersionInfo info(Qv::WideToAnsi(AddinPath()));
  EXPECT_EQ("3.2.0.4", info.VersionText(4));
  EXPECT_EQ("3.2.0.4", info.ProductVersion());
  const DWORD size = ::GetFileVersionInfoSizeW(AddinPath().c_str(), nullptr);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(::GetFileVersionInfoW(AddinPath().c_str(), 0, size, block.data()));
  struct Translation {
    WORD language, codePage;
  }* translations = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translations), &length));
  ASSERT_GE(length, sizeof(Translation));
  wchar_t query[64];
  ::swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\FileDescription", translations->language,
             translations->codePage);
  wchar_t* description = nullptr;
  ASSERT_TRUE(::VerQueryValueW(block.data(), query, reinterpret_cast<void**>(&description), &length));
  EXPECT_STREQ(L"Microsoft Office Outlook Addin", description);
}

// The registry that registration owns, as one tree per place it writes.
struct Registration {
  RegistryTree appId, appIdDll, progId, progIdVersioned, classKey, typeLibrary, interfaceKey, outlook;
  bool operator==(const Registration& other) const {
    return appId == other.appId && appIdDll == other.appIdDll && progId == other.progId &&
           progIdVersioned == other.progIdVersioned && classKey == other.classKey &&
           typeLibrary == other.typeLibrary && interfaceKey == other.interfaceKey && outlook == other.outlook;
  }
  static Registration Read() {
    Registration r;
    r.appId = RegistryTreeOf(HKEY_CLASSES_ROOT, std::wstring(L"AppID\\") + kAppId);
    r.appIdDll = RegistryTreeOf(HKEY_CLASSES_ROOT, L"AppID\\QvParvaneExt.DLL");
    r.progId = RegistryTreeOf(HKEY_CLASSES_ROOT, L"QvParvaneExt.QvTagsyAddin");
    r.progIdVersioned = RegistryTreeOf(HKEY_CLASSES_ROOT, L"QvParvaneExt.QvTagsyAddin.1");
    r.classKey = RegistryTreeOf(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClsid);
    r.typeLibrary = RegistryTreeOf(HKEY_CLASSES_ROOT, std::wstring(L"TypeLib\\") + kLibid);
    r.interfaceKey = RegistryTreeOf(HKEY_CLASSES_ROOT, std::wstring(L"Interface\\") + kIid);
    r.outlook = RegistryTreeOf(HKEY_LOCAL_MACHINE, kOutlookKey);
    return r;
  }
};

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = AddinPath();
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(path_.c_str())) << "no Tagsy.dll";
    Regsvr32(L"/s /u \"" + path_ + L"\"");
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kExchangeKey);
  }
  void TearDown() override {
    Regsvr32(L"/s /u \"" + path_ + L"\"");
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kExchangeKey);
  }
  std::wstring path_;
};

TEST_F(RegistrationTest, RegsvrWritesExactlyTheServersKeysAndOutlooksAddinKey) {
  ASSERT_EQ(0u, Regsvr32(L"/s \"" + path_ + L"\""));
  const Registration r = Registration::Read();

  EXPECT_EQ((RegistryTree{{L"\\", L""}, {L"\\|", L"sz:QvParvaneExt"}}), r.appId);
  EXPECT_EQ((RegistryTree{{L"\\", L""}, {L"\\|AppID", std::wstring(L"sz:") + kAppId}}), r.appIdDll);
  EXPECT_EQ((RegistryTree{{L"\\", L""},
                          {L"\\|", L"sz:QvTagsyAddin Class"},
                          {L"\\CLSID\\", L""},
                          {L"\\CLSID\\|", std::wstring(L"sz:") + kClsid},
                          {L"\\CurVer\\", L""},
                          {L"\\CurVer\\|", L"sz:QvParvaneExt.QvTagsyAddin.1"}}),
            r.progId);
  EXPECT_EQ((RegistryTree{{L"\\", L""},
                          {L"\\|", L"sz:QvTagsyAddin Class"},
                          {L"\\CLSID\\", L""},
                          {L"\\CLSID\\|", std::wstring(L"sz:") + kClsid}}),
            r.progIdVersioned);

  RegistryTree classKey = r.classKey;
  const std::wstring server = classKey[L"\\InprocServer32\\|"];
  EXPECT_EQ(Lower(L"sz:" + path_), Lower(server));
  classKey.erase(L"\\InprocServer32\\|");
  EXPECT_EQ((RegistryTree{{L"\\", L""},
                          {L"\\|", L"sz:QvTagsyAddin Class"},
                          {L"\\ProgID\\", L""},
                          {L"\\ProgID\\|", L"sz:QvParvaneExt.QvTagsyAddin.1"},
                          {L"\\VersionIndependentProgID\\", L""},
                          {L"\\VersionIndependentProgID\\|", L"sz:QvParvaneExt.QvTagsyAddin"},
                          {L"\\Programmable\\", L""},
                          {L"\\InprocServer32\\", L""},
                          {L"\\InprocServer32\\|ThreadingModel", L"sz:Apartment"},
                          {L"\\TypeLib\\", L""},
                          {L"\\TypeLib\\|", std::wstring(L"sz:") + kLibid}}),
            classKey);

  EXPECT_EQ(L"sz:QvParvaneExt 1.0 Type Library", r.typeLibrary.at(L"\\1.0\\|"));
  EXPECT_EQ(Lower(L"sz:" + path_), Lower(r.typeLibrary.at(L"\\1.0\\0\\win64\\|")));
  EXPECT_EQ(L"sz:IQvTagsyAddin", r.interfaceKey.at(L"\\|"));

  EXPECT_EQ((RegistryTree{{L"\\", L""},
                          {L"\\|LoadBehavior", L"dword:3"},
                          {L"\\|Description", L"sz:Velmora Tagsy"},
                          {L"\\|FriendlyName", L"sz:Velmora Tagsy"}}),
            r.outlook);
  // No Exchange client-extensions key was there, and none is made.
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kExchangeKey));
}

TEST_F(RegistrationTest, RegisteringTwiceLeavesTheSameRegistryAndRewritesTheClassKeyWhole) {
  ASSERT_EQ(0u, Regsvr32(L"/s \"" + path_ + L"\""));
  const Registration first = Registration::Read();
  Qv::UniqueHKey stale;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CLASSES_ROOT,
                                             (std::wstring(L"CLSID\\") + kClsid + L"\\Stale").c_str(), 0,
                                             nullptr, 0, KEY_ALL_ACCESS, nullptr, stale.Receive(), nullptr));
  stale.Reset();
  ASSERT_EQ(0u, Regsvr32(L"/s \"" + path_ + L"\""));
  EXPECT_TRUE(first == Registration::Read());
}

TEST_F(RegistrationTest, UnregisteringRemovesEverythingButTheSharedParents) {
  ASSERT_EQ(0u, Regsvr32(L"/s \"" + path_ + L"\""));
  ASSERT_EQ(0u, Regsvr32(L"/s /u \"" + path_ + L"\""));
  const Registration r = Registration::Read();
  EXPECT_TRUE(r.appId.empty());
  EXPECT_TRUE(r.appIdDll.empty());
  EXPECT_TRUE(r.progId.empty());
  EXPECT_TRUE(r.progIdVersioned.empty());
  EXPECT_TRUE(r.classKey.empty());
  EXPECT_TRUE(r.typeLibrary.empty());
  EXPECT_TRUE(r.outlook.empty());
  EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
  EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, L"AppID"));
  EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Office\\Outlook\\AddIns"));
  // Already unregistered: still a success, and nothing is shown (regsvr32 /s would hang
  // on a message box of ours only if one came up; the exit code tells).
  EXPECT_EQ(0u, Regsvr32(L"/s /u \"" + path_ + L"\""));
}

TEST_F(RegistrationTest, ExchangeClientExtensionsEntryIsRefreshedWhenTheKeyExists) {
  Qv::UniqueHKey exchange;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kExchangeKey, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, exchange.Receive(), nullptr));
  const wchar_t old[] = L"old entry";
  ::RegSetValueExW(exchange.Get(), L"Velmora Tagsy", 0, REG_SZ, reinterpret_cast<const BYTE*>(old), sizeof(old));
  ::RegSetValueExW(exchange.Get(), L"Other Extension", 0, REG_SZ, reinterpret_cast<const BYTE*>(old), sizeof(old));
  exchange.Reset();

  ASSERT_EQ(0u, Regsvr32(L"/s \"" + path_ + L"\""));
  const RegistryTree expected = {
      {L"\\", L""},
      {L"\\|Other Extension", L"sz:old entry"},
      {L"\\|Outlook Setup Extension", L"sz:4.0;Outxxx.dll;7;000000000000000;0000000000;OutXXX"}};
  EXPECT_EQ(expected, RegistryTreeOf(HKEY_LOCAL_MACHINE, kExchangeKey));
}

}  // namespace
