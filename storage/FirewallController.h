#pragma once
// Letting Outlook's executable through the Windows Firewall. The add-in's FTP transfers run
// in active mode, so the server connects back to Outlook; without an exception in the
// firewall those connections are dropped.
//
// Both controllers run on a thread that has joined a COM apartment (Outlook's user-interface
// thread). On a thread without one every object creation fails, which they treat like any
// other failure.
#include <windows.h>
#include <netfw.h>

#include <string>

// The name both controllers give Outlook's entry.
inline constexpr char kOutlookFirewallName[] = "Microsoft Outlook";

// The older firewall interface (INetFwMgr): the authorized applications of the current
// profile. Run each time the add-in module loads.
class QvFirewallController {
 public:
  QvFirewallController() = default;
  virtual ~QvFirewallController() = default;
  QvFirewallController(const QvFirewallController&) = delete;
  QvFirewallController& operator=(const QvFirewallController&) = delete;

  // Adds `path` under `name`, enabled. Best effort: shows nothing, raises nothing.
  void AuthorizeApplication(const std::string& path, const std::string& name) noexcept;
};

// The newer firewall interface (INetFwPolicy2): an inbound rule, created with administrator
// elevation, so the user sees the system's consent prompt.
class CFirewallController {
 public:
  CFirewallController() = default;
  virtual ~CFirewallController() = default;
  CFirewallController(const CFirewallController&) = delete;
  CFirewallController& operator=(const CFirewallController&) = delete;

  // On Windows 7 only: asks for an elevated policy object and adds the rule to it. A refused
  // or failed elevation shows message IDS_FIREWALL_RULE_FAILED.
  void AddOutlookRule(const std::string& path, const std::string& name);

  // The rule part of AddOutlookRule, on a policy object however it was made: an inbound TCP
  // rule allowing `path` in the policy's current profiles. A failed Add to the rules shows
  // the system's message; every other failure ends it silently.
  static void AddRule(INetFwPolicy2* policy, const std::string& path, const std::string& name);
};

// The once-per-user step of the extension's start-up: unless settings.ini says
// OutlookUnblocked, add the rule for Outlook's executable, then record OutlookUnblocked
// whatever happened, so the user is asked for elevation at most once. Never raises.
void UnblockOutlookOnce() noexcept;
