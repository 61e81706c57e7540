#pragma once
// IDispatch served from a type library, the way CreateStdDispatch does it: names and
// calls go through the interface's ITypeInfo (GetIDsOfNames, Invoke), which finds the
// vtable entry, converts the arguments and turns a failed HRESULT plus the thread's error
// information into DISP_E_EXCEPTION with EXCEPINFO. There is no table of DISPIDs in code.
#include <windows.h>
#include <oaidl.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "qv/ComObject.h"

namespace Qv {

// A type library stored as a TYPELIB resource of a module, loaded at first use, and one
// ITypeInfo per interface, kept for the life of the process. Thread-safe: type
// information belongs to no apartment.
class TypeLibrary {
 public:
  explicit TypeLibrary(HMODULE module, UINT resourceIndex = 1);
  // A library another product installed and registered (found by LoadRegTypeLib).
  TypeLibrary(REFGUID libraryId, WORD major, WORD minor);
  TypeLibrary(const TypeLibrary&) = delete;
  TypeLibrary& operator=(const TypeLibrary&) = delete;

  HRESULT Library(ITypeLib** result);
  // For a dual interface this is the vtable half (TKIND_INTERFACE): ITypeInfo::Invoke
  // on it calls the vtable directly instead of coming back through IDispatch.
  HRESULT TypeInfo(REFIID iid, ITypeInfo** result);
  // Writes the library and its interfaces to HKEY_CLASSES_ROOT, as installers do, so COM
  // can marshal the interfaces (the type library marshaler finds them there).
  HRESULT Register();
  // Removes what Register wrote.
  HRESULT Unregister();
  // The path LoadTypeLib is given: the module's file, with "\n" when the index is not 1.
  const std::wstring& Path() const noexcept { return path_; }

 private:
  HRESULT LoadLocked();

  std::mutex mutex_;
  std::wstring path_;
  bool registered_ = false;
  GUID libraryId_ = GUID_NULL;
  WORD major_ = 0, minor_ = 0;
  Microsoft::WRL::ComPtr<ITypeLib> library_;
  std::vector<std::pair<IID, Microsoft::WRL::ComPtr<ITypeInfo>>> infos_;
};

// The library embedded as resource 1 in the module that holds this code.
TypeLibrary& ThisModuleTypeLibrary();

template <class Interface, TypeLibrary& (*Library)() = &ThisModuleTypeLibrary>
class TypeLibDispatch : public Interface {
 public:
  using ImplementedInterface = Interface;

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return Library().TypeInfo(InterfaceId<Interface>(), info);
  }
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                             DISPID* ids) override {
    if (!::IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    Microsoft::WRL::ComPtr<ITypeInfo> info;
    const HRESULT hr = Library().TypeInfo(InterfaceId<Interface>(), &info);
    return FAILED(hr) ? hr : ::DispGetIDsOfNames(info.Get(), names, count, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override {
    if (!::IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    Microsoft::WRL::ComPtr<ITypeInfo> info;
    const HRESULT hr = Library().TypeInfo(InterfaceId<Interface>(), &info);
    if (FAILED(hr)) return hr;
    // A stale error object would be read back as this call's failure.
    ::SetErrorInfo(0, nullptr);
    return ::DispInvoke(static_cast<Interface*>(this), info.Get(), id, flags, params, result,
                        exception, argumentError);
  }
};

}  // namespace Qv
