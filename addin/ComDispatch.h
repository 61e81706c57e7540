#pragma once
// Late-bound calls into automation objects (Outlook's and Office's): members are called
// by name through IDispatch, which works against every Outlook version and against our
// simulated host alike. DISPIDs are looked up once per kind of object and name.
// Every failure raises _com_error, carrying the object's error information.
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <initializer_list>
#include <string>

#include "qv/ComVariant.h"

namespace Com {

using Variant = Qv::ScopedVariant;

// A VT_BSTR argument from narrow text in the ANSI code page.
Variant AnsiText(const std::string& text);

class DispatchRef {
 public:
  DispatchRef() = default;
  // `kind` names the interface ("Outlook.Categories"): objects of one kind share DISPIDs.
  DispatchRef(Microsoft::WRL::ComPtr<IDispatch> object, const char* kind)
      : object_(std::move(object)), kind_(kind) {}

  IDispatch* Get() const noexcept { return object_.Get(); }
  explicit operator bool() const noexcept { return object_ != nullptr; }

  // DISPATCH_PROPERTYGET / DISPATCH_METHOD with arguments in their natural order.
  Variant GetProperty(const wchar_t* name, std::initializer_list<const Variant*> args = {}) const;
  Variant Call(const wchar_t* name, std::initializer_list<const Variant*> args = {}) const;

  DispatchRef GetObject(const wchar_t* name, const char* kind) const;
  DispatchRef CallObject(const wchar_t* name, const char* kind,
                         std::initializer_list<const Variant*> args = {}) const;
  long GetLong(const wchar_t* name) const;
  std::string GetText(const wchar_t* name) const;  // in the ANSI code page

 private:
  Variant Invoke(const wchar_t* name, WORD flags, std::initializer_list<const Variant*> args) const;
  DISPID IdOf(const wchar_t* name) const;

  Microsoft::WRL::ComPtr<IDispatch> object_;
  const char* kind_ = nullptr;
};

// A dispatch reference taken out of a variant result (VT_DISPATCH, or VT_UNKNOWN that
// answers IDispatch); empty for VT_EMPTY or a null object.
DispatchRef AsObject(Variant& value, const char* kind);
long AsLong(const Variant& value);
std::string AsText(const Variant& value);

}  // namespace Com
