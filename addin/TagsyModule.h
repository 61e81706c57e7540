#pragma once
// The module-level objects of Tagsy.dll: the application object (name, language library,
// firewall entry at start) and the COM module object (registration scripts, type
// library, lock count, the class object).
#include <windows.h>

#include <mutex>
#include <string>

#include "qv/ResourceLoader.h"

class CQvParvaneExtApp {
 public:
  static CQvParvaneExtApp& Instance();

  // The start of the module, once per load, at the first call into it: Windows forbids
  // loading libraries and creating COM objects under the loader lock that DllMain runs
  // in, so none of this happens there.
  void EnsureStarted();
  // At unload: gives the resource module back and frees the language library.
  void End() noexcept;

  const std::string& ResourceLibraryPath() const noexcept { return resources_.Path(); }

 private:
  CQvParvaneExtApp();
  QvResourceLoaderT<QvResourceLoaderTraitsMFC> resources_;
  std::once_flag started_;
};

class CQvParvaneExtModule {
 public:
  static HMODULE Module() noexcept;

  static HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object);
  static bool CanUnload() noexcept;

  // The two registry scripts and type library 1.
  static HRESULT RegisterAppId(bool registering);
  static HRESULT RegisterServer(bool registering);
};
