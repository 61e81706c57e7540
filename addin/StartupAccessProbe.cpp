#include "StartupAccessProbe.h"

#include <process.h>

#include "qv/Handles.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace Addin {

struct CStartupAccessProbe::Request {
  HWND window = nullptr;
  CPublicFileLocation location;
  Answer answer;
  PublicFileAccess access = AccessNoConnection;
};

namespace {

constexpr UINT kAnswerMessage = WM_APP + 1;
constexpr char kWindowClass[] = "VelmoraTagsyAccessProbe";

LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kAnswerMessage) {
    std::unique_ptr<CStartupAccessProbe::Request> request(
        reinterpret_cast<CStartupAccessProbe::Request*>(lParam));
    request->answer(request->access);
    return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

PublicFileAccess Probe(const CPublicFileLocation& location) {
  try {
    CPublicCategoryFile file(location);
    return file.CheckAccess();
  } catch (...) {
    // No internet session: as unreachable as a server that does not answer.
    return AccessNoConnection;
  }
}

unsigned __stdcall ProbeThread(void* argument) {
  std::unique_ptr<CStartupAccessProbe::Request> request(
      static_cast<CStartupAccessProbe::Request*>(argument));
  request->access = Probe(request->location);
  const HWND window = request->window;
  if (::PostMessageA(window, kAnswerMessage, 0, reinterpret_cast<LPARAM>(request.get())))
    request.release();
  request.reset();
  // The thread pinned this module when it was started: release it only as the very last
  // step, so the module cannot go away under code that is still running.
  ::FreeLibraryAndExitThread(reinterpret_cast<HMODULE>(&__ImageBase), 0);
  return 0;
}

}  // namespace

CStartupAccessProbe::CStartupAccessProbe() {
  const HINSTANCE module = reinterpret_cast<HINSTANCE>(&__ImageBase);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ProbeWindowProc;
  windowClass.hInstance = module;
  windowClass.lpszClassName = kWindowClass;
  ::RegisterClassA(&windowClass);  // already registered by an earlier probe: fine
  window_ = ::CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module,
                              nullptr);
}

CStartupAccessProbe::~CStartupAccessProbe() {
  if (!window_) return;
  // Answers already posted own their requests: free them with the window.
  MSG message;
  while (::PeekMessageA(&message, window_, kAnswerMessage, kAnswerMessage, PM_REMOVE))
    delete reinterpret_cast<Request*>(message.lParam);
  ::DestroyWindow(window_);
}

bool CStartupAccessProbe::Start(const CPublicFileLocation& location, Answer answer) {
  if (!window_) return false;
  auto request = std::make_unique<Request>();
  request->window = window_;
  request->location = location;
  request->answer = std::move(answer);

  HMODULE pinned = nullptr;
  if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCSTR>(&ProbeThread), &pinned))
    return false;
  Qv::UniqueHandle thread(reinterpret_cast<HANDLE>(
      ::_beginthreadex(nullptr, 0, ProbeThread, request.get(), 0, nullptr)));
  if (!thread) {
    ::FreeLibrary(pinned);
    return false;
  }
  request.release();
  return true;
}

}  // namespace Addin
