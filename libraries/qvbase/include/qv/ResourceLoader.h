#pragma once
// The optional language library: a resource-only DLL beside the module whose dialogs,
// strings, icons and other resources replace the module's own while it is loaded.
#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "qv/ResourceText.h"

namespace Qv {

// The folder of a module's file: its full path up to the last backslash or forward slash
// (included); empty when the path has neither.
std::string ModuleFolder(HMODULE module);

}  // namespace Qv

// The user-interface framework's notion of the current resource module.
struct QvResourceLoaderTraitsMFC {
  static HMODULE Current() { return Qv::ResourceModule(); }
  static void MakeCurrent(HMODULE module) { Qv::SetResourceModule(module); }
};

template <class Traits>
class QvResourceLoaderT {
 public:
  explicit QvResourceLoaderT(std::initializer_list<const char*> candidates)
      : candidates_(candidates.begin(), candidates.end()) {}
  QvResourceLoaderT(const QvResourceLoaderT&) = delete;
  QvResourceLoaderT& operator=(const QvResourceLoaderT&) = delete;
  virtual ~QvResourceLoaderT() { Unload(); }

  // Loads the first candidate found beside `owner` and makes it the resource module;
  // true when one loaded. Without one, resources stay where they were.
  bool Load(HMODULE owner) {
    Unload();
    const std::string folder = Qv::ModuleFolder(owner);
    for (const std::string& name : candidates_) {
      const std::string path = folder + name;
      if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
      HMODULE library = ::LoadLibraryA(path.c_str());
      if (!library) continue;
      library_ = library;
      previous_ = Traits::Current();
      Traits::MakeCurrent(library_);
      path_ = path;
      return true;
    }
    return false;
  }

  // Gives the resource module back to what it was and frees the library.
  void Unload() noexcept {
    if (!library_) return;
    Traits::MakeCurrent(previous_);
    ::FreeLibrary(library_);
    library_ = nullptr;
    previous_ = nullptr;
    path_.clear();
  }

  HMODULE Library() const noexcept { return library_; }
  const std::string& Path() const noexcept { return path_; }

 private:
  std::vector<std::string> candidates_;
  HMODULE library_ = nullptr;
  HMODULE previous_ = nullptr;
  std::string path_;
};
