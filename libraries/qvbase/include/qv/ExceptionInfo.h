#pragma once
// The EXCEPINFO an IDispatch::Invoke fills when it answers DISP_E_EXCEPTION, owning its
// strings: the deferred part is filled in once, and the strings are freed with it.
#include <windows.h>
#include <oaidl.h>

#include <string>

namespace Qv {

class ScopedExceptionInfo {
 public:
  ScopedExceptionInfo() = default;
  ~ScopedExceptionInfo() {
    ::SysFreeString(info_.bstrDescription);
    ::SysFreeString(info_.bstrSource);
    ::SysFreeString(info_.bstrHelpFile);
  }
  ScopedExceptionInfo(const ScopedExceptionInfo&) = delete;
  ScopedExceptionInfo& operator=(const ScopedExceptionInfo&) = delete;

  // What Invoke is given.
  EXCEPINFO* Receive() noexcept { return &info_; }

  // The filled-in record (the deferred fill-in runs at the first call).
  const EXCEPINFO& Filled() {
    if (info_.pfnDeferredFillIn) {
      auto fill = info_.pfnDeferredFillIn;
      info_.pfnDeferredFillIn = nullptr;
      fill(&info_);
    }
    return info_;
  }
  HRESULT Code() { return Filled().scode; }
  std::wstring Description() { return Text(Filled().bstrDescription); }
  std::wstring Source() { return Text(Filled().bstrSource); }

 private:
  static std::wstring Text(BSTR text) { return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring(); }

  EXCEPINFO info_ = {};
};

}  // namespace Qv
