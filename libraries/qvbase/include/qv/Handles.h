#pragma once
// One RAII owner for every kind of Win32 handle the add-in holds. Each kind is a traits
// struct naming its null value and how it is closed.
#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace Qv {

template <class Traits>
class UniqueResource {
 public:
  using pointer = typename Traits::pointer;

  UniqueResource() noexcept : value_(Traits::Invalid()) {}
  explicit UniqueResource(pointer value) noexcept : value_(value) {}
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ~UniqueResource() { Reset(); }

  pointer Get() const noexcept { return value_; }
  bool IsValid() const noexcept { return value_ != Traits::Invalid(); }
  explicit operator bool() const noexcept { return IsValid(); }

  // For APIs that return the handle through an out parameter.
  pointer* Receive() noexcept {
    Reset();
    return &value_;
  }
  pointer Release() noexcept { return std::exchange(value_, Traits::Invalid()); }
  void Reset(pointer value = Traits::Invalid()) noexcept {
    pointer old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

 private:
  pointer value_;
};

struct KernelHandleTraits {
  using pointer = HANDLE;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer h) noexcept { ::CloseHandle(h); }
};

// CreateFile reports failure as INVALID_HANDLE_VALUE, not null.
struct FileHandleTraits {
  using pointer = HANDLE;
  static pointer Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(pointer h) noexcept { ::CloseHandle(h); }
};

struct FindHandleTraits {
  using pointer = HANDLE;
  static pointer Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(pointer h) noexcept { ::FindClose(h); }
};

struct RegKeyTraits {
  using pointer = HKEY;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer h) noexcept { ::RegCloseKey(h); }
};

struct ModuleTraits {
  using pointer = HMODULE;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer h) noexcept { ::FreeLibrary(h); }
};

struct BstrTraits {
  using pointer = BSTR;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer s) noexcept { ::SysFreeString(s); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueFile = UniqueResource<FileHandleTraits>;
using UniqueFind = UniqueResource<FindHandleTraits>;
using UniqueHKey = UniqueResource<RegKeyTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueBstr = UniqueResource<BstrTraits>;

}  // namespace Qv
