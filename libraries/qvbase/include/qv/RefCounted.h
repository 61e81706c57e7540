#pragma once
// Intrusive reference counting for the add-in's long-lived objects.
#include <windows.h>

namespace Qv {

// For objects touched by one thread only.
struct SingleThreadedModel {
  static LONG Increment(volatile LONG& v) noexcept { return ++v; }
  static LONG Decrement(volatile LONG& v) noexcept { return --v; }
};

// For objects whose references cross threads.
struct FreeThreadedModel {
  static LONG Increment(volatile LONG& v) noexcept { return ::InterlockedIncrement(&v); }
  static LONG Decrement(volatile LONG& v) noexcept { return ::InterlockedDecrement(&v); }
};

}  // namespace Qv

template <class ThreadModel>
class CRefCountedT {
 public:
  virtual ~CRefCountedT() = default;

  LONG AddRef() noexcept { return ThreadModel::Increment(count_); }
  LONG Release() noexcept {
    const LONG left = ThreadModel::Decrement(count_);
    if (left == 0) delete this;
    return left;
  }

 protected:
  CRefCountedT() = default;
  // A copy is a new object: it starts with no references of its own.
  CRefCountedT(const CRefCountedT&) noexcept : count_(0) {}
  CRefCountedT& operator=(const CRefCountedT&) noexcept { return *this; }

 private:
  volatile LONG count_ = 0;
};

using SingleThreadedModel = Qv::SingleThreadedModel;
using FreeThreadedModel = Qv::FreeThreadedModel;

// Owning pointer to a CRefCountedT object.
template <class T>
class CRefCountPtr {
 public:
  CRefCountPtr() noexcept = default;
  CRefCountPtr(T* object) noexcept : object_(object) {  // NOLINT: adopts like a smart pointer
    if (object_) object_->AddRef();
  }
  CRefCountPtr(const CRefCountPtr& other) noexcept : CRefCountPtr(other.object_) {}
  CRefCountPtr(CRefCountPtr&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
  CRefCountPtr& operator=(CRefCountPtr other) noexcept {
    T* old = object_;
    object_ = other.object_;
    other.object_ = old;
    return *this;
  }
  virtual ~CRefCountPtr() {
    if (object_) object_->Release();
  }

  T* Get() const noexcept { return object_; }
  T* operator->() const noexcept { return object_; }
  T& operator*() const noexcept { return *object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }
  bool IsNull() const noexcept { return object_ == nullptr; }

 private:
  T* object_ = nullptr;
};
