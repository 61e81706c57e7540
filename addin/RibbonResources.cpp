#include "RibbonResources.h"

#include <olectl.h>

#include "qv/ResourceText.h"

namespace Addin {

std::wstring LoadRibbonXml() {
  const HMODULE module = Qv::ResourceModule();
  HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(kRibbonXmlResource), "XML");
  if (!found) return std::wstring();
  HGLOBAL loaded = ::LoadResource(module, found);
  const char* bytes = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
  const DWORD size = ::SizeofResource(module, found);
  if (!bytes || size == 0) return std::wstring();
  const int length = ::MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, static_cast<int>(size), nullptr, 0);
  std::wstring xml(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, static_cast<int>(size), &xml[0], length);
  return xml;
}

HRESULT CreateButtonPicture(IPictureDisp** picture) {
  if (!picture) return E_POINTER;
  HICON icon = static_cast<HICON>(::LoadImageA(Qv::ResourceModule(),
                                               MAKEINTRESOURCEA(kButtonIconResource), IMAGE_ICON,
                                               0, 0, LR_DEFAULTSIZE));
  if (!icon) return S_FALSE;
  PICTDESC description = {};
  description.cbSizeofstruct = sizeof(description);
  description.picType = PICTYPE_ICON;
  description.icon.hicon = icon;
  // The picture owns the icon from here on and destroys it with itself.
  const HRESULT hr = ::OleCreatePictureIndirect(&description, IID_IPictureDisp, TRUE,
                                                reinterpret_cast<void**>(picture));
  if (FAILED(hr)) ::DestroyIcon(icon);
  return hr;
}

}  // namespace Addin
