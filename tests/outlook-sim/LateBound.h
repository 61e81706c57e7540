#pragma once
// Late-bound calls by name, the way a script or the add-in makes them, keeping all that
// the caller gets back: the HRESULT, the result and the EXCEPINFO.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <string>
#include <utility>
#include <vector>

#include "qv/ComVariant.h"
#include "qv/ExceptionInfo.h"

struct DispatchResult {
  HRESULT hr = E_FAIL;
  Qv::ScopedVariant value;
  // From EXCEPINFO when hr is DISP_E_EXCEPTION.
  HRESULT scode = S_OK;
  std::wstring description;
  std::wstring source;

  // The result as an object (null when it is none).
  Microsoft::WRL::ComPtr<IDispatch> Object() const {
    Microsoft::WRL::ComPtr<IDispatch> object;
    if (value.Type() == VT_DISPATCH) object = value.Get()->pdispVal;
    return object;
  }
  std::wstring Text() const {
    std::wstring text;
    Qv::VariantToString(*value, &text);
    return text;
  }
  LONG Number() const {
    LONG number = -1;
    Qv::VariantToLong(*value, &number);
    return number;
  }
};

inline Qv::ScopedVariant ToVariant(Qv::ScopedVariant&& value) { return std::move(value); }
inline Qv::ScopedVariant ToVariant(const wchar_t* text) { return Qv::ScopedVariant(text); }
inline Qv::ScopedVariant ToVariant(const std::wstring& text) { return Qv::ScopedVariant(text); }
inline Qv::ScopedVariant ToVariant(int number) { return Qv::ScopedVariant::Long(number); }

inline HRESULT DispIdOf(IDispatch* object, const wchar_t* name, DISPID* id) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  return object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
}

// Arguments in their natural order; they go to DISPPARAMS last first.
inline DispatchResult InvokeById(IDispatch* object, DISPID id, WORD flags,
                                 std::vector<Qv::ScopedVariant> arguments) {
  std::vector<VARIANT> reversed;
  for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) reversed.push_back(*it->Get());
  DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  Qv::ScopedExceptionInfo exception;
  UINT argumentError = 0;
  DispatchResult result;
  result.hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                             result.value.Receive(), exception.Receive(), &argumentError);
  if (result.hr == DISP_E_EXCEPTION) {
    result.scode = exception.Code();
    result.description = exception.Description();
    result.source = exception.Source();
  }
  return result;
}

template <class... Args>
DispatchResult InvokeByName(IDispatch* object, const wchar_t* name, WORD flags, Args&&... args) {
  DISPID id = DISPID_UNKNOWN;
  DispatchResult result;
  if (!object) {
    result.hr = E_POINTER;
    return result;
  }
  result.hr = DispIdOf(object, name, &id);
  if (FAILED(result.hr)) return result;
  std::vector<Qv::ScopedVariant> arguments;
  (arguments.push_back(ToVariant(std::forward<Args>(args))), ...);
  return InvokeById(object, id, flags, std::move(arguments));
}

// A property read: object.Name or object.Name(args).
template <class... Args>
DispatchResult Get(IDispatch* object, const wchar_t* name, Args&&... args) {
  return InvokeByName(object, name, DISPATCH_PROPERTYGET, std::forward<Args>(args)...);
}

// A method call: object.Name(args).
template <class... Args>
DispatchResult Call(IDispatch* object, const wchar_t* name, Args&&... args) {
  return InvokeByName(object, name, DISPATCH_METHOD, std::forward<Args>(args)...);
}
