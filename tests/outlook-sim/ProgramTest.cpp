// The outlook-sim programs, started as separate processes: their version resources, and
// the master list in (--categories) and out (--dump) through the object model from
// Outlook 12 on and through Outlook's registry value before.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "VersionInfo.h"
#include "qv/Handles.h"
#include "qv/Text.h"
#include "support/RegistrySandbox.h"
#include "SimPrograms.h"

namespace {

DWORD RunSim(int major, const std::wstring& arguments) {
  const std::wstring path = SimPath(major);
  std::wstring commandLine = L"\"" + path + L"\" " + arguments;
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
    throw std::runtime_error("cannot start outlook-sim, error " + std::to_string(::GetLastError()));
  Qv::UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
  if (::WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.hProcess, 1);
    throw std::runtime_error("outlook-sim did not end");
  }
  DWORD exitCode = 1;
  ::GetExitCodeProcess(process.hProcess, &exitCode);
  return exitCode;
}

// A folder of its own for one test's files, removed with them afterwards.
class ScratchFolder {
 public:
  ScratchFolder() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"outlook-sim-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(::GetTickCount64());
    ::CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~ScratchFolder() {
    for (const auto& file : files_) ::DeleteFileW(file.c_str());
    ::RemoveDirectoryW(path_.c_str());
  }
  std::wstring File(const wchar_t* name) {
    files_.push_back(path_ + L"\\" + name);
    return files_.back();
  }

 private:
  std::wstring path_;
  std::vector<std::wstring> files_;
};

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream(path.c_str(), std::ios::binary) << bytes;
}

std::string ReadBytes(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

std::string ProductName(const std::wstring& path) {
  DWORD ignored = 0;
  std::vector<BYTE> data(::GetFileVersionInfoSizeW(path.c_str(), &ignored));
  wchar_t* name = nullptr;
  UINT length = 0;
  if (data.empty() || !::GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(data.size()), data.data()) ||
      !::VerQueryValueW(data.data(), L"\\StringFileInfo\\040904b0\\ProductName",
                        reinterpret_cast<void**>(&name), &length))
    return {};
  return Qv::WideToAnsi(name);
}

TEST(Program, EachCopyIsTheOutlookItsVersionResourceSays) {
  for (int major : {8, 9, 10, 11, 12, 14, 15, 16}) {
    SCOPED_TRACE(major);
    const std::wstring path = SimPath(major);
    const CFileVersionInfo version(Qv::WideToAnsi(path));
    EXPECT_EQ(version.Part(3), major);
    EXPECT_EQ(version.Part(2), 0);
    EXPECT_EQ(ProductName(path), "Microsoft Outlook");
  }
}

TEST(Program, TheObjectModelListGoesInAndComesBackOut) {
  const std::string in = Qv::WideToAnsi(L"Klient A;8\r\nŻółć;3\n\nPilne;1\n");
  const std::string out = Qv::WideToAnsi(L"Klient A;8\r\nŻółć;3\r\nPilne;1\r\n");
  for (int major : {12, 16}) {
    for (const wchar_t* window : {L"", L"--no-explorer"}) {
      SCOPED_TRACE(testing::Message() << major << " " << Qv::WideToAnsi(window));
      ScratchFolder folder;
      const std::wstring categories = folder.File(L"in.txt"), dump = folder.File(L"out.txt"),
                         journal = folder.File(L"journal.txt");
      WriteBytes(categories, in);
      ASSERT_EQ(RunSim(major, L"--categories " + Quoted(categories) + L" --dump " + Quoted(dump) +
                                  L" --journal " + Quoted(journal) + L" --run 0 " + window),
                0u);
      EXPECT_EQ(ReadBytes(dump), out);
      // Nobody called Add or Remove: the journal is there, and empty.
      EXPECT_NE(::GetFileAttributesW(journal.c_str()), INVALID_FILE_ATTRIBUTES);
      EXPECT_EQ(ReadBytes(journal), "");
    }
  }
}

std::string Key(int major) {
  return "Software\\Microsoft\\Office\\" + std::to_string(major) + ".0\\Outlook\\Categories";
}

// The value exactly as stored (RegGetValue would add a missing terminator).
std::string ReadValue(int major, const char* name, DWORD* type) {
  Qv::UniqueHKey key;
  DWORD size = 0;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, Key(major).c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS ||
      ::RegQueryValueExA(key.Get(), name, nullptr, type, nullptr, &size) != ERROR_SUCCESS)
    return "<missing>";
  std::string data(size, '\0');
  ::RegQueryValueExA(key.Get(), name, nullptr, type, reinterpret_cast<BYTE*>(data.data()), &size);
  data.resize(size);
  return data;
}

void WriteValue(int major, const char* name, DWORD type, const std::string& data) {
  Qv::UniqueHKey key;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, Key(major).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, key.Receive(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExA(key.Get(), name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
            ERROR_SUCCESS);
}

// "A", "B" and "Ż" (U+017B) as each generation of Outlook stores them.
const std::string kUtf16 = std::string("A\0;\0B\0;\0\x7B\x01\0\0", 12);

struct RegistryForm {
  int major;
  const char* valueName;  // null: the key's default value
  DWORD type;
  std::string data;
};

TEST(Program, BeforeOutlook12TheListIsOutlooksRegistryValue) {
  const RegistryForm forms[] = {
      {8, nullptr, REG_SZ, Qv::WideToAnsi(L"A;B;Ż") + std::string(1, '\0')},
      {9, "MasterList", REG_SZ, Qv::WideToAnsi(L"A;B;Ż") + std::string(1, '\0')},
      {10, "MasterList", REG_BINARY, kUtf16},
      {11, "MasterList", REG_BINARY, kUtf16},
  };
  for (const RegistryForm& form : forms) {
    SCOPED_TRACE(form.major);
    RegistrySandbox registry(HKEY_CURRENT_USER);
    ScratchFolder folder;
    const std::wstring categories = folder.File(L"in.txt"), dump = folder.File(L"out.txt");
    WriteBytes(categories, Qv::WideToAnsi(L"A;8\r\nB;2\r\nŻ;0\r\n"));
    const std::wstring sandbox = L" --hkcu " + Quoted(Qv::AnsiToWide(registry.ScratchPath()));
    ASSERT_EQ(RunSim(form.major, L"--categories " + Quoted(categories) + L" --run 0" + sandbox), 0u);
    DWORD type = 0;
    EXPECT_EQ(ReadValue(form.major, form.valueName, &type), form.data);
    EXPECT_EQ(type, form.type);
    ASSERT_EQ(RunSim(form.major, L"--dump " + Quoted(dump) + L" --run 0" + sandbox), 0u);
    EXPECT_EQ(ReadBytes(dump), Qv::WideToAnsi(L"A;0\r\nB;0\r\nŻ;0\r\n"));
  }
}

// Whatever the generation, the stored type decides how the value is read.
TEST(Program, TheStoredTypeDecidesHowTheListIsRead) {
  const RegistryForm stored[] = {
      {8, nullptr, REG_BINARY, kUtf16},
      {9, "MasterList", REG_BINARY, kUtf16},
      {10, "MasterList", REG_SZ, Qv::WideToAnsi(L"A;B;Ż") + std::string(1, '\0')},
      // Without its terminating zero, as another writer may leave it.
      {11, "MasterList", REG_SZ, Qv::WideToAnsi(L"A;B;Ż")},
  };
  for (const RegistryForm& form : stored) {
    SCOPED_TRACE(form.major);
    RegistrySandbox registry(HKEY_CURRENT_USER);
    WriteValue(form.major, form.valueName, form.type, form.data);
    ScratchFolder folder;
    const std::wstring dump = folder.File(L"out.txt");
    ASSERT_EQ(RunSim(form.major, L"--dump " + Quoted(dump) + L" --run 0 --hkcu " +
                                     Quoted(Qv::AnsiToWide(registry.ScratchPath()))),
              0u);
    EXPECT_EQ(ReadBytes(dump), Qv::WideToAnsi(L"A;0\r\nB;0\r\nŻ;0\r\n"));
  }
}

TEST(Program, WithoutARegistryValueTheListIsEmpty) {
  RegistrySandbox registry(HKEY_CURRENT_USER);
  ScratchFolder folder;
  const std::wstring dump = folder.File(L"out.txt");
  ASSERT_EQ(RunSim(11, L"--dump " + Quoted(dump) + L" --run 0 --hkcu " +
                           Quoted(Qv::AnsiToWide(registry.ScratchPath()))),
            0u);
  EXPECT_NE(::GetFileAttributesW(dump.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(ReadBytes(dump), "");
}

TEST(Program, RefusesAnOptionItDoesNotKnow) { EXPECT_EQ(RunSim(16, L"--bogus --run 0"), 2u); }

}  // namespace
