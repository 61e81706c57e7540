// The add-in loader and an add-in's ribbon: the XML it reads and the XML Office refuses,
// onLoad, the getImage check that tells a real picture from an empty one, and clicks.
#include <gtest/gtest.h>

#include <windows.h>
#include <olectl.h>

#include <string>
#include <vector>

#include "AddinLoaderFixture.h"

using OutlookSim::AddinReport;
using OutlookSim::LoaderFailure;

namespace {

TEST_F(Loader, ReadsTheRibbonOfAGoodAddinAndCallsItsOnLoad) {
  const std::wstring a = addins_.Add(L"A", 3);
  Start();
  loader_->LoadAll({a});
  const AddinReport report = loader_->Report(a);
  ASSERT_TRUE(report.ribbon.Accepted());
  EXPECT_EQ(report.ribbon.onLoad, L"OnRibbonLoad");
  EXPECT_EQ(report.onLoad.name, L"OnRibbonLoad");
  EXPECT_EQ(report.onLoad.hr, S_OK);
  ASSERT_EQ(report.ribbon.tabs.size(), 2u);
  EXPECT_EQ(report.ribbon.tabs[0].idMso, L"TabMail");
  EXPECT_EQ(report.ribbon.tabs[1].idMso, L"TabCalendar");
  ASSERT_EQ(report.ribbon.tabs[0].groups.size(), 1u);
  EXPECT_EQ(report.ribbon.tabs[0].groups[0].id, L"FixtureGroupMail");
  const auto buttons = report.ribbon.Buttons();
  ASSERT_EQ(buttons.size(), 4u);
  EXPECT_EQ(buttons[0].label, L"Zarządzaj kategoriami");
  EXPECT_EQ(buttons[0].size, L"large");
  EXPECT_EQ(buttons[0].getImage, L"GetButtonImage");
  EXPECT_EQ(report.ribbon.tabs[1].groups[0].launchers.at(0).id, L"FixtureOptionsCalendar");
  EXPECT_NE(report.ribbonXml.find(L"Zarządzaj kategoriami"), std::wstring::npos);
}

// An XML Office would refuse shows nothing: no onLoad, no images; the add-in itself stays.
TEST_F(Loader, CatchesARibbonXmlOfficeWouldRefuse) {
  const struct {
    const char* option;
    bool asked, wellFormed;
    const char* failedStep;  // null: no failure
  } cases[] = {
      {"xml=broken", true, false, "ribbon XML"},
      {"xml=namespace", true, true, "ribbon XML"},
      {"xml=fail", true, false, "GetCustomUI"},
      {"xml=empty", true, false, nullptr},
      {"noribbon", false, false, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    const std::wstring a = addins_.Add(Qv::AnsiToWide(c.option).substr(0, 3) + std::to_wstring(&c - cases), 3, c.option);
    addins_.ClearJournal();
    Start();
    loader_->LoadAll({a});
    const AddinReport report = loader_->Report(a);
    EXPECT_TRUE(report.connected);
    EXPECT_TRUE(report.startupComplete);
    EXPECT_EQ(report.ribbonAsked, c.asked);
    EXPECT_EQ(report.ribbon.wellFormed, c.wellFormed);
    EXPECT_FALSE(report.ribbon.Accepted());
    EXPECT_TRUE(addins_.CallsOf(a, "OnRibbonLoad").empty());
    EXPECT_TRUE(addins_.CallsOf(a, "GetButtonImage").empty());
    EXPECT_TRUE(report.images.empty());
    if (c.failedStep) {
      ASSERT_EQ(loader_->Failures().size(), 1u) << loader_->FailureText();
      EXPECT_EQ(loader_->Failures()[0].step, c.failedStep);
    } else {
      EXPECT_TRUE(loader_->Failures().empty()) << loader_->FailureText();
    }
    if (std::string(c.option) == "xml=namespace") {
      EXPECT_NE(loader_->Failures()[0].description.find(L"namespace"), std::wstring::npos);
    }
    loader_.reset();
    host_.reset();
  }
}

TEST_F(Loader, TellsARealPictureFromAnEmptyOne) {
  const struct {
    const char* option;
    bool picture;
    short type;
    long size, painted;
  } cases[] = {
      {"", true, PICTYPE_ICON, 32, 20 * 20},
      {"image=blank", true, PICTYPE_ICON, 32, 0},
      {"image=bitmap", true, PICTYPE_BITMAP, 16, 16 * 16},
      {"image=none", false, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    const std::wstring a = addins_.Add(L"Image" + std::to_wstring(&c - cases), 3, c.option);
    Start();
    loader_->LoadAll({a});
    const AddinReport report = loader_->Report(a);
    ASSERT_EQ(report.images.size(), 2u);
    for (const auto& image : report.images) {
      EXPECT_EQ(image.call.name, L"GetButtonImage");
      EXPECT_EQ(image.call.hr, S_OK);
      EXPECT_EQ(image.picture.picture, c.picture);
      EXPECT_EQ(image.picture.type, c.type);
      EXPECT_EQ(image.picture.width, c.size);
      EXPECT_EQ(image.picture.height, c.size);
      EXPECT_EQ(image.picture.paintedPixels, c.painted);
      EXPECT_EQ(image.picture.renderResult, S_OK);
    }
    EXPECT_EQ(report.images[0].controlId, L"FixtureMail");
    EXPECT_TRUE(loader_->Failures().empty()) << loader_->FailureText();
    loader_.reset();
    host_.reset();
  }
}

TEST_F(Loader, AFailingImageCallbackIsRecorded) {
  const std::wstring a = addins_.Add(L"A", 3, "image=fail");
  Start();
  loader_->LoadAll({a});
  const AddinReport report = loader_->Report(a);
  ASSERT_EQ(report.images.size(), 2u);
  // A dual method's failure reaches a late-bound caller as an exception with its code.
  EXPECT_EQ(report.images[0].call.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(report.images[0].call.scode, E_FAIL);
  EXPECT_FALSE(report.images[0].picture.picture);
  EXPECT_EQ(loader_->Failures().size(), 2u) << loader_->FailureText();
}

TEST_F(Loader, AClickCallsTheControlsOnActionByName) {
  const std::wstring a = addins_.Add(L"A", 3);
  Start();
  loader_->LoadAll({a});
  const OutlookSim::ClickResult button = loader_->Click(a, kFixtureMailButton);
  EXPECT_TRUE(button.found);
  EXPECT_EQ(button.call.name, L"OnButton");
  EXPECT_EQ(button.call.hr, S_OK);
  const OutlookSim::ClickResult launcher = loader_->Click(a, kFixtureMailLauncher);
  EXPECT_EQ(launcher.call.name, L"OnLauncher");
  EXPECT_EQ(launcher.call.hr, S_OK);
  // The control's Context is the explorer active at the click.
  const HWND second = host_->OpenExplorer();
  EXPECT_EQ(loader_->Click(a, kFixtureCalendarButton).call.hr, S_OK);

  const auto clicks = addins_.CallsOf(a, "OnButton");
  ASSERT_EQ(clicks.size(), 2u);
  EXPECT_EQ(clicks[0].Field("control"), "FixtureMail");
  EXPECT_EQ(clicks[0].Field("typed"), "yes");
  EXPECT_EQ(clicks[0].Field("context"), WindowText(host_->ExplorerWindows().front()));
  EXPECT_EQ(clicks[1].Field("control"), "FixtureCalendar");
  EXPECT_EQ(clicks[1].Field("context"), WindowText(second));
  EXPECT_EQ(addins_.CallsOf(a, "OnLauncher").at(0).Field("control"), "FixtureOptionsMail");
  EXPECT_TRUE(loader_->Failures().empty()) << loader_->FailureText();
}

TEST_F(Loader, AClickThatFailsReportsWhatTheAddinSaid) {
  const std::wstring a = addins_.Add(L"A", 3);
  Start();
  loader_->LoadAll({a});
  const OutlookSim::ClickResult broken = loader_->Click(a, kFixtureBrokenButton);
  EXPECT_TRUE(broken.found);
  EXPECT_EQ(broken.call.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(broken.call.scode, E_ACCESSDENIED);
  EXPECT_EQ(broken.call.description, kFixtureBrokenDescription);
  EXPECT_EQ(broken.call.source, L"Fixture add-in");
  const OutlookSim::ClickResult missing = loader_->Click(a, kFixtureMissingButton);
  EXPECT_TRUE(missing.found);
  EXPECT_EQ(missing.call.name, L"NoSuchCallback");
  EXPECT_EQ(missing.call.hr, DISP_E_UNKNOWNNAME);
  EXPECT_FALSE(loader_->Click(a, L"NoSuchControl").found);
  EXPECT_EQ(FailedSteps(), (Strings{Qv::WideToAnsi(a) + ".onAction OnBrokenButton for FixtureBroken",
                                    Qv::WideToAnsi(a) + ".onAction NoSuchCallback for FixtureMissing"}));
  // The host is fine: the add-in still answers.
  EXPECT_EQ(loader_->Click(a, kFixtureMailButton).call.hr, S_OK);
}

}  // namespace
