#pragma once
// The add-in's own activation context, from its comctl32 version 6 manifest (resource 2).
// Outlook's manifest does not cover a DLL, so without it the add-in's windows would get
// the old, unthemed common controls. Entry points that may open windows activate it for
// their duration.
#include <windows.h>

namespace Addin {

class CActivationScope {
 public:
  CActivationScope() noexcept;
  ~CActivationScope();
  CActivationScope(const CActivationScope&) = delete;
  CActivationScope& operator=(const CActivationScope&) = delete;

  bool Active() const noexcept { return active_; }

 private:
  ULONG_PTR cookie_ = 0;
  bool active_ = false;
};

// Releases the context at module unload.
void ReleaseActivationContext() noexcept;

}  // namespace Addin
