#pragma once
// A test fixture with the simulated Outlook running, its Application in the add-in's home
// (registered from Outlook's UI thread, as the add-in does at connection), and a way to
// run code on a worker thread in the multithreaded apartment, as the synchronisation
// thread does.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "OutlookApplicationHome.h"
#include "OutlookSimHost.h"
#include "qv/Text.h"

class HostedOutlook : public ::testing::Test {
 protected:
  void StartOutlook(std::vector<OutlookSim::SimCategory> categories, int major = 16) {
    OutlookSim::SimOptions options;
    options.version = std::to_wstring(major) + L".0.0.0";
    options.categories = std::move(categories);
    options.journal = true;
    host = std::make_unique<OutlookSim::OutlookSimHost>(options);
    host->RunOnUiThread([this] { COutlookApplicationHome::Instance().Set(host->Application().Get()); });
  }

  void TearDown() override {
    if (!host) return;
    host->RunOnUiThread([] { COutlookApplicationHome::Instance().Clear(); });
    EXPECT_EQ(wrongThreadCallsExpected, host->WrongThreadCalls())
        << "the add-in called Outlook from a wrong thread";
    host.reset();
  }

  template <class Work>
  static void OnWorker(Work&& work) {
    std::thread worker([&] {
      ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      work();
      ::CoUninitialize();
    });
    worker.join();
  }

  std::string OutlookList() const {
    std::string text;
    for (const OutlookSim::SimCategory& c : host->Categories())
      text += "[" + Qv::WideToAnsi(c.name) + ":" + std::to_string(c.color) + "]";
    return text;
  }

  std::string JournalText() const {
    std::string text;
    for (const OutlookSim::JournalEntry& e : host->Journal())
      text += e.op + " " + Qv::WideToAnsi(e.name) + (e.op == "Add" ? ":" + std::to_string(e.color) : "") +
              (FAILED(e.result) ? " (refused)" : "") + "; ";
    return text;
  }

  std::unique_ptr<OutlookSim::OutlookSimHost> host;
  long wrongThreadCallsExpected = 0;
};
