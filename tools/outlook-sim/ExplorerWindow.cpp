#include "ExplorerWindow.h"

#include <string>

#include "SimModel.h"

namespace OutlookSim {
namespace {

// Outlook's explorer frame class; some add-ins look windows up by it.
constexpr wchar_t kClassName[] = L"rctrl_renwnd32";

struct WindowContext {
  std::shared_ptr<SimModel> model;
  HANDLE allClosed;
};

// Close to the swatches Outlook draws for its category colours 1 to 25.
COLORREF SwatchColor(int color) {
  static const COLORREF kSwatches[] = {
      RGB(214, 37, 46),   RGB(240, 108, 21),  RGB(255, 202, 76),  RGB(255, 254, 61),
      RGB(74, 182, 63),   RGB(64, 189, 149),  RGB(133, 154, 82),  RGB(50, 103, 184),
      RGB(97, 61, 180),   RGB(163, 78, 120),  RGB(196, 204, 221), RGB(140, 156, 189),
      RGB(196, 196, 196), RGB(165, 165, 165), RGB(28, 28, 28),    RGB(175, 30, 37),
      RGB(177, 79, 13),   RGB(171, 123, 5),   RGB(153, 148, 0),   RGB(53, 121, 43),
      RGB(46, 125, 100),  RGB(95, 108, 58),   RGB(42, 81, 145),   RGB(80, 50, 143),
      RGB(130, 55, 95)};
  return color >= 1 && color <= 25 ? kSwatches[color - 1] : RGB(255, 255, 255);
}

void Paint(HWND window, const SimModel& model) {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(window, &paint);
  ::SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldFont = ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
  const std::wstring heading = L"Master category list (Outlook " +
                               std::to_wstring(model.Major()) + L", version " + model.Version() +
                               L")";
  ::TextOutW(dc, 12, 10, heading.c_str(), static_cast<int>(heading.size()));
  int y = 36;
  for (const SimCategory& category : model.Categories()) {
    RECT swatch = {12, y + 1, 26, y + 15};
    HBRUSH brush = ::CreateSolidBrush(SwatchColor(category.color));
    ::FillRect(dc, &swatch, brush);
    ::DeleteObject(brush);
    ::FrameRect(dc, &swatch, static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH)));
    const std::wstring line = category.name + L"  (" + std::to_wstring(category.color) + L")";
    ::TextOutW(dc, 34, y, line.c_str(), static_cast<int>(line.size()));
    y += 20;
  }
  ::SelectObject(dc, oldFont);
  ::EndPaint(window, &paint);
}

LRESULT CALLBACK ExplorerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* context = reinterpret_cast<WindowContext*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
      ::SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      break;
    }
    case WM_PAINT:
      if (context) {
        Paint(window, *context->model);
        return 0;
      }
      break;
    case WM_CLOSE:
      if (context) {
        // Close goes to the explorer's sinks before the window goes.
        const ClosedExplorer closed = context->model->CloseExplorer(window);
        if (!closed.closed) return 0;  // being closed already, further up this stack
        if (closed.last) ::SetEvent(context->allClosed);
      }
      ::DestroyWindow(window);
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      delete context;
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND OpenExplorerWindow(const std::shared_ptr<SimModel>& model, HANDLE allClosed) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass = {sizeof(windowClass)};
  if (!::GetClassInfoExW(instance, kClassName, &windowClass)) {
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = ExplorerProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    if (!::RegisterClassExW(&windowClass)) return nullptr;
  }
  auto* context = new WindowContext{model, allClosed};
  HWND window = ::CreateWindowExW(0, kClassName, L"Inbox - Microsoft Outlook",
                                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 640, 480, nullptr,
                                  nullptr, instance, context);
  // On failure the context is not freed: WM_NCDESTROY may already have done it.
  if (!window) return nullptr;
  model->AddExplorer(window);
  ::UpdateWindow(window);
  return window;
}

}  // namespace OutlookSim
