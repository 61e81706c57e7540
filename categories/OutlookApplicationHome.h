#pragma once
// Outlook's Application object for the whole add-in. Outlook's object model answers only
// on Outlook's user-interface thread, so the object is kept in the Global Interface Table:
// each thread takes its own reference from there, which on another thread is a proxy
// that carries the calls over to the user-interface thread. The add-in's process-wide
// context owns this home.
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <mutex>

class COutlookApplicationHome {
 public:
  static COutlookApplicationHome& Instance();

  // On the thread that owns `application` (Outlook's user-interface thread). A second
  // call replaces the first object.
  void Set(IDispatch* application);
  // Drops the object (at module unload).
  void Clear();
  bool IsSet() const;

  // A reference usable on the calling thread, which must have joined an apartment;
  // null when no Application was set.
  Microsoft::WRL::ComPtr<IDispatch> ForThisThread() const;

 private:
  mutable std::mutex lock_;
  DWORD cookie_ = 0;  // Global Interface Table registration, 0 when none
};
