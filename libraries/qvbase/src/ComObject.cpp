#include "qv/ComObject.h"

#include <oleauto.h>

namespace Qv {

HRESULT ReportComError(HRESULT hr, REFGUID iid, const wchar_t* source, const wchar_t* description) {
  Microsoft::WRL::ComPtr<ICreateErrorInfo> created;
  Microsoft::WRL::ComPtr<IErrorInfo> info;
  if (SUCCEEDED(::CreateErrorInfo(&created)) && SUCCEEDED(created.As(&info))) {
    created->SetGUID(iid);
    created->SetSource(const_cast<LPOLESTR>(source ? source : L""));
    created->SetDescription(const_cast<LPOLESTR>(description ? description : L""));
    ::SetErrorInfo(0, info.Get());
  } else {
    // Never leave an older failure's text where the caller would read it as ours.
    ::SetErrorInfo(0, nullptr);
  }
  return hr;
}

}  // namespace Qv
