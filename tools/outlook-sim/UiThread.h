#pragma once
// The simulated Outlook's user-interface thread: a single-threaded OLE apartment with a
// real message loop, which serves every host of the process. It starts with the first
// host and runs until the process ends. Not one thread per host: Wine's RPC runtime keeps
// an endpoint for every apartment that ever exported an object and can wait on at most
// 64 of them, so the 64th UI thread of a process would hang on its first marshaled call.
#include <windows.h>

#include <atomic>
#include <functional>

namespace OutlookSim {

class UiThread {
 public:
  // Starts the thread at first use. Throws std::runtime_error when it cannot.
  static UiThread& Instance();

  DWORD Id() const noexcept { return id_; }
  // Runs `task` on the thread and waits; its exception comes back here. Meanwhile an STA
  // caller keeps serving incoming COM calls and a thread outside COM keeps pumping its
  // windows. Called on the thread itself, the task runs at once.
  void Run(const std::function<void()>& task);

  // The longest time one message that the loop dispatched kept it busy.
  double LongestStallMs() const noexcept { return longestStallUs_.load() / 1000.0; }
  void ResetStall() noexcept;

 private:
  UiThread();
  static DWORD WINAPI Main(void* self);
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Loop();
  void RecordBusy(LONGLONG from, LONGLONG to) noexcept;

  DWORD id_ = 0;
  HWND window_ = nullptr;
  HANDLE ready_ = nullptr;
  HRESULT started_ = E_FAIL;
  std::atomic<long long> longestStallUs_{0};
  std::atomic<LONGLONG> resetAt_{0};
};

}  // namespace OutlookSim
