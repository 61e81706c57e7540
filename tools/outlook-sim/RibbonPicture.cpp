#include "RibbonPicture.h"

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <cstdint>

namespace OutlookSim {
namespace {

struct Dib {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  uint32_t* bits = nullptr;

  Dib(HDC screen, long width, long height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    dc = ::CreateCompatibleDC(screen);
    bits = static_cast<uint32_t*>(pixels);
    if (dc && bitmap) old = ::SelectObject(dc, bitmap);
  }
  ~Dib() {
    if (old) ::SelectObject(dc, old);
    if (dc) ::DeleteDC(dc);
    if (bitmap) ::DeleteObject(bitmap);
  }
  bool Valid() const noexcept { return dc && bitmap && bits; }
};

// Renders the picture over a background filled with `background` (0x00RRGGBB).
HRESULT RenderOver(IPicture* picture, HDC screen, long width, long height, OLE_XSIZE_HIMETRIC w,
                   OLE_YSIZE_HIMETRIC h, uint32_t background, Dib& dib) {
  if (!dib.Valid()) return E_OUTOFMEMORY;
  for (long i = 0; i < width * height; ++i) dib.bits[i] = background;
  // Pictures are rendered upside down in HIMETRIC: the source starts at the bottom.
  const HRESULT hr = picture->Render(dib.dc, 0, 0, width, height, 0, h, w, -h, nullptr);
  ::GdiFlush();
  return hr;
}

}  // namespace

PictureCheck InspectPicture(IUnknown* answer) {
  PictureCheck check;
  Microsoft::WRL::ComPtr<IPicture> picture;
  if (!answer || FAILED(answer->QueryInterface(IID_PPV_ARGS(&picture)))) return check;
  check.picture = true;
  SHORT type = PICTYPE_UNINITIALIZED;
  picture->get_Type(&type);
  check.type = type;
  OLE_XSIZE_HIMETRIC w = 0;
  OLE_YSIZE_HIMETRIC h = 0;
  picture->get_Width(&w);
  picture->get_Height(&h);
  HDC screen = ::GetDC(nullptr);
  const int dpiX = ::GetDeviceCaps(screen, LOGPIXELSX), dpiY = ::GetDeviceCaps(screen, LOGPIXELSY);
  check.width = ::MulDiv(w, dpiX, 2540);
  check.height = ::MulDiv(h, dpiY, 2540);
  // Guard against a nonsense size before allocating for it.
  if (check.width > 0 && check.height > 0 && check.width <= 1024 && check.height <= 1024) {
    Dib overWhite(screen, check.width, check.height), overBlack(screen, check.width, check.height);
    check.renderResult = RenderOver(picture.Get(), screen, check.width, check.height, w, h, 0xFFFFFF, overWhite);
    if (SUCCEEDED(check.renderResult))
      check.renderResult = RenderOver(picture.Get(), screen, check.width, check.height, w, h, 0, overBlack);
    if (SUCCEEDED(check.renderResult))
      for (long i = 0; i < check.width * check.height; ++i)
        if ((overWhite.bits[i] & 0xFFFFFF) != 0xFFFFFF || (overBlack.bits[i] & 0xFFFFFF) != 0)
          ++check.paintedPixels;
  } else {
    check.renderResult = E_INVALIDARG;
  }
  ::ReleaseDC(nullptr, screen);
  return check;
}

}  // namespace OutlookSim
