#pragma once
// The sinks advised on one event source of the simulated Outlook (an explorer, the
// explorers collection), and the delivery of an event to them. A list belongs to the
// entity, not to a COM object handed out for it: a sink stays advised while the add-in
// drops and takes Explorer objects. The list has its own mutex (the host side counts
// connections from any thread); sinks are released and called only outside it, on the
// UI thread, since a sink of another apartment is a proxy whose calls may re-enter.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <mutex>
#include <vector>

#include "OutlookSimHost.h"  // EventResults

namespace OutlookSim {

struct Connection {
  DWORD cookie = 0;
  Microsoft::WRL::ComPtr<IUnknown> advised;  // what Advise was given
  Microsoft::WRL::ComPtr<IDispatch> sink;    // what events are invoked on
};

class ConnectionList {
 public:
  explicit ConnectionList(const IID& events) : events_(events) {}
  ConnectionList(const ConnectionList&) = delete;
  ConnectionList& operator=(const ConnectionList&) = delete;

  const IID& Events() const noexcept { return events_; }
  // The new connection's cookie (never 0, never reused); 0 once the list is closed.
  DWORD Add(Microsoft::WRL::ComPtr<IUnknown> advised, Microsoft::WRL::ComPtr<IDispatch> sink);
  // The removed connection, for the caller to release outside the lock; its cookie is
  // 0 when no connection had that cookie.
  Connection Remove(DWORD cookie);
  std::vector<Connection> Snapshot() const;
  long Count() const;
  // The source is gone: no further Advise succeeds. Returns the connections dropped.
  std::vector<Connection> Close();

 private:
  const IID events_;
  mutable std::mutex mutex_;
  std::vector<Connection> connections_;
  DWORD lastCookie_ = 0;
  bool closed_ = false;
};

// Delivers one event by IDispatch::Invoke (DISPATCH_METHOD) to every sink of `list`,
// in cookie order. `arguments` in their natural order, not owned (by-reference ones are
// read back by the caller). UI thread only. A failing or throwing sink gets its result
// recorded and the others still hear the event.
EventResults FireEvent(const ConnectionList& list, DISPID id, std::vector<VARIANT> arguments = {});

}  // namespace OutlookSim
