#pragma once
// The start-up check whether the public file can be reached. Over a network it may take
// as long as the connection time-out, and Outlook disables add-ins that slow its start,
// so the check runs on a thread of its own and its answer comes back to the thread that
// started it (Outlook's user-interface thread) through that thread's messages.
#include <windows.h>

#include <functional>
#include <memory>

#include "PublicCategoryFile.h"
#include "Settings.h"

namespace Addin {

class CStartupAccessProbe {
 public:
  using Answer = std::function<void(PublicFileAccess access)>;

  // Creates the window that receives answers; on the thread that starts probes.
  CStartupAccessProbe();
  // Answers still on their way are dropped; a probe still running finishes on its own
  // (it keeps the module loaded until then) and its answer goes nowhere.
  ~CStartupAccessProbe();
  CStartupAccessProbe(const CStartupAccessProbe&) = delete;
  CStartupAccessProbe& operator=(const CStartupAccessProbe&) = delete;

  // Starts CheckAccess on `location`; `answer` runs later on this object's thread, from
  // its message loop. False when no thread could be started (then nothing is called).
  bool Start(const CPublicFileLocation& location, Answer answer);

  struct Request;

 private:
  HWND window_ = nullptr;
};

}  // namespace Addin
