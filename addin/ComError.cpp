#include "ComError.h"

#include <wrl/client.h>

#include "Error.h"
#include "qv/ComObject.h"
#include "qv/Handles.h"
#include "qv/Text.h"

using Microsoft::WRL::ComPtr;

namespace Error {

void ThrowIfFailed(HRESULT hr, IUnknown* object, REFIID iid) {
  if (SUCCEEDED(hr)) return;
  IErrorInfo* info = nullptr;
  ComPtr<ISupportErrorInfo> support;
  if (object != nullptr && SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(&support))) &&
      support->InterfaceSupportsErrorInfo(iid) == S_OK) {
    if (::GetErrorInfo(0, &info) != S_OK) info = nullptr;
  }
  throw _com_error(hr, info, false);  // takes over our reference to `info`
}

void ThrowComError(HRESULT hr) { throw _com_error(hr, nullptr, false); }

std::string HResultMessage(HRESULT hr) {
  std::string text = SystemMessage(static_cast<DWORD>(hr));
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (!text.empty() && text.back() == '\r') text.pop_back();
  if (!text.empty()) return text;
  // Compared as signed numbers, as the runtime does.
  const LONG code = static_cast<LONG>(hr);
  if (code > static_cast<LONG>(0x80040200) && code <= static_cast<LONG>(0x8004FFFF))
    return Qv::Format("IDispatch error #%d", static_cast<int>(code - static_cast<LONG>(0x80040200)));
  return Qv::Format("Unknown error 0x%0lX", static_cast<unsigned long>(hr));
}

std::string ComErrorText(const _com_error& error) {
  std::string description;
  bool hasDescription = false;
  // ErrorInfo() hands out a new reference, which is adopted, not added to.
  const ComPtr<IErrorInfo> info = Qv::AdoptReference(error.ErrorInfo());
  if (info) {
    Qv::UniqueBstr text;
    if (SUCCEEDED(info->GetDescription(text.Receive()))) {
      hasDescription = true;
      if (text) description = Qv::WideToAnsi(text.Get());
    }
  }
  return Qv::Format("%s - %s", hasDescription ? description.c_str() : "(null)",
                    HResultMessage(error.Error()).c_str());
}

}  // namespace Error
