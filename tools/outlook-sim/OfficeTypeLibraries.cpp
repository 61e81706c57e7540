#include "OfficeTypeLibraries.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace OutlookSim {
namespace {

// The resource numbers of OutlookSimTypeLib.rc.in.
constexpr UINT kAddInDesignerResource = 2;
constexpr UINT kOfficeResource = 3;

}  // namespace

// Never destroyed, like the module's own library: objects may be released late.
Qv::TypeLibrary& AddInDesignerTypeLibrary() {
  static Qv::TypeLibrary* library =
      new Qv::TypeLibrary(reinterpret_cast<HMODULE>(&__ImageBase), kAddInDesignerResource);
  return *library;
}

Qv::TypeLibrary& OfficeTypeLibrary() {
  static Qv::TypeLibrary* library =
      new Qv::TypeLibrary(reinterpret_cast<HMODULE>(&__ImageBase), kOfficeResource);
  return *library;
}

HRESULT RegisterOfficeTypeLibraries() {
  const HRESULT hr = AddInDesignerTypeLibrary().Register();
  return FAILED(hr) ? hr : OfficeTypeLibrary().Register();
}

}  // namespace OutlookSim
