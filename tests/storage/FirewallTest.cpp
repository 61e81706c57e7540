#include <windows.h>
#include <objbase.h>
#include <netfw.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "FirewallController.h"
#include "ResourceIds.h"
#include "addin/MessageBoxRecorder.h"
#include "fixtures/VersionProbes.h"
#include "qv/Handles.h"
#include "qv/ResourceText.h"
#include "support/RegistrySandbox.h"
#include "support/SettingsFolderSandbox.h"
#include "support/WineVersion.h"
#include "EscapedText.h"

using Microsoft::WRL::ComPtr;

namespace {

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadSetting(const std::string& file, const char* key) {
  char value[512] = {};
  ::GetPrivateProfileStringA("General", key, "<missing>", value, sizeof(value), file.c_str());
  return value;
}

// firewall_probe.exe is built beside this test.
std::string FirewallProbePath() {
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path(self);
  path.erase(path.find_last_of('\\') + 1);
  return path + "firewall_probe.exe";
}


// ---- The once-per-user step, in firewall_probe under a chosen Windows version ----------

constexpr char kUnblockedFalse[] =
    "[General]\r\nDataFilePath=\\\\server\\share\\kategorie.txt\r\nOutlookUnblocked=False\r\n";
constexpr char kUnblockedTrue[] =
    "[General]\r\nDataFilePath=\\\\server\\share\\kategorie.txt\r\nOutlookUnblocked=True\r\n";

struct UnblockCase {
  const char* wineVersion;
  const char* settingsBefore;  // nullptr: no settings.ini yet
};

TEST(UnblockOutlookOnce, AsksOnWindows7OnlyAndRecordsThatItRan) {
  if (!RunningUnderWine()) GTEST_SKIP() << "only Wine sets the Windows version per executable";
  // Wine 8.0 swaps the product types of "win7" and "win2008r2" (the first reports a server,
  // the second a workstation), so both run with each settings file and the expectation
  // follows the record the probe saw.
  const UnblockCase cases[] = {
      {"win7", nullptr},          {"win2008r2", nullptr},
      {"win7", kUnblockedFalse},  {"win2008r2", kUnblockedFalse},
      {"win7", kUnblockedTrue},   {"win2008r2", kUnblockedTrue},
      {"vista", nullptr},         {"win8", kUnblockedFalse},
  };
  const std::string expectedText = Qv::LoadText(IDS_FIREWALL_RULE_FAILED);
  ASSERT_FALSE(expectedText.empty());
  bool askedOnWindows7 = false, skippedElsewhere = false;
  for (const UnblockCase& c : cases) {
    SCOPED_TRACE(std::string(c.wineVersion) + (c.settingsBefore ? "" : ", no settings.ini") +
                 (c.settingsBefore == kUnblockedTrue ? ", already unblocked" : ""));
    const SettingsFolderSandbox folder;
    const std::string file = folder.File("settings.ini");
    if (c.settingsBefore) WriteFileBytes(file, c.settingsBefore);

    const WineVersionForExecutable version("firewall_probe.exe", c.wineVersion);
    ProbeReport report = RunProbe(FirewallProbePath());

    const bool windows7 = report["OsVersion"] == "6.1" && report["ProductType"] == "1";
    ASSERT_EQ(windows7 ? "1" : "0", report["IsWindows7"])
        << report["OsVersion"] << ", product type " << report["ProductType"];
    const bool alreadyUnblocked = c.settingsBefore == kUnblockedTrue;

    if (alreadyUnblocked) {
      EXPECT_EQ("0", report["Messages"]) << "nothing is attempted again";
      EXPECT_EQ(c.settingsBefore, ReadFileBytes(file)) << "and nothing is saved";
      continue;
    }
    if (windows7) {
      // Wine has no elevation moniker, so the elevated policy cannot be made.
      ASSERT_EQ("1", report["Messages"]);
      EXPECT_EQ(Escaped(expectedText), report["Message0.Text"]);
      EXPECT_EQ("Velmora Tagsy", report["Message0.Caption"]);
      EXPECT_EQ(std::to_string(MB_OK | MB_ICONEXCLAMATION), report["Message0.Style"]);
      askedOnWindows7 = true;
    } else {
      EXPECT_EQ("0", report["Messages"]) << "the rule is for Windows 7 only";
      skippedElsewhere = true;
    }
    EXPECT_EQ("True", ReadSetting(file, "OutlookUnblocked")) << "recorded whatever happened";
    if (c.settingsBefore) {
      EXPECT_EQ("\\\\server\\share\\kategorie.txt", ReadSetting(file, "DataFilePath"))
          << "the other settings are saved as they were";
    }
  }
  EXPECT_TRUE(askedOnWindows7) << "no case ran as Windows 7";
  EXPECT_TRUE(skippedElsewhere) << "no case ran as another system";
}

// ---- The controllers in this process, against Wine's own firewall objects --------------

class FirewallObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    apartment_ = true;
  }
  void TearDown() override {
    if (apartment_) ::CoUninitialize();
  }

  static ComPtr<INetFwAuthorizedApplications> AuthorizedApplications() {
    ComPtr<INetFwMgr> manager;
    ComPtr<INetFwPolicy> policy;
    ComPtr<INetFwProfile> profile;
    ComPtr<INetFwAuthorizedApplications> applications;
    if (SUCCEEDED(::CoCreateInstance(__uuidof(NetFwMgr), nullptr, CLSCTX_ALL,
                                     IID_PPV_ARGS(&manager))) &&
        SUCCEEDED(manager->get_LocalPolicy(&policy)) &&
        SUCCEEDED(policy->get_CurrentProfile(&profile)))
      profile->get_AuthorizedApplications(&applications);
    return applications;
  }

  MessageBoxRecorder recorder_;

 private:
  bool apartment_ = false;
};

std::string ThisExecutable() {
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  return self;
}

TEST_F(FirewallObjects, AuthorizeApplicationGoesThroughQuietly) {
  ASSERT_TRUE(AuthorizedApplications()) << "the firewall manager and its list exist";
  // Wine's objects refuse an empty image name (E_INVALIDARG): a failing step among the rest.
  const std::string paths[] = {
      ThisExecutable(),
      "",
      "C:\\Program Files\\Poczta \xB3\xF3" "d\x9F\\OUTLOOK.EXE",  // "łódź" in code page 1250
      // The longest path OutlookExecutableInfo reads (1023 characters). Wine's list hangs
      // or crashes on image names much longer than that.
      "C:\\" + std::string(1016, 'o') + ".exe",
  };
  for (const std::string& path : paths) {
    SCOPED_TRACE(path.substr(0, 60));
    QvFirewallController().AuthorizeApplication(path, kOutlookFirewallName);
  }
  EXPECT_TRUE(recorder_.shown.empty());
}

TEST_F(FirewallObjects, AuthorizeApplicationEntersTheProgramInTheList) {
  const ComPtr<INetFwAuthorizedApplications> applications = AuthorizedApplications();
  ASSERT_TRUE(applications);
  long count = 0;
  if (applications->get_Count(&count) == E_NOTIMPL)
    GTEST_SKIP() << "this firewall's list cannot be read back (Wine: Add succeeds for "
                    "anything, Item answers every name with a blank entry, Count and "
                    "_NewEnum are not implemented)";
  if (!::IsUserAnAdmin()) GTEST_SKIP() << "only an administrator may change the list";

  const std::string path = ThisExecutable();
  QvFirewallController().AuthorizeApplication(path, kOutlookFirewallName);
  ComPtr<INetFwAuthorizedApplication> entry;
  const Qv::UniqueBstr image(::SysAllocString(std::wstring(path.begin(), path.end()).c_str()));
  ASSERT_TRUE(SUCCEEDED(applications->Item(image.Get(), &entry)) && entry);
  Qv::UniqueBstr name;
  ASSERT_TRUE(SUCCEEDED(entry->get_Name(name.Receive())));
  EXPECT_STREQ(L"Microsoft Outlook", name.Get());
  VARIANT_BOOL enabled = VARIANT_FALSE;
  ASSERT_TRUE(SUCCEEDED(entry->get_Enabled(&enabled)));
  EXPECT_EQ(VARIANT_TRUE, enabled);
  EXPECT_TRUE(recorder_.shown.empty());
}

TEST_F(FirewallObjects, AuthorizeApplicationWithoutAnyObjectsShowsNothing) {
  // A thread outside every apartment: COM makes no object for it.
  std::thread([] {
    ComPtr<INetFwMgr> manager;
    ASSERT_EQ(CO_E_NOTINITIALIZED, ::CoCreateInstance(__uuidof(NetFwMgr), nullptr, CLSCTX_ALL,
                                                      IID_PPV_ARGS(&manager)));
    QvFirewallController().AuthorizeApplication(ThisExecutable(), kOutlookFirewallName);
  }).join();
  EXPECT_TRUE(recorder_.shown.empty());
}

TEST_F(FirewallObjects, AddRuleOnWinesPolicyFollowsWhatThePolicyCanDo) {
  // The in-process policy object: what the elevated one is, minus the consent prompt.
  ComPtr<INetFwPolicy2> policy;
  ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(__uuidof(NetFwPolicy2), nullptr, CLSCTX_INPROC_SERVER,
                                           IID_PPV_ARGS(&policy))));
  long profiles = 0;
  const HRESULT profilesResult = policy->get_CurrentProfileTypes(&profiles);
  const std::string path = ThisExecutable();
  CFirewallController::AddRule(policy.Get(), path, kOutlookFirewallName);

  if (FAILED(profilesResult)) {
    // Wine 8: the current profile types are not implemented, which ends the step quietly.
    EXPECT_TRUE(recorder_.shown.empty());
    return;
  }
  ComPtr<INetFwRules> rules;
  ASSERT_TRUE(SUCCEEDED(policy->get_Rules(&rules)));
  ComPtr<INetFwRule> rule;
  const Qv::UniqueBstr name(::SysAllocString(L"Microsoft Outlook"));
  if (FAILED(rules->Item(name.Get(), &rule))) {
    // A policy without administrator rights refuses the rule, and says so.
    ASSERT_EQ(1u, recorder_.shown.size());
    EXPECT_EQ(0u, recorder_.shown[0].text.find("Cannot add rule to Windows Firewall rules.\n"));
    return;
  }
  EXPECT_TRUE(recorder_.shown.empty());
  NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_OUT;
  NET_FW_ACTION action = NET_FW_ACTION_BLOCK;
  long protocol = 0, ruleProfiles = 0;
  EXPECT_TRUE(SUCCEEDED(rule->get_Direction(&direction)) && direction == NET_FW_RULE_DIR_IN);
  EXPECT_TRUE(SUCCEEDED(rule->get_Action(&action)) && action == NET_FW_ACTION_ALLOW);
  EXPECT_TRUE(SUCCEEDED(rule->get_Protocol(&protocol)) && protocol == NET_FW_IP_PROTOCOL_TCP);
  EXPECT_TRUE(SUCCEEDED(rule->get_Profiles(&ruleProfiles)) && ruleProfiles == profiles);
  rules->Remove(name.Get());
}

}  // namespace
