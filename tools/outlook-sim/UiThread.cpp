#include "UiThread.h"

#include <objbase.h>
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <stdexcept>

#include "qv/ApartmentWait.h"
#include "qv/Handles.h"

namespace OutlookSim {
namespace {

constexpr UINT kRunTask = WM_APP + 1;
constexpr wchar_t kWindowClass[] = L"OutlookSimUiThread";

struct Task {
  const std::function<void()>* work;
  std::exception_ptr error;
  HANDLE done;
};

LONGLONG Now() {
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return now.QuadPart;
}

}  // namespace

void UiThread::RecordBusy(LONGLONG from, LONGLONG to) noexcept {
  static const LONGLONG frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  // Only the part after the last reset counts: a dispatch that began before it belongs
  // to the measurement that was reset.
  const LONGLONG start = std::max(from, resetAt_.load());
  if (to <= start) return;
  const long long us = (to - start) * 1000000 / frequency;
  long long seen = longestStallUs_.load();
  while (us > seen && !longestStallUs_.compare_exchange_weak(seen, us)) {
  }
}

void UiThread::ResetStall() noexcept {
  resetAt_ = Now();
  longestStallUs_ = 0;
}

LRESULT CALLBACK UiThread::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kRunTask) return ::DefWindowProcW(window, message, wParam, lParam);
  auto* task = reinterpret_cast<Task*>(lParam);
  const LONGLONG before = Now();
  try {
    (*task->work)();
  } catch (...) {
    task->error = std::current_exception();
  }
  // Recorded before the caller is released, so that it reads its own task's stall.
  Instance().RecordBusy(before, Now());
  ::SetEvent(task->done);
  return 0;
}

namespace {

// Waits for `handle` without starving the calling thread.
void WaitServing(HANDLE handle) {
  APTTYPE type;
  APTTYPEQUALIFIER qualifier;
  if (SUCCEEDED(::CoGetApartmentType(&type, &qualifier))) {
    Qv::WaitServingCalls(1, &handle, INFINITE);
    return;
  }
  while (::MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        ::PostQuitMessage(static_cast<int>(message.wParam));
        break;
      }
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
}

}  // namespace

UiThread& UiThread::Instance() {
  // Never destroyed: the thread serves until the process ends.
  static UiThread* instance = new UiThread();
  return *instance;
}

UiThread::UiThread() {
  ready_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Qv::UniqueHandle thread(::CreateThread(nullptr, 0, Main, this, 0, &id_));
  if (!ready_ || !thread) throw std::runtime_error("cannot start the simulated Outlook's UI thread");
  ::WaitForSingleObject(ready_, INFINITE);
  if (FAILED(started_)) {
    char text[96];
    std::snprintf(text, sizeof(text), "the simulated Outlook's UI thread did not start, 0x%08lX",
                  static_cast<unsigned long>(started_));
    throw std::runtime_error(text);
  }
}

DWORD WINAPI UiThread::Main(void* self) {
  static_cast<UiThread*>(self)->Loop();
  return 0;
}

void UiThread::Loop() {
  // Outlook's UI thread is an OLE single-threaded apartment.
  started_ = ::OleInitialize(nullptr);
  if (SUCCEEDED(started_)) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass = {sizeof(windowClass)};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassExW(&windowClass);
    window_ = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                instance, nullptr);
    if (!window_) started_ = HRESULT_FROM_WIN32(::GetLastError());
  }
  ::SetEvent(ready_);
  if (FAILED(started_)) return;

  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    const LONGLONG before = Now();
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
    RecordBusy(before, Now());
  }
}

void UiThread::Run(const std::function<void()>& task) {
  if (::GetCurrentThreadId() == id_) {
    task();
    return;
  }
  Qv::UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  Task work{&task, nullptr, done.Get()};
  if (!done || !::PostMessageW(window_, kRunTask, 0, reinterpret_cast<LPARAM>(&work)))
    throw std::runtime_error("the simulated Outlook's UI thread takes no work");
  WaitServing(done.Get());
  if (work.error) std::rethrow_exception(work.error);
}

}  // namespace OutlookSim
