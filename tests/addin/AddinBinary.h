#pragma once
// Where the build put Tagsy.dll (and the English resource library beside it), as seen
// from a test program, and a way to run a Windows program of the Wine prefix.
#include <windows.h>

#include <string>

#include "qv/Handles.h"

inline std::wstring TestProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder = path;
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

#define TAGSY_WIDE_TEXT(text) L##text
#define TAGSY_WIDE(text) TAGSY_WIDE_TEXT(text)

// TAGSY_ADDIN_DIR: the add-in's output folder relative to the test program's.
inline std::wstring AddinPath(const wchar_t* file = L"Tagsy.dll") {
  std::wstring relative = TestProgramFolder() + TAGSY_WIDE(TAGSY_ADDIN_DIR) L"\\" + file;
  for (wchar_t& c : relative)
    if (c == L'/') c = L'\\';
  wchar_t full[MAX_PATH] = {};
  ::GetFullPathNameW(relative.c_str(), MAX_PATH, full, nullptr);
  return full;
}

// Runs a Windows program with `arguments` and returns its exit code (~0u when it could
// not be started or did not end within the time).
inline DWORD RunWindowsProgram(const std::wstring& commandLine, DWORD timeoutMs = 60000) {
  std::wstring line = commandLine;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
    return ~0u;
  Qv::UniqueHandle processHandle(process.hProcess);
  Qv::UniqueHandle threadHandle(process.hThread);
  if (::WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.hProcess, 1);
    return ~0u;
  }
  DWORD code = ~0u;
  ::GetExitCodeProcess(process.hProcess, &code);
  return code;
}

// An export of a loaded module as the function type it has.
template <class Function>
Function ModuleExport(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

inline DWORD Regsvr32(const std::wstring& arguments) {
  wchar_t system[MAX_PATH] = {};
  ::GetSystemDirectoryW(system, MAX_PATH);
  return RunWindowsProgram(L"\"" + std::wstring(system) + L"\\regsvr32.exe\" " + arguments);
}
