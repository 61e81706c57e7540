#include "FirewallController.h"

#include <objbase.h>
#include <wrl/client.h>

#include "ComError.h"
#include "MessageBoxes.h"
#include "ResourceIds.h"
#include "Settings.h"
#include "VersionInfo.h"
#include "qv/Handles.h"
#include "qv/ResourceText.h"
#include "qv/Text.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kAddRuleFailed[] = "Cannot add rule to Windows Firewall rules.\n";

// Null only when the system is out of memory; an empty text gives an empty BSTR.
Qv::UniqueBstr MakeBstr(const std::string& text) {
  const std::wstring wide = Qv::AnsiToWide(text);
  return Qv::UniqueBstr(::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
}

template <class Interface>
ComPtr<Interface> CreateFirewallObject(REFCLSID clsid) {
  ComPtr<Interface> object;
  if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&object))))
    object.Reset();
  return object;
}

// The policy object made by the elevated out-of-process server: the system asks the user
// for administrator consent, over the desktop since the prompt has no window of ours.
ComPtr<INetFwPolicy2> CreateElevatedPolicy() {
  wchar_t clsid[40] = {};
  if (::StringFromGUID2(__uuidof(NetFwPolicy2), clsid, ARRAYSIZE(clsid)) == 0) return nullptr;
  const std::wstring moniker = std::wstring(L"Elevation:Administrator!new:") + clsid;

  BIND_OPTS3 options{};
  options.cbStruct = sizeof(options);
  options.dwClassContext = CLSCTX_LOCAL_SERVER;
  options.hwnd = ::GetDesktopWindow();
  ComPtr<INetFwPolicy2> policy;
  if (FAILED(::CoGetObject(moniker.c_str(), &options, IID_PPV_ARGS(&policy)))) policy.Reset();
  return policy;
}

}  // namespace

void QvFirewallController::AuthorizeApplication(const std::string& path,
                                                const std::string& name) noexcept {
  // The firewall may be absent, stopped or managed by policy: each step only needs the
  // object of the one before, and no result code changes what happens next.
  try {
    const ComPtr<INetFwMgr> manager = CreateFirewallObject<INetFwMgr>(__uuidof(NetFwMgr));
    if (!manager) return;
    ComPtr<INetFwPolicy> policy;
    manager->get_LocalPolicy(policy.GetAddressOf());
    if (!policy) return;
    ComPtr<INetFwProfile> profile;
    policy->get_CurrentProfile(profile.GetAddressOf());
    if (!profile) return;
    ComPtr<INetFwAuthorizedApplications> applications;
    profile->get_AuthorizedApplications(applications.GetAddressOf());
    if (!applications) return;

    const ComPtr<INetFwAuthorizedApplication> application =
        CreateFirewallObject<INetFwAuthorizedApplication>(__uuidof(NetFwAuthorizedApplication));
    if (!application) return;
    const Qv::UniqueBstr image = MakeBstr(path);
    const Qv::UniqueBstr applicationName = MakeBstr(name);
    application->put_ProcessImageFileName(image.Get());
    application->put_Name(applicationName.Get());
    application->put_Enabled(VARIANT_TRUE);
    applications->Add(application.Get());
  } catch (...) {
    // Nothing here is worth disturbing the module's start-up for.
  }
}

void CFirewallController::AddOutlookRule(const std::string& path, const std::string& name) {
  // Vista needs no rule of ours, later systems ask for their own; servers are managed.
  if (!QvOsVersionInfo().IsWindows7()) return;
  const ComPtr<INetFwPolicy2> policy = CreateElevatedPolicy();
  if (!policy) {
    // Also what the user sees after refusing consent: the rule must then be added by hand.
    Error::AppMessageBox(Qv::LoadText(IDS_FIREWALL_RULE_FAILED), MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  AddRule(policy.Get(), path, name);
}

void CFirewallController::AddRule(INetFwPolicy2* policy, const std::string& path,
                                  const std::string& name) {
  if (policy == nullptr) return;
  long profiles = 0;
  if (FAILED(policy->get_CurrentProfileTypes(&profiles))) return;
  const ComPtr<INetFwRule> rule = CreateFirewallObject<INetFwRule>(__uuidof(NetFwRule));
  if (!rule) return;

  const Qv::UniqueBstr ruleName = MakeBstr(name);
  const Qv::UniqueBstr application = MakeBstr(path);
  if (!ruleName || !application) return;
  // Set in this order, each only after the one before took. Only the program is named: any
  // port, any address, so FTP's data connections pass.
  if (FAILED(rule->put_Name(ruleName.Get())) || FAILED(rule->put_Enabled(VARIANT_TRUE)) ||
      FAILED(rule->put_ApplicationName(application.Get())) ||
      FAILED(rule->put_Action(NET_FW_ACTION_ALLOW)) ||
      FAILED(rule->put_Direction(NET_FW_RULE_DIR_IN)) ||
      FAILED(rule->put_Protocol(NET_FW_IP_PROTOCOL_TCP)) || FAILED(rule->put_Profiles(profiles)))
    return;

  try {
    ComPtr<INetFwRules> rules;
    Error::ThrowIfFailed(policy->get_Rules(rules.GetAddressOf()), policy, __uuidof(INetFwPolicy2));
    if (!rules) Error::ThrowComError(E_POINTER);
    Error::ThrowIfFailed(rules->Add(rule.Get()), rules.Get(), __uuidof(INetFwRules));
  } catch (const _com_error& error) {
    Error::AppMessageBox(kAddRuleFailed + Error::HResultMessage(error.Error()));
  }
}

void UnblockOutlookOnce() noexcept {
  try {
    CSettings settings;
    settings.Load();
    if (settings.GetOutlookUnblocked()) return;
    try {
      CFirewallController controller;
      controller.AddOutlookRule(GetOutlookExecutableInfo().Path, kOutlookFirewallName);
    } catch (...) {
      // Recorded as done all the same: the user is asked for elevation at most once.
    }
    settings.SetOutlookUnblocked(true);
    settings.Save();
  } catch (...) {
    // Start-up goes on without the rule.
  }
}
