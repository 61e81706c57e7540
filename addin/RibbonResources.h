#pragma once
// The ribbon's resources in the current resource module (the language library when one
// is loaded): the XML Office asks for and the button's picture.
#include <windows.h>
#include <ocidl.h>

#include <string>

namespace Addin {

inline constexpr UINT kRibbonXmlResource = 2038;  // type "XML", Windows-1250 text
inline constexpr UINT kButtonIconResource = 2039;  // 32 x 32, 32-bit colour
inline constexpr const char* kExplorerRibbonId = "Microsoft.Outlook.Explorer";

// The XML resource's bytes turned into UTF-16 with the calling thread's ANSI code page;
// empty when the resource is missing.
std::wstring LoadRibbonXml();
// The button icon at the system's icon size as a picture that owns it; null when the
// module has no icon.
HRESULT CreateButtonPicture(IPictureDisp** picture);

}  // namespace Addin
