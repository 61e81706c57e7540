#pragma once
// RAII for VARIANT and the few conversions COM callers and servers share. BSTRs have
// their own owner, Qv::UniqueBstr in qv/Handles.h.
#include <windows.h>
#include <oaidl.h>
#include <oleauto.h>

#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace Qv {

class ScopedVariant {
 public:
  ScopedVariant() noexcept { ::VariantInit(&value_); }
  // VT_BSTR with a copy of the text. Throws std::bad_alloc.
  explicit ScopedVariant(std::wstring_view text) : ScopedVariant() {
    BSTR copy = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!copy) throw std::bad_alloc();
    value_.vt = VT_BSTR;
    value_.bstrVal = copy;
  }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  ScopedVariant(ScopedVariant&& other) noexcept : value_(other.Release()) {}
  ScopedVariant& operator=(ScopedVariant&& other) noexcept {
    if (this != &other) {
      Reset();
      value_ = other.Release();
    }
    return *this;
  }
  ~ScopedVariant() { Reset(); }

  static ScopedVariant Int(int value) noexcept { return Make(VT_INT, [&](VARIANT& v) { v.intVal = value; }); }
  static ScopedVariant Long(LONG value) noexcept { return Make(VT_I4, [&](VARIANT& v) { v.lVal = value; }); }
  // VT_DISPATCH holding its own reference.
  static ScopedVariant Dispatch(IDispatch* object) noexcept {
    if (object) object->AddRef();
    return Make(VT_DISPATCH, [&](VARIANT& v) { v.pdispVal = object; });
  }
  // What a caller passes for an optional argument it omits.
  static ScopedVariant Missing() noexcept {
    return Make(VT_ERROR, [](VARIANT& v) { v.scode = DISP_E_PARAMNOTFOUND; });
  }

  const VARIANT* Get() const noexcept { return &value_; }
  VARIANT* Get() noexcept { return &value_; }
  const VARIANT& operator*() const noexcept { return value_; }
  VARTYPE Type() const noexcept { return value_.vt; }

  // For an out parameter: clears the old value first.
  VARIANT* Receive() noexcept {
    Reset();
    return &value_;
  }
  // Hands the value to the caller, who must VariantClear it.
  VARIANT Release() noexcept {
    VARIANT taken = value_;
    ::VariantInit(&value_);
    return taken;
  }
  void Reset() noexcept {
    ::VariantClear(&value_);
    ::VariantInit(&value_);
  }

 private:
  template <class Fill>
  static ScopedVariant Make(VARTYPE type, Fill fill) noexcept {
    ScopedVariant result;
    result.value_.vt = type;
    fill(result.value_);
    return result;
  }

  VARIANT value_;
};

// Whether an optional argument was left out: VT_ERROR with DISP_E_PARAMNOTFOUND.
inline bool IsMissingArgument(const VARIANT& value) noexcept {
  return value.vt == VT_ERROR && value.scode == DISP_E_PARAMNOTFOUND;
}

// The value as a 32-bit integer, by OLE Automation's coercion (by-reference values
// followed). DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW when it is none.
inline HRESULT VariantToLong(const VARIANT& value, LONG* result) noexcept {
  ScopedVariant converted;
  const HRESULT hr = ::VariantChangeType(converted.Get(), const_cast<VARIANT*>(&value), 0, VT_I4);
  if (SUCCEEDED(hr)) *result = converted.Get()->lVal;
  return hr;
}

// The value as text, by the same coercion (numbers become their decimal text).
inline HRESULT VariantToString(const VARIANT& value, std::wstring* result) {
  ScopedVariant converted;
  const HRESULT hr = ::VariantChangeType(converted.Get(), const_cast<VARIANT*>(&value), 0, VT_BSTR);
  if (SUCCEEDED(hr)) {
    const BSTR text = converted.Get()->bstrVal;
    result->assign(text ? text : L"", text ? ::SysStringLen(text) : 0);
  }
  return hr;
}

// Whether the value, by-reference values followed, is a string.
inline bool IsStringVariant(const VARIANT& value) noexcept {
  if (value.vt == VT_BSTR) return true;
  if (value.vt == (VT_BSTR | VT_BYREF)) return true;
  if (value.vt == (VT_VARIANT | VT_BYREF) && value.pvarVal) return IsStringVariant(*value.pvarVal);
  return false;
}

}  // namespace Qv
