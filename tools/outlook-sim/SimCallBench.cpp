// How fast the simulated Outlook answers late-bound calls: Categories.Count by a cached
// DISPID, and the Item(i) + Name pair the master-list load makes per category, from the
// UI thread itself and through COM marshaling from an MTA and an STA worker.
#include <windows.h>
#include <objbase.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "LateBound.h"
#include "OutlookSimHost.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kSeconds = 1.0;

void Check(const DispatchResult& result, const char* what) {
  if (FAILED(result.hr)) {
    std::fprintf(stderr, "%s failed, 0x%08lX\n", what, static_cast<unsigned long>(result.hr));
    std::exit(1);
  }
}

// Calls per second of Count and of Item + Name pairs, on the calling thread.
void Measure(const OutlookSim::OutlookSimHost& host, const char* apartment) {
  auto application = host.Application();
  DispatchResult session = Get(application.Get(), L"Session");
  Check(session, "Session");
  DispatchResult categories = Get(session.Object().Get(), L"Categories");
  Check(categories, "Categories");
  IDispatch* collection = categories.Object().Get();
  DISPID count = 0, item = 0;
  DispIdOf(collection, L"Count", &count);
  DispIdOf(collection, L"Item", &item);

  long calls = 0;
  const auto start = Clock::now();
  while (Clock::now() - start < std::chrono::duration<double>(kSeconds)) {
    for (int i = 0; i < 100; ++i, ++calls) Check(InvokeById(collection, count, DISPATCH_PROPERTYGET, {}), "Count");
  }
  const double countRate = calls / std::chrono::duration<double>(Clock::now() - start).count();

  long pairs = 0;
  const auto again = Clock::now();
  while (Clock::now() - again < std::chrono::duration<double>(kSeconds)) {
    for (int i = 1; i <= 20; ++i, ++pairs) {
      std::vector<Qv::ScopedVariant> index;
      index.push_back(Qv::ScopedVariant::Int(i));
      DispatchResult category = InvokeById(collection, item, DISPATCH_METHOD, std::move(index));
      Check(category, "Item");
      Check(Get(category.Object().Get(), L"Name"), "Name");
    }
  }
  const double pairRate = pairs / std::chrono::duration<double>(Clock::now() - again).count();
  std::printf("outlook_sim apartment=%s count_calls_per_s=%.0f item_name_pairs_per_s=%.0f\n",
              apartment, countRate, pairRate);
}

void OnWorker(const OutlookSim::OutlookSimHost& host, DWORD model, const char* apartment) {
  std::thread worker([&] {
    ::CoInitializeEx(nullptr, model);
    Measure(host, apartment);
    ::CoUninitialize();
  });
  worker.join();
}

}  // namespace

int main() {
  OutlookSim::SimOptions options;
  for (int i = 1; i <= 20; ++i) options.categories.push_back({L"Kategoria " + std::to_wstring(i), i});
  OutlookSim::OutlookSimHost host(options);
  host.RunOnUiThread([&] { Measure(host, "ui"); });
  // From here on the loop only serves marshaled calls: its longest dispatch is one call.
  host.ResetStall();
  OnWorker(host, COINIT_MULTITHREADED, "mta");
  OnWorker(host, COINIT_APARTMENTTHREADED, "sta");
  std::printf("outlook_sim longest_ui_stall_ms=%.2f\n", host.LongestStallMs());
  return 0;
}
