#pragma once
// The fallback MAPI session provider: a COM component outside the add-in that hands out a
// MAPI session when Outlook's namespace gives none. The add-in only creates it and asks.
#include <windows.h>
#include <unknwn.h>

// {659991B8-02C1-4287-8D8E-7F23657C2D22}
inline constexpr CLSID kClsidQvMapiSessionProvider = {
    0x659991B8, 0x02C1, 0x4287, {0x8D, 0x8E, 0x7F, 0x23, 0x65, 0x7C, 0x2D, 0x22}};

// {0D622D57-769C-42A0-9D75-8DDBB4350D7D}
MIDL_INTERFACE("0D622D57-769C-42A0-9D75-8DDBB4350D7D")
IQvMapiSessionProvider : public IUnknown {
 public:
  // An object that answers IMAPISession.
  virtual HRESULT STDMETHODCALLTYPE GetSession(IUnknown** session) = 0;
};
__CRT_UUID_DECL(IQvMapiSessionProvider, 0x0D622D57, 0x769C, 0x42A0, 0x9D, 0x75, 0x8D, 0xDB, 0xB4,
                0x35, 0x0D, 0x7D)
