// The synchronisation thread left running against the simulated Outlook 16, with a short
// period and the public file on the loopback HTTP server, fetched afresh by every pass:
//   soak:   handles and private bytes after a warm-up and after 2,000 more passes; a
//           leak in a pass shows as growth here;
//   outage: the server stops for a while and comes back (on a new port, which the
//           settings then name): the passes meanwhile fail without a word and leave
//           every public category in Outlook, and merge again once it is back.
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "CategorySync.h"
#include "LocalCopyTime.h"
#include "OutlookApplicationHome.h"
#include "OutlookSimHost.h"
#include "Settings.h"
#include "SynchThread.h"
#include "VersionInfo.h"
#include "qv/Text.h"
#include "support/LoopbackServers.h"
#include "support/SettingsFolderSandbox.h"

namespace {

constexpr DWORD kPeriodMs = 2;
constexpr unsigned long kWarmUpPasses = 50;
constexpr unsigned long kSoakPasses = 2000;
constexpr unsigned long kOutagePasses = 60;
constexpr DWORD kWaitLimitMs = 600000;  // only so that a stalled thread cannot hang the run

const char kPublicFile[] = "Projekt;3\r\nKlient;5\r\nFaktura;8\r\nPilne;1\r\nSpotkanie;12\r\n";
const std::vector<OutlookSim::SimCategory> kPublicInOutlook = {
    {L"Projekt", 3}, {L"Klient", 5}, {L"Faktura", 8}, {L"Pilne", 1}, {L"Spotkanie", 12}};

struct Usage {
  DWORD handles = 0;
  SIZE_T privateKb = 0;
};

// Wine 8 answers GetProcessHandleCount with 0: count the handle values that are valid
// instead (Wine hands them out densely from 4 up, reusing freed ones first).
DWORD HandleCount() {
  DWORD count = 0;
  if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count != 0) return count;
  DWORD misses = 0;
  for (ULONG_PTR value = 4; misses < 4096; value += 4) {
    DWORD flags = 0;
    if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
      ++count;
      misses = 0;
    } else {
      ++misses;
    }
  }
  return count;
}

// Wine 8 leaves PrivateUsage at 0: add up the committed private regions of the address
// space, which is what the figure means on Windows.
SIZE_T PrivateKb() {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof counters;
  if (::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters) &&
      counters.PrivateUsage != 0)
    return counters.PrivateUsage / 1024;
  SIZE_T committed = 0;
  MEMORY_BASIC_INFORMATION region = {};
  for (const char* address = nullptr;
       ::VirtualQuery(address, &region, sizeof region) == sizeof region;
       address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) committed += region.RegionSize;
    if (region.RegionSize == 0) break;
  }
  return committed / 1024;
}

Usage Measure() { return {HandleCount(), PrivateKb()}; }

void UsePublicFileAt(const std::string& url) {
  CSettings settings;
  settings.SetIsInternetFile(true);
  settings.SetDataFileUrl(url);
  settings.SetInterval(0);  // never fresh: every pass goes to the server
  settings.Save();
}

bool WaitForPasses(const CSynchThread& thread, unsigned long passes) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitLimitMs);
  while (thread.PassCount() < passes) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    ::Sleep(5);
  }
  return true;
}

bool Holds(const OutlookSim::OutlookSimHost& host, const std::vector<OutlookSim::SimCategory>& wanted) {
  const std::vector<OutlookSim::SimCategory> categories = host.Categories();
  for (const OutlookSim::SimCategory& w : wanted) {
    bool found = false;
    for (const OutlookSim::SimCategory& c : categories) found = found || c == w;
    if (!found) return false;
  }
  return true;
}

}  // namespace

int main() {
  if (OutlookMajorVersion() != 16) {
    std::printf("soak skipped: the benchmark must carry Outlook 16's version resource\n");
    return 1;
  }
  SettingsFolderSandbox settingsFolder;
  ScratchFolder scratch;
  ::RegDeleteTreeA(HKEY_CURRENT_USER, CCategorySync::kRegistryKey);
  CLocalCopyTime::Instance().Reset();
  scratch.WriteFile("publiczne.txt", kPublicFile);
  auto http = std::make_unique<LoopbackHttpServer>(scratch);
  UsePublicFileAt(http->Url("publiczne.txt"));

  OutlookSim::SimOptions options;
  options.version = L"16.0.4266.1001";
  options.categories = {{L"Moja", 7}, {L"Dom", 2}};
  OutlookSim::OutlookSimHost host(options);
  host.RunOnUiThread([&] { COutlookApplicationHome::Instance().Set(host.Application().Get()); });

  int status = 0;
  {
    CSynchThread thread;
    thread.Start(kPeriodMs);
    thread.Resume();

    // Warm-up: the first passes fill WinINet's, COM's and the heap's own caches.
    bool ok = WaitForPasses(thread, kWarmUpPasses) && Holds(host, kPublicInOutlook);
    const Usage start = Measure();
    const unsigned long soakFrom = thread.PassCount();
    const auto soakStarted = std::chrono::steady_clock::now();
    ok = ok && WaitForPasses(thread, soakFrom + kSoakPasses);
    const Usage end = Measure();
    const unsigned long soaked = thread.PassCount() - soakFrom;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - soakStarted).count();
    std::printf("soak passes=%lu handles=%lu->%lu private_kb=%lu->%lu\n", soaked,
                static_cast<unsigned long>(start.handles), static_cast<unsigned long>(end.handles),
                static_cast<unsigned long>(start.privateKb), static_cast<unsigned long>(end.privateKb));
    std::printf("soak pass_ms=%.2f (period %lu ms)%s\n", soaked ? seconds * 1000 / soaked : 0.0,
                static_cast<unsigned long>(kPeriodMs), ok ? "" : " (passes stalled or did not merge)");

    // Outage: the server goes away; Outlook keeps what the last good pass gave it.
    http->Stop();
    const unsigned long outageFrom = thread.PassCount();
    bool kept = true;
    for (unsigned long target = outageFrom + 20; target <= outageFrom + kOutagePasses; target += 20) {
      ok = WaitForPasses(thread, target) && ok;
      kept = kept && Holds(host, kPublicInOutlook);
    }
    const unsigned long outagePasses = thread.PassCount() - outageFrom;
    CCategoryVector prev;
    CCategorySync::ReadPrevCategories(prev);
    kept = kept && prev.items.size() == kPublicInOutlook.size();

    // Back, with one category more: the next pass must merge it.
    scratch.WriteFile("publiczne.txt", std::string(kPublicFile) + "Nowa;4\r\n");
    http = std::make_unique<LoopbackHttpServer>(scratch);
    UsePublicFileAt(http->Url("publiczne.txt"));
    std::vector<OutlookSim::SimCategory> afterwards = kPublicInOutlook;
    afterwards.push_back({L"Nowa", 4});
    const auto back = std::chrono::steady_clock::now();
    bool resumed = false;
    while (!resumed && std::chrono::steady_clock::now() - back < std::chrono::seconds(20)) {
      ::Sleep(10);
      resumed = Holds(host, afterwards);
    }
    std::printf("soak outage passes=%lu public_kept=%s resumed=%s\n", outagePasses, kept ? "yes" : "no",
                resumed ? "yes" : "no");

    const bool stopped = thread.Stop(15000);
    if (!stopped) std::printf("soak: the thread had to be terminated\n");
    if (!ok || !kept || !resumed || !stopped) status = 1;
  }

  host.RunOnUiThread([] { COutlookApplicationHome::Instance().Clear(); });
  ::RegDeleteTreeA(HKEY_CURRENT_USER, CCategorySync::kRegistryKey);
  CLocalCopyTime::Instance().Reset();
  return status;
}
