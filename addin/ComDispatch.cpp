#include "ComDispatch.h"

#include <comdef.h>

#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "ComError.h"
#include "qv/ExceptionInfo.h"
#include "qv/Text.h"

using Microsoft::WRL::ComPtr;

namespace Com {

namespace {

std::mutex g_idLock;
std::map<std::pair<std::string, std::wstring>, DISPID>& IdCache() {
  static std::map<std::pair<std::string, std::wstring>, DISPID> cache;
  return cache;
}

// The failure an automation object reported through EXCEPINFO, as a COM error that carries
// the same description the object gave.
[[noreturn]] void ThrowFromException(HRESULT hr, Qv::ScopedExceptionInfo& exception) {
  const EXCEPINFO& filled = exception.Filled();
  const HRESULT code = FAILED(filled.scode) ? filled.scode
                       : filled.wCode ? MAKE_HRESULT(SEVERITY_ERROR, FACILITY_DISPATCH, filled.wCode)
                                      : hr;
  IErrorInfo* info = nullptr;
  ComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(::CreateErrorInfo(&create))) {
    create->SetDescription(filled.bstrDescription);
    create->SetSource(filled.bstrSource);
    create->SetGUID(IID_IDispatch);
    create->QueryInterface(IID_PPV_ARGS(&info));
  }
  throw _com_error(code, info, false);
}

}  // namespace

Variant AnsiText(const std::string& text) { return Variant(Qv::AnsiToWide(text)); }

DISPID DispatchRef::IdOf(const wchar_t* name) const {
  const auto key = std::make_pair(std::string(kind_ ? kind_ : ""), std::wstring(name));
  if (kind_) {
    std::lock_guard<std::mutex> guard(g_idLock);
    const auto found = IdCache().find(key);
    if (found != IdCache().end()) return found->second;
  }
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  Error::ThrowIfFailed(object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id),
                       object_.Get(), IID_IDispatch);
  if (kind_) {
    std::lock_guard<std::mutex> guard(g_idLock);
    IdCache()[key] = id;
  }
  return id;
}

Variant DispatchRef::Invoke(const wchar_t* name, WORD flags,
                            std::initializer_list<const Variant*> args) const {
  if (!object_) Error::ThrowComError(E_POINTER);
  const DISPID id = IdOf(name);
  // IDispatch takes its arguments last first.
  std::vector<VARIANT> reversed;
  reversed.reserve(args.size());
  for (auto it = args.end(); it != args.begin();) reversed.push_back(*(*--it)->Get());
  DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  Variant result;
  Qv::ScopedExceptionInfo exception;
  UINT badArgument = 0;
  const HRESULT hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                     result.Receive(), exception.Receive(), &badArgument);
  if (hr == DISP_E_EXCEPTION) ThrowFromException(hr, exception);
  Error::ThrowIfFailed(hr, object_.Get(), IID_IDispatch);
  return result;
}

Variant DispatchRef::GetProperty(const wchar_t* name, std::initializer_list<const Variant*> args) const {
  return Invoke(name, DISPATCH_PROPERTYGET, args);
}

Variant DispatchRef::Call(const wchar_t* name, std::initializer_list<const Variant*> args) const {
  // Also a property get: late-bound callers reach parameterised properties (Item) this way.
  return Invoke(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
}

DispatchRef DispatchRef::GetObject(const wchar_t* name, const char* kind) const {
  Variant value = GetProperty(name);
  return AsObject(value, kind);
}

DispatchRef DispatchRef::CallObject(const wchar_t* name, const char* kind,
                                    std::initializer_list<const Variant*> args) const {
  Variant value = Call(name, args);
  return AsObject(value, kind);
}

long DispatchRef::GetLong(const wchar_t* name) const { return AsLong(GetProperty(name)); }

std::string DispatchRef::GetText(const wchar_t* name) const { return AsText(GetProperty(name)); }

DispatchRef AsObject(Variant& value, const char* kind) {
  VARIANT& v = *value.Get();
  ComPtr<IDispatch> object;
  if (V_VT(&v) == VT_DISPATCH) {
    object = V_DISPATCH(&v);
  } else if (V_VT(&v) == VT_UNKNOWN) {
    if (V_UNKNOWN(&v)) Error::ThrowIfFailed(V_UNKNOWN(&v)->QueryInterface(IID_PPV_ARGS(&object)), nullptr, IID_IUnknown);
  } else if (V_VT(&v) != VT_EMPTY && V_VT(&v) != VT_NULL) {
    Error::ThrowComError(DISP_E_TYPEMISMATCH);
  }
  return DispatchRef(std::move(object), kind);
}

namespace {

Variant ConvertedTo(const Variant& value, VARTYPE type) {
  Variant converted;
  Error::ThrowIfFailed(::VariantChangeType(converted.Get(), const_cast<VARIANT*>(value.Get()), 0, type),
                       nullptr, IID_IUnknown);
  return converted;
}

}  // namespace

long AsLong(const Variant& value) { return V_I4(ConvertedTo(value, VT_I4).Get()); }

std::string AsText(const Variant& value) {
  const Variant text = ConvertedTo(value, VT_BSTR);
  return V_BSTR(text.Get()) ? Qv::WideToAnsi(V_BSTR(text.Get())) : std::string();
}

}  // namespace Com
