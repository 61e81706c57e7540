// outlook-sim-<major>.exe: the simulated Outlook as a program. Its generation is the
// major number of its own version resource, as the add-in reads Outlook's.
//   --version TEXT      what Application.Version reports (default "<major>.0.0.0")
//   --categories FILE   initial master list, lines "name;colour" in the ANSI code page
//   --no-explorer       start without an explorer window
//   --run SECONDS       run that long (or until the explorer is closed), then exit
//   --dump FILE         the final master list, lines "name;colour", in collection order
//   --journal FILE      the Add and Remove calls: "ms<TAB>op<TAB>name<TAB>colour<TAB>result"
//   --hkcu SUBKEY       HKEY_CURRENT_USER stands for HKCU\SUBKEY in this process (a test's
//                       sandbox for the registry master list of Outlook 8 to 11)
// Before Outlook 12 the master list is Outlook's registry value, so --categories writes
// it and --dump reads it (colour 0). An add-in loader belongs between starting the host
// and waiting: it creates the add-in on the UI thread (RunOnUiThread) and connects it.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "OutlookSimHost.h"
#include "VersionInfo.h"
#include "qv/Handles.h"
#include "qv/Text.h"

namespace {

struct Arguments {
  std::wstring version, categories, dump, journal, hkcu;
  bool explorer = true;
  double runSeconds = -1;  // negative: until the explorer closes
};

Arguments Parse(int count, wchar_t** values) {
  Arguments arguments;
  for (int i = 1; i < count; ++i) {
    const std::wstring name = values[i];
    auto next = [&]() -> std::wstring {
      if (i + 1 >= count) throw std::invalid_argument("missing value after an option");
      return values[++i];
    };
    if (name == L"--version") arguments.version = next();
    else if (name == L"--categories") arguments.categories = next();
    else if (name == L"--dump") arguments.dump = next();
    else if (name == L"--journal") arguments.journal = next();
    else if (name == L"--hkcu") arguments.hkcu = next();
    else if (name == L"--no-explorer") arguments.explorer = false;
    else if (name == L"--run") arguments.runSeconds = std::wcstod(next().c_str(), nullptr);
    else throw std::invalid_argument("unknown option " + Qv::WideToAnsi(name));
  }
  return arguments;
}

std::vector<OutlookSim::SimCategory> ReadCategoryFile(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + Qv::WideToAnsi(path));
  std::vector<OutlookSim::SimCategory> categories;
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    // Split after converting: in a double-byte code page a byte ';' may not be one.
    const std::wstring wide = Qv::AnsiToWide(line);
    const size_t semicolon = wide.rfind(L';');
    if (semicolon == std::wstring::npos) {
      categories.push_back({wide, 0});
    } else {
      categories.push_back(
          {wide.substr(0, semicolon), static_cast<int>(std::wcstol(wide.c_str() + semicolon + 1, nullptr, 10))});
    }
  }
  return categories;
}

void WriteFile(const std::wstring& path, const std::string& text) {
  std::ofstream file(path.c_str(), std::ios::binary | std::ios::trunc);
  file << text;
  if (!file) throw std::runtime_error("cannot write " + Qv::WideToAnsi(path));
}

std::string DumpText(const std::vector<OutlookSim::SimCategory>& categories) {
  std::string text;
  for (const auto& category : categories)
    text += Qv::WideToAnsi(category.name) + ";" + std::to_string(category.color) + "\r\n";
  return text;
}

std::string JournalText(const std::vector<OutlookSim::JournalEntry>& journal) {
  std::string text;
  for (const auto& entry : journal)
    text += Qv::Format("%.3f\t%s\t", entry.ms, entry.op.c_str()) + Qv::WideToAnsi(entry.name) +
            Qv::Format("\t%d\t0x%08lX\r\n", entry.color, static_cast<unsigned long>(entry.result));
  return text;
}

int Run(const Arguments& arguments) {
  Qv::UniqueHKey sandbox;
  if (!arguments.hkcu.empty()) {
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, arguments.hkcu.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, sandbox.Receive(), nullptr) != ERROR_SUCCESS ||
        ::RegOverridePredefKey(HKEY_CURRENT_USER, sandbox.Get()) != ERROR_SUCCESS)
      throw std::runtime_error("cannot stand HKEY_CURRENT_USER for the given key");
  }

  const int major = OutlookMajorVersion();
  OutlookSim::SimOptions options;
  options.outlookMajor = major;
  options.version = arguments.version.empty() ? std::to_wstring(major) + L".0.0.0" : arguments.version;
  options.explorer = arguments.explorer;
  options.journal = !arguments.journal.empty();
  if (!arguments.categories.empty()) options.categories = ReadCategoryFile(arguments.categories);

  OutlookSim::OutlookSimHost host(options);
  if (arguments.runSeconds >= 0)
    host.WaitForExplorersClosed(static_cast<DWORD>(arguments.runSeconds * 1000.0));
  else if (arguments.explorer)
    host.WaitForExplorersClosed(INFINITE);
  else
    ::Sleep(INFINITE);

  if (!arguments.dump.empty()) WriteFile(arguments.dump, DumpText(host.Categories()));
  if (!arguments.journal.empty()) WriteFile(arguments.journal, JournalText(host.Journal()));
  return 0;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** values = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!values) return 2;
  int status = 0;
  try {
    status = Run(Parse(count, values));
  } catch (const std::invalid_argument& error) {
    std::fprintf(stderr, "outlook-sim: %s\n", error.what());
    status = 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "outlook-sim: %s\n", error.what());
    status = 1;
  }
  ::LocalFree(values);
  return status;
}
