#pragma once
// Running test code against the simulated Outlook from the apartment a case names: on
// Outlook's UI thread (in-apartment, the way the add-in's UI code calls), or from a
// worker of its own apartment that takes Application from the Global Interface Table
// (cross-apartment, the way the synchronisation thread calls).
#include <windows.h>
#include <objbase.h>
#include <mapicode.h>  // Outlook reports MAPI's codes (MAPI_E_NOT_FOUND, ...)

#include <functional>
#include <initializer_list>
#include <ostream>
#include <thread>

#include "LateBound.h"
#include "OutlookSimHost.h"

enum class Apartment { UiThread, Mta, Sta };

inline std::ostream& operator<<(std::ostream& out, Apartment apartment) {
  switch (apartment) {
    case Apartment::UiThread: return out << "UiThread";
    case Apartment::Mta: return out << "Mta";
    case Apartment::Sta: return out << "Sta";
  }
  return out;
}

// Runs `body` on a new thread that has joined the given apartment (Mta or Sta).
inline void OnWorker(Apartment apartment, const std::function<void()>& body) {
  std::thread worker([&] {
    ::CoInitializeEx(nullptr, apartment == Apartment::Mta ? COINIT_MULTITHREADED
                                                          : COINIT_APARTMENTTHREADED);
    body();
    ::CoUninitialize();
  });
  worker.join();
}

// Runs `body` with Outlook's Application as the given apartment sees it.
inline void WithApplication(const OutlookSim::OutlookSimHost& host, Apartment apartment,
                            const std::function<void(IDispatch*)>& body) {
  auto run = [&] {
    Microsoft::WRL::ComPtr<IDispatch> application = host.Application();
    body(application.Get());
  };
  if (apartment == Apartment::UiThread)
    host.RunOnUiThread(run);
  else
    OnWorker(apartment, run);
}

// Follows a chain of members without arguments (Session, Categories, ActiveExplorer, ...)
// from `object`, calling each as a script would, property or method alike.
inline Microsoft::WRL::ComPtr<IDispatch> Walk(IDispatch* object,
                                              std::initializer_list<const wchar_t*> names) {
  Microsoft::WRL::ComPtr<IDispatch> current = object;
  for (const wchar_t* name : names) {
    if (!current) break;
    current = InvokeByName(current.Get(), name, DISPATCH_METHOD | DISPATCH_PROPERTYGET).Object();
  }
  return current;
}

// The identity of a COM object, to tell whether two references are one object.
inline Microsoft::WRL::ComPtr<IUnknown> IdentityOf(IUnknown* object) {
  Microsoft::WRL::ComPtr<IUnknown> identity;
  if (object) object->QueryInterface(IID_PPV_ARGS(&identity));
  return identity;
}
