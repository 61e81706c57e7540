#pragma once
// The add-in's process-wide context: what lives as long as the module does. It owns the
// one CTagsyExtension, the home of Outlook's Application (the Global Interface Table
// registration every thread takes its reference from) and of LastLocalCopyTime (the
// public-file access keeps the value; the context resets it when it goes).
#include <windows.h>
#include <oaidl.h>

#include <atomic>

#include "TagsyExtension.h"
#include "qv/RefCounted.h"

class CAddinContext {
 public:
  // Creates the context, and with it the extension, on first use.
  static CAddinContext& Instance();
  static bool Exists();
  // At module unload: destroys the extension (which stops the synchronisation thread)
  // and releases Outlook's Application.
  static void Destroy();

  // Outlook's Application given to the first connection; stays until the module unloads.
  bool HasApplication() const;
  void SetApplication(IDispatch* application);

  CRefCountPtr<CTagsyExtension> Extension() const { return extension_; }

  HWND ExplorerWindow() const noexcept { return explorerWindow_.load(); }
  void SetExplorerWindow(HWND window) noexcept { explorerWindow_.store(window); }

  bool ThreadStarted() const noexcept { return threadStarted_ != 0; }
  void SetThreadStarted() noexcept { threadStarted_ = 1; }

 private:
  CAddinContext();
  ~CAddinContext();
  CAddinContext(const CAddinContext&) = delete;
  CAddinContext& operator=(const CAddinContext&) = delete;

  CRefCountPtr<CTagsyExtension> extension_;
  std::atomic<HWND> explorerWindow_{nullptr};
  LONG threadStarted_ = 0;
};
