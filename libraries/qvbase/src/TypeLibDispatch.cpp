#include "qv/TypeLibDispatch.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace Qv {

TypeLibrary::TypeLibrary(HMODULE module, UINT resourceIndex) {
  wchar_t file[MAX_PATH] = {};
  ::GetModuleFileNameW(module, file, MAX_PATH);
  path_ = file;
  if (resourceIndex != 1) path_ += L"\\" + std::to_wstring(resourceIndex);
}

TypeLibrary::TypeLibrary(REFGUID libraryId, WORD major, WORD minor)
    : registered_(true), libraryId_(libraryId), major_(major), minor_(minor) {}

HRESULT TypeLibrary::LoadLocked() {
  if (library_) return S_OK;
  if (registered_) return ::LoadRegTypeLib(libraryId_, major_, minor_, LOCALE_NEUTRAL, &library_);
  return ::LoadTypeLibEx(path_.c_str(), REGKIND_NONE, &library_);
}

HRESULT TypeLibrary::Library(ITypeLib** result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  const HRESULT hr = LoadLocked();
  if (FAILED(hr)) return hr;
  return library_.CopyTo(result);
}

HRESULT TypeLibrary::TypeInfo(REFIID iid, ITypeInfo** result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& entry : infos_)
    if (::IsEqualIID(entry.first, iid)) return entry.second.CopyTo(result);

  HRESULT hr = LoadLocked();
  if (FAILED(hr)) return hr;
  Microsoft::WRL::ComPtr<ITypeInfo> info;
  hr = library_->GetTypeInfoOfGuid(iid, &info);
  if (FAILED(hr)) return hr;
  // A dual interface is found as its dispatch half; its implemented type -1 is the
  // vtable half.
  HREFTYPE vtableHalf = 0;
  Microsoft::WRL::ComPtr<ITypeInfo> vtableInfo;
  if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableHalf)) &&
      SUCCEEDED(info->GetRefTypeInfo(vtableHalf, &vtableInfo)))
    info = vtableInfo;
  infos_.emplace_back(iid, info);
  return info.CopyTo(result);
}

HRESULT TypeLibrary::Register() {
  Microsoft::WRL::ComPtr<ITypeLib> library;
  HRESULT hr = Library(&library);
  if (FAILED(hr)) return hr;
  return ::RegisterTypeLib(library.Get(), const_cast<OLECHAR*>(path_.c_str()), nullptr);
}

HRESULT TypeLibrary::Unregister() {
  Microsoft::WRL::ComPtr<ITypeLib> library;
  HRESULT hr = Library(&library);
  if (FAILED(hr)) return hr;
  TLIBATTR* attributes = nullptr;
  hr = library->GetLibAttr(&attributes);
  if (FAILED(hr)) return hr;
  const TLIBATTR copy = *attributes;
  library->ReleaseTLibAttr(attributes);
  // Already gone is what unregistration wants (Wine's UnRegisterTypeLib calls that an
  // invalid argument).
  BSTR registeredPath = nullptr;
  if (FAILED(::QueryPathOfRegTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid,
                                     &registeredPath)))
    return S_OK;
  ::SysFreeString(registeredPath);
  hr = ::UnRegisterTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid, copy.syskind);
  return hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_LIBNOTREGISTERED ? S_OK : hr;
}

TypeLibrary& ThisModuleTypeLibrary() {
  // Never destroyed: objects may still be released after static destructors have run.
  static TypeLibrary* library = new TypeLibrary(reinterpret_cast<HMODULE>(&__ImageBase));
  return *library;
}

}  // namespace Qv
