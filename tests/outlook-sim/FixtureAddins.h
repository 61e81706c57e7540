#pragma once
// The fixture add-in (tests/fixtures/FixtureAddin.dll) registered as Office setup would
// register an Outlook add-in: its class under HKEY_CLASSES_ROOT, one ProgID per add-in
// a test asks for, and Outlook's HKLM\Software\Microsoft\Office\Outlook\AddIns keys.
// Everything written is removed at the end. The ProgIDs carry the process id, so they
// never meet another run's leftovers; tests using this hold the "addins" lock.
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "AddinLoader.h"
#include "FixtureAddin.h"
#include "qv/Handles.h"
#include "qv/Text.h"

// One line of the fixture's journal.
struct FixtureCall {
  std::string progId, call, details;

  // The value of "key=value" in the details ("[...]" for values with spaces).
  std::string Field(const std::string& key) const {
    const std::string marker = key + "=";
    size_t at = 0;
    while ((at = details.find(marker, at)) != std::string::npos && at > 0 && details[at - 1] != ' ') ++at;
    if (at == std::string::npos) return "<none>";
    at += marker.size();
    if (at < details.size() && details[at] == '[') return details.substr(at + 1, details.find(']', at) - at - 1);
    return details.substr(at, details.find(' ', at) == std::string::npos ? std::string::npos : details.find(' ', at) - at);
  }
};

class FixtureAddins {
 public:
  FixtureAddins() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    dll_ = self;
    dll_.erase(dll_.find_last_of(L'\\') + 1);
    std::wstring relative = Qv::AnsiToWide(TAGSY_FIXTURE_ADDIN_DIR);
    std::replace(relative.begin(), relative.end(), L'/', L'\\');
    dll_ += relative + L"\\FixtureAddin.dll";
    wchar_t full[MAX_PATH] = {};
    ::GetFullPathNameW(dll_.c_str(), MAX_PATH, full, nullptr);
    dll_ = full;
    if (::GetFileAttributesW(dll_.c_str()) == INVALID_FILE_ATTRIBUTES)
      throw std::runtime_error("no fixture add-in at " + Qv::WideToAnsi(dll_));
    const std::wstring server = ClassKey() + L"\\InprocServer32";
    SetString(HKEY_CLASSES_ROOT, server, nullptr, dll_);
    SetString(HKEY_CLASSES_ROOT, server, L"ThreadingModel", L"Apartment");

    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    journal_ = std::string(temp) + "fixture-addin-" + std::to_string(::GetCurrentProcessId()) + "-" +
               std::to_string(::GetTickCount64()) + ".txt";
    ::DeleteFileA(journal_.c_str());
    ::SetEnvironmentVariableA(kFixtureJournalVariable, journal_.c_str());
    ::SetEnvironmentVariableA(kFixtureBehaviourVariable, nullptr);
  }
  ~FixtureAddins() {
    for (const std::wstring& progId : progIds_) {
      ::RegDeleteTreeW(HKEY_CLASSES_ROOT, progId.c_str());
      ::RegDeleteKeyW(HKEY_CLASSES_ROOT, progId.c_str());
      const std::wstring addin = std::wstring(OutlookSim::kAddinsKey) + L"\\" + progId;
      ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, addin.c_str());
      ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, addin.c_str());
    }
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey().c_str());
    ::RegDeleteKeyW(HKEY_CLASSES_ROOT, ClassKey().c_str());
    ::SetEnvironmentVariableA(kFixtureJournalVariable, nullptr);
    ::SetEnvironmentVariableA(kFixtureBehaviourVariable, nullptr);
    ::DeleteFileA(journal_.c_str());
  }
  FixtureAddins(const FixtureAddins&) = delete;
  FixtureAddins& operator=(const FixtureAddins&) = delete;

  // An add-in of this test: its ProgID names the fixture's class, and Outlook's AddIns
  // key has it with that LoadBehavior (REG_DWORD). `options` as FixtureAddin.h says.
  std::wstring Add(const std::wstring& name, DWORD loadBehavior, const std::string& options = "") {
    const std::wstring progId = Register(name, options);
    const std::wstring key = std::wstring(OutlookSim::kAddinsKey) + L"\\" + progId;
    Qv::UniqueHKey addin = Create(HKEY_LOCAL_MACHINE, key);
    Check(::RegSetValueExW(addin.Get(), L"LoadBehavior", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&loadBehavior),
                           sizeof(loadBehavior)),
          key);
    SetString(HKEY_LOCAL_MACHINE, key, L"Description", L"Fixture " + name);
    SetString(HKEY_LOCAL_MACHINE, key, L"FriendlyName", L"Fixture add-in " + name);
    return progId;
  }
  // A ProgID of the fixture's class (and its options) without an AddIns key.
  std::wstring Register(const std::wstring& name, const std::string& options = "") {
    const std::wstring progId = L"TagsyTest." + name + std::to_wstring(::GetCurrentProcessId());
    progIds_.push_back(progId);
    SetString(HKEY_CLASSES_ROOT, progId + L"\\CLSID", nullptr, Qv::AnsiToWide(kFixtureAddinClsid));
    SetOptions(progId, options);
    return progId;
  }
  // Only the AddIns key: a ProgID that names no class.
  std::wstring AddUnregistered(const std::wstring& name) {
    const std::wstring progId = L"TagsyTest." + name + std::to_wstring(::GetCurrentProcessId());
    progIds_.push_back(progId);
    const std::wstring key = std::wstring(OutlookSim::kAddinsKey) + L"\\" + progId;
    const DWORD three = 3;
    Check(::RegSetValueExW(Create(HKEY_LOCAL_MACHINE, key).Get(), L"LoadBehavior", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&three), sizeof(three)),
          key);
    return progId;
  }
  void SetOptions(const std::wstring& progId, const std::string& options) {
    options_[Qv::WideToAnsi(progId)] = options;
    std::string all;
    for (const auto& [name, value] : options_) all += name + ":" + value + ";";
    ::SetEnvironmentVariableA(kFixtureBehaviourVariable, all.c_str());
  }
  // Writes a value into an add-in's AddIns key (to give LoadBehavior another type).
  void SetValue(const std::wstring& progId, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    const std::wstring key = std::wstring(OutlookSim::kAddinsKey) + L"\\" + progId;
    Check(::RegSetValueExW(Create(HKEY_LOCAL_MACHINE, key).Get(), name, 0, type, static_cast<const BYTE*>(data), size),
          key);
  }

  std::vector<FixtureCall> Journal() const {
    std::vector<FixtureCall> calls;
    std::ifstream file(journal_, std::ios::binary);
    std::string line;
    while (std::getline(file, line)) {
      const size_t first = line.find('\t'), second = line.find('\t', first + 1);
      if (first == std::string::npos || second == std::string::npos) continue;
      calls.push_back({line.substr(0, first), line.substr(first + 1, second - first - 1), line.substr(second + 1)});
    }
    return calls;
  }
  // "<ProgID>.<call>" for every journal line, in order; the ProgIDs of `names` shown as
  // the names themselves (A.OnConnection).
  std::vector<std::string> Calls() const {
    std::vector<std::string> calls;
    for (const FixtureCall& call : Journal()) {
      std::string who = call.progId;
      const std::string suffix = std::to_string(::GetCurrentProcessId());
      if (who.rfind("TagsyTest.", 0) == 0 && who.size() > suffix.size() + 10 &&
          who.compare(who.size() - suffix.size(), suffix.size(), suffix) == 0)
        who = who.substr(10, who.size() - 10 - suffix.size());
      calls.push_back(who + "." + call.call);
    }
    return calls;
  }
  std::vector<FixtureCall> CallsOf(const std::wstring& progId, const std::string& name) const {
    std::vector<FixtureCall> found;
    for (const FixtureCall& call : Journal())
      if (call.progId == Qv::WideToAnsi(progId) && call.call == name) found.push_back(call);
    return found;
  }
  void ClearJournal() const { ::DeleteFileA(journal_.c_str()); }

  const std::wstring& DllPath() const { return dll_; }
  bool DllLoaded() const { return ::GetModuleHandleW(dll_.c_str()) != nullptr; }
  const std::string& JournalPath() const { return journal_; }

 private:
  static std::wstring ClassKey() { return L"CLSID\\" + Qv::AnsiToWide(kFixtureAddinClsid); }
  static void Check(LSTATUS status, const std::wstring& key) {
    if (status != ERROR_SUCCESS)
      throw std::runtime_error("cannot write " + Qv::WideToAnsi(key) + ", error " + std::to_string(status));
  }
  static Qv::UniqueHKey Create(HKEY root, const std::wstring& key) {
    Qv::UniqueHKey opened;
    Check(::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, opened.Receive(), nullptr), key);
    return opened;
  }
  static void SetString(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    Check(::RegSetValueExW(Create(root, key).Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
          key);
  }

  std::wstring dll_;
  std::string journal_;
  std::vector<std::wstring> progIds_;
  std::map<std::string, std::string> options_;
};
