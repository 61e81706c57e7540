#include "OutlookApplicationHome.h"

#include "ComError.h"

using Microsoft::WRL::ComPtr;

namespace {

ComPtr<IGlobalInterfaceTable> InterfaceTable() {
  ComPtr<IGlobalInterfaceTable> table;
  Error::ThrowIfFailed(::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_PPV_ARGS(&table)),
                       nullptr, IID_IGlobalInterfaceTable);
  return table;
}

}  // namespace

COutlookApplicationHome& COutlookApplicationHome::Instance() {
  static COutlookApplicationHome home;
  return home;
}

void COutlookApplicationHome::Set(IDispatch* application) {
  Clear();
  if (application == nullptr) return;
  DWORD cookie = 0;
  Error::ThrowIfFailed(InterfaceTable()->RegisterInterfaceInGlobal(application, IID_IDispatch, &cookie),
                       nullptr, IID_IGlobalInterfaceTable);
  std::lock_guard<std::mutex> guard(lock_);
  cookie_ = cookie;
}

void COutlookApplicationHome::Clear() {
  DWORD cookie = 0;
  {
    std::lock_guard<std::mutex> guard(lock_);
    std::swap(cookie, cookie_);
  }
  if (cookie == 0) return;
  try {
    InterfaceTable()->RevokeInterfaceFromGlobal(cookie);
  } catch (...) {
    // No apartment on this thread: the table goes with the process.
  }
}

bool COutlookApplicationHome::IsSet() const {
  std::lock_guard<std::mutex> guard(lock_);
  return cookie_ != 0;
}

ComPtr<IDispatch> COutlookApplicationHome::ForThisThread() const {
  DWORD cookie = 0;
  {
    std::lock_guard<std::mutex> guard(lock_);
    cookie = cookie_;
  }
  ComPtr<IDispatch> application;
  if (cookie != 0)
    Error::ThrowIfFailed(InterfaceTable()->GetInterfaceFromGlobal(cookie, IID_PPV_ARGS(&application)),
                         nullptr, IID_IGlobalInterfaceTable);
  return application;
}
