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
//   --load-addins       load the add-ins registered for Outlook (LoadBehavior 3) at start
//                       and shut them down before exit, as Office does; print what
//                       happened and exit 3 when a call failed or a DLL stayed loaded
//   --addin PROGID      with --load-addins: only this add-in (may be repeated)
//   --watch FILE        each time the master list changes (polled every 100 ms), append
//                       "--- <seconds since start>" and its lines "name;colour"; "-" is
//                       standard output
// Before Outlook 12 the master list is Outlook's registry value, so --categories writes
// it and --dump reads it (colour 0). When the run ends, the explorers close (their sinks
// hear Close) before the add-ins are shut down, as when Outlook quits.
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "AddinLoader.h"
#include "OutlookSimHost.h"
#include "VersionInfo.h"
#include "qv/Handles.h"
#include "qv/Text.h"

namespace {

struct Arguments {
  std::wstring version, categories, dump, journal, hkcu, watch;
  bool explorer = true;
  bool loadAddins = false;
  std::vector<std::wstring> addins;
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
    else if (name == L"--watch") arguments.watch = next();
    else if (name == L"--addin") arguments.addins.push_back(next());
    else if (name == L"--load-addins") arguments.loadAddins = true;
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

// Appends the master list to a file (or standard output) whenever it changes, from a
// thread of its own that reads the host side (no Outlook call, no apartment).
class CategoryWatch {
 public:
  CategoryWatch(const OutlookSim::OutlookSimHost& host, const std::wstring& path)
      : host_(host), start_(std::chrono::steady_clock::now()) {
    if (path == L"-") {
      out_ = stdout;
    } else {
      // Text mode, as standard output is: lines end in CR LF either way.
      out_ = ::_wfopen(path.c_str(), L"w");
      owned_ = true;
      if (!out_) throw std::runtime_error("cannot write " + Qv::WideToAnsi(path));
    }
    Poll();
    thread_ = std::thread([this] {
      while (!stop_) {
        ::Sleep(100);
        Poll();
      }
    });
  }
  ~CategoryWatch() { Stop(); }
  // Takes a last look, so a change just before the end is written too.
  void Stop() {
    if (thread_.joinable()) {
      stop_ = true;
      thread_.join();
      Poll();
    }
    if (owned_ && out_) std::fclose(out_);
    out_ = nullptr;
  }

 private:
  void Poll() {
    const auto now = host_.Categories();
    if (written_ && now == last_) return;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    std::string text = Qv::Format("--- %.3f\n", elapsed.count());
    for (const auto& category : now)
      text += Qv::WideToAnsi(category.name) + ";" + std::to_string(category.color) + "\n";
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fflush(out_);
    last_ = now;
    written_ = true;
  }

  const OutlookSim::OutlookSimHost& host_;
  const std::chrono::steady_clock::time_point start_;
  FILE* out_ = nullptr;
  bool owned_ = false;
  std::vector<OutlookSim::SimCategory> last_;  // the watch thread's, and Stop's after it ended
  bool written_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::string HexCode(HRESULT hr) { return Qv::Format("0x%08lX", static_cast<unsigned long>(hr)); }

// A few readable lines per add-in; true when nothing failed and every DLL left.
bool PrintReport(const OutlookSim::AddinLoader& loader) {
  std::string text;
  bool clean = loader.Failures().empty();
  for (const OutlookSim::AddinReport& report : loader.Reports()) {
    const std::string name = "add-in " + Qv::WideToAnsi(report.registration.progId) + ": ";
    text += name + (report.connections > 0 ? "connected" : "not connected") +
            (report.startupComplete ? ", startup complete" : "") + "\n";
    if (report.ribbonAsked) {
      int groups = 0, launchers = 0;
      for (const auto& tab : report.ribbon.tabs) {
        groups += static_cast<int>(tab.groups.size());
        for (const auto& group : tab.groups) launchers += static_cast<int>(group.launchers.size());
      }
      text += name + "ribbon " +
              (report.ribbon.Accepted()
                   ? Qv::Format("accepted: %d tabs, %d groups, %d buttons, %d launchers",
                                static_cast<int>(report.ribbon.tabs.size()), groups,
                                static_cast<int>(report.ribbon.Buttons().size()), launchers)
                   : std::string("rejected")) +
              (report.onLoad.name.empty() ? "" : "; onLoad " + Qv::WideToAnsi(report.onLoad.name) + " " + HexCode(report.onLoad.hr)) +
              "\n";
    }
    for (const OutlookSim::ImageResult& image : report.images) {
      const OutlookSim::PictureCheck& picture = image.picture;
      text += name + "image " + Qv::WideToAnsi(image.call.name) + " for " + Qv::WideToAnsi(image.controlId) + ": " +
              (FAILED(image.call.hr) ? "failed " + HexCode(image.call.hr)
               : !picture.picture    ? std::string("no picture")
                                     : Qv::Format("%s %ldx%ld, %ld painted pixels",
                                                  picture.type == 3 ? "icon" : picture.type == 1 ? "bitmap" : "picture",
                                                  picture.width, picture.height, picture.paintedPixels)) +
              "\n";
    }
    text += name + (report.dllLoadedAfterShutdown ? "still loaded after shutdown" : "unloaded") + "\n";
    clean = clean && !report.dllLoadedAfterShutdown;
  }
  for (const OutlookSim::LoaderFailure& failure : loader.Failures())
    text += "failure: " + Qv::WideToAnsi(failure.progId) + " " + failure.step + " " + HexCode(failure.hr) +
            (failure.description.empty() ? "" : " " + Qv::WideToAnsi(failure.description)) + "\n";
  text += clean ? "add-ins: clean\n" : "add-ins: FAILED\n";
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
  return clean;
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
  std::unique_ptr<CategoryWatch> watch;
  if (!arguments.watch.empty()) watch = std::make_unique<CategoryWatch>(host, arguments.watch);
  std::unique_ptr<OutlookSim::AddinLoader> loader;
  if (arguments.loadAddins) {
    loader = std::make_unique<OutlookSim::AddinLoader>(host);
    loader->LoadAll(arguments.addins);
  }
  if (arguments.runSeconds >= 0)
    host.WaitForExplorersClosed(static_cast<DWORD>(arguments.runSeconds * 1000.0));
  else if (arguments.explorer)
    host.WaitForExplorersClosed(INFINITE);
  else
    ::Sleep(INFINITE);

  // Outlook quits: the explorers close, then the add-ins are shut down.
  for (HWND explorer : host.ExplorerWindows()) host.CloseExplorer(explorer);
  bool clean = true;
  if (loader) {
    loader->Shutdown();
    clean = PrintReport(*loader);
    loader.reset();
  }
  if (watch) watch->Stop();
  if (!arguments.dump.empty()) WriteFile(arguments.dump, DumpText(host.Categories()));
  if (!arguments.journal.empty()) WriteFile(arguments.journal, JournalText(host.Journal()));
  return clean ? 0 : 3;
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
