// Synchronisation passes against the simulated Outlook, driven from a worker thread in
// the multithreaded apartment as the add-in's synchronisation thread drives them:
//   idle-pass: Outlook calls and wall time of a pass that finds nothing to change
//              (public file fresh in the local copy, n categories in Outlook);
//   ui-stall:  the longest stall of Outlook's UI thread during a pass removing 20.
#include <windows.h>
#include <objbase.h>

#include <chrono>
#include <memory>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "CategorySync.h"
#include "LocalCopyTime.h"
#include "OutlookApplicationHome.h"
#include "OutlookSimHost.h"
#include "PublicFileFormat.h"
#include "Settings.h"
#include "support/LoopbackServers.h"
#include "support/SettingsFolderSandbox.h"

namespace {

constexpr WORD kOutlook = 16;

BOOL PassOnWorker() {
  BOOL result = FALSE;
  std::thread worker([&] {
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    result = CCategorySync(kOutlook).Synchronize();
    ::CoUninitialize();
  });
  worker.join();
  return result;
}

void UsePublicFile(const ScratchFolder& scratch, const CCategoryItems& items) {
  scratch.WriteFile("publiczne.txt", WriteLines(items, LineEnd::CrLf));
  CSettings settings;
  settings.SetDataFilePath(scratch.WindowsPath("publiczne.txt"));
  settings.SetInterval(600);
  settings.Save();
}

struct Outlook {
  explicit Outlook(std::vector<OutlookSim::SimCategory> categories) {
    OutlookSim::SimOptions options;
    options.version = L"16.0.0.0";
    options.categories = std::move(categories);
    host = std::make_unique<OutlookSim::OutlookSimHost>(options);
    host->RunOnUiThread([this] { COutlookApplicationHome::Instance().Set(host->Application().Get()); });
  }
  ~Outlook() { COutlookApplicationHome::Instance().Clear(); }
  std::unique_ptr<OutlookSim::OutlookSimHost> host;
};

void IdlePass(int n, const ScratchFolder& scratch) {
  std::vector<OutlookSim::SimCategory> categories;
  CCategoryItems publicItems;
  for (int i = 0; i < n; ++i) {
    categories.push_back({L"Kategoria " + std::to_wstring(i), i % 26});
    if (i < 10) publicItems.push_back({"Kategoria " + std::to_string(i), i % 26});
  }
  Outlook outlook(categories);
  UsePublicFile(scratch, publicItems);
  ::RegDeleteTreeA(HKEY_CURRENT_USER, CCategorySync::kRegistryKey);
  CLocalCopyTime::Instance().Reset();
  PassOnWorker();  // records the public list and makes the local copy fresh

  outlook.host->ResetCounts();
  const auto start = std::chrono::steady_clock::now();
  const BOOL result = PassOnWorker();
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  const bool idle = outlook.host->CallCount("Categories.Add") == 0 && outlook.host->CallCount("Categories.Remove") == 0;
  std::printf("idle-pass n=%d calls=%ld ms=%.0f%s\n", n, outlook.host->TotalCalls(), ms,
              result && idle ? "" : " (the pass changed something or failed)");
}

void UiStall(const ScratchFolder& scratch) {
  std::vector<OutlookSim::SimCategory> categories;
  std::string previous;
  for (int i = 0; i < 20; ++i) {
    categories.push_back({L"Stara " + std::to_wstring(i), 1});
    previous += (i ? ";" : "") + std::string("Stara ") + std::to_string(i);
  }
  Outlook outlook(categories);
  UsePublicFile(scratch, {});
  CCategoryVector prev;
  prev.FromString(previous);
  CCategorySync::WritePrevCategories(prev);
  CLocalCopyTime::Instance().Reset();
  outlook.host->ResetStall();
  PassOnWorker();
  const size_t left = outlook.host->Categories().size();
  std::printf("ui-stall removals=20 max_ms=%.1f%s\n", outlook.host->LongestStallMs(),
              left == 0 ? "" : " (not all removed)");
}

}  // namespace

int main() {
  SettingsFolderSandbox settingsFolder;
  ScratchFolder scratch;
  IdlePass(500, scratch);
  IdlePass(5000, scratch);
  UiStall(scratch);
  ::RegDeleteTreeA(HKEY_CURRENT_USER, CCategorySync::kRegistryKey);
  CLocalCopyTime::Instance().Reset();
  return 0;
}
