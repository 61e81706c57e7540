#include "AddinTypeLibraries.h"

#include <oleauto.h>

#include "AddinIds.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace Addin {
namespace {

struct Search {
  HMODULE module;
  UINT found;
};

BOOL CALLBACK CheckTypeLibrary(HMODULE module, LPCWSTR, LPWSTR name, LONG_PTR parameter) {
  if (!IS_INTRESOURCE(name)) return TRUE;
  auto* search = reinterpret_cast<Search*>(parameter);
  wchar_t path[MAX_PATH + 16] = {};
  ::GetModuleFileNameW(module, path, MAX_PATH);
  const UINT index = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name));
  std::wstring full = path;
  if (index != 1) full += L"\\" + std::to_wstring(index);
  ITypeLib* library = nullptr;
  if (FAILED(::LoadTypeLibEx(full.c_str(), REGKIND_NONE, &library))) return TRUE;
  TLIBATTR* attributes = nullptr;
  bool ours = false;
  if (SUCCEEDED(library->GetLibAttr(&attributes))) {
    ours = ::IsEqualGUID(attributes->guid, kLibidQvParvaneExt) != FALSE;
    library->ReleaseTLibAttr(attributes);
  }
  library->Release();
  if (!ours) return TRUE;
  search->found = index;
  return FALSE;
}

UINT AddinTypeLibraryIndex() {
  Search search{reinterpret_cast<HMODULE>(&__ImageBase), 1};
  ::EnumResourceNamesW(search.module, L"TYPELIB", CheckTypeLibrary,
                       reinterpret_cast<LONG_PTR>(&search));
  return search.found;
}

}  // namespace

// Released when the module unloads, which happens only once no object of ours is left.
Qv::TypeLibrary& AddinTypeLibrary() {
  static Qv::TypeLibrary library(reinterpret_cast<HMODULE>(&__ImageBase), AddinTypeLibraryIndex());
  return library;
}

Qv::TypeLibrary& AddInDesignerTypeLibrary() {
  static Qv::TypeLibrary library(kLibidAddInDesigner, 1, 0);
  return library;
}

Qv::TypeLibrary& OfficeTypeLibrary() {
  static Qv::TypeLibrary library(kLibidOffice, 2, 4);
  return library;
}

}  // namespace Addin
