#pragma once
// What an add-in's getImage callback handed back, as Office would draw it: whether it
// is an OLE picture, its kind and size, and how many of its pixels show anything once
// rendered, so a real image can be told from an empty one.
#include <windows.h>
#include <unknwn.h>

namespace OutlookSim {

struct PictureCheck {
  bool picture = false;  // the answer was an object that answers IPicture
  short type = 0;        // PICTYPE_ICON, PICTYPE_BITMAP, ...
  long width = 0, height = 0;  // pixels (from HIMETRIC at the screen's resolution)
  // Pixels that the picture paints: rendered into a 32-bit DIB over a white and over
  // a black background, those that differ from the background in either.
  long paintedPixels = 0;
  HRESULT renderResult = S_OK;

  bool IsIconOrBitmap() const noexcept { return type == 1 || type == 3; }
};

// Inspects an answer (null gives picture = false). On the thread that owns it.
PictureCheck InspectPicture(IUnknown* answer);

}  // namespace OutlookSim
