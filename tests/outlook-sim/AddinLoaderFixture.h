#pragma once
// A test with the simulated Outlook, Office's add-in loader in it and the fixture add-in
// registered (FixtureAddins.h).
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "AddinLoader.h"
#include "FixtureAddins.h"
#include "OutlookSimHost.h"
#include "qv/Text.h"

using Strings = std::vector<std::string>;

inline std::string WindowText(HWND window) {
  return Qv::Format("0x%llX", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(window)));
}

inline OutlookSim::SimOptions Outlook(int major) {
  OutlookSim::SimOptions options;
  options.version = std::to_wstring(major) + L".0.0.0";
  return options;
}

class Loader : public testing::Test {
 protected:
  void Start(int major = 16) {
    loader_.reset();
    host_.reset();
    host_ = std::make_unique<OutlookSim::OutlookSimHost>(Outlook(major));
    loader_ = std::make_unique<OutlookSim::AddinLoader>(*host_);
    ASSERT_EQ(loader_->TypeLibraryRegistration(), S_OK);
  }
  void TearDown() override {
    loader_.reset();
    host_.reset();
  }
  // The steps that failed, as "<ProgID>.<step>".
  Strings FailedSteps() const {
    Strings steps;
    for (const OutlookSim::LoaderFailure& failure : loader_->Failures())
      steps.push_back(Qv::WideToAnsi(failure.progId) + "." + failure.step);
    return steps;
  }

  FixtureAddins addins_;
  std::unique_ptr<OutlookSim::OutlookSimHost> host_;
  std::unique_ptr<OutlookSim::AddinLoader> loader_;
};
