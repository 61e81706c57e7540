#pragma once
// The one base of every COM class we write: an atomic intrusive reference count,
// QueryInterface answered from the compile-time list of what the class derives from, and
// the module-wide counts that DllCanUnloadNow reports. Plus one generic class factory.
//
//   class CThing : public Qv::ComObject<Qv::TypeLibDispatch<IThing>, ISupportErrorInfo> {...};
//   Microsoft::WRL::ComPtr<CThing> thing = Qv::MakeComObject<CThing>(args...);
//
// A list entry is an interface, or a class that implements one and names it as
// `ImplementedInterface` (TypeLibDispatch does). The free-threaded marshaler is never
// aggregated: an object answers in the apartment it was made in and COM marshals the rest.
#include <windows.h>
#include <unknwn.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <atomic>
#include <new>
#include <type_traits>
#include <utility>

namespace Qv {

// The IID of an interface. __uuidof serves every interface a header declares with
// __CRT_UUID_DECL (the system headers and widl's output); specialise this for the others.
template <class Interface>
struct InterfaceIdTraits {
  static const IID& Get() noexcept { return __uuidof(Interface); }
};

template <class Interface>
const IID& InterfaceId() noexcept {
  return InterfaceIdTraits<Interface>::Get();
}

// The IIDs an interface pointer also answers for besides its own: those of the
// interfaces it derives from. A dual interface answers for IDispatch; specialise for
// other chains (IPersistStream answers IPersist, ...).
template <class Interface>
struct InterfaceBaseIds {
  static bool Contains(REFIID iid) noexcept {
    if constexpr (std::is_base_of_v<IDispatch, Interface> && !std::is_same_v<IDispatch, Interface>)
      return ::IsEqualIID(iid, IID_IDispatch);
    else
      return false;
  }
};

// The interface a list entry stands for.
template <class Entry, class = void>
struct ImplementedInterfaceOf {
  using type = Entry;
};
template <class Entry>
struct ImplementedInterfaceOf<Entry, std::void_t<typename Entry::ImplementedInterface>> {
  using type = typename Entry::ImplementedInterface;
};

// Live objects and server locks of this module (the DLL or the executable that links us).
class ComModule {
 public:
  static void ObjectCreated() noexcept { ++objects_; }
  static void ObjectDestroyed() noexcept { --objects_; }
  static void Lock() noexcept { ++locks_; }
  static void Unlock() noexcept { --locks_; }
  // IClassFactory::LockServer's body.
  static HRESULT LockServer(BOOL lock) noexcept {
    if (lock)
      Lock();
    else
      Unlock();
    return S_OK;
  }
  static long Objects() noexcept { return objects_.load(); }
  static long Locks() noexcept { return locks_.load(); }
  // What DllCanUnloadNow answers.
  static bool CanUnload() noexcept { return Objects() == 0 && Locks() == 0; }

 private:
  static inline std::atomic<long> objects_{0};
  static inline std::atomic<long> locks_{0};
};

template <class... Entries>
class ComObject : public Entries... {
  static_assert(sizeof...(Entries) > 0, "a COM object implements at least one interface");

 public:
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    IUnknown* found = ::IsEqualIID(iid, IID_IUnknown) ? Identity() : Find<Entries...>(iid);
    *object = found;
    if (!found) return E_NOINTERFACE;
    found->AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // The object's COM identity: the IUnknown of its first list entry.
  IUnknown* Identity() noexcept { return FirstInterface(); }

  // Whether the list (or a base of a listed interface) gives this IID.
  static bool Implements(REFIID iid) noexcept {
    return ::IsEqualIID(iid, IID_IUnknown) || (Lists<Entries>(iid) || ...);
  }

  // For a cache that keeps the object without owning a reference: takes one unless the
  // count already reached zero (the object is being destroyed on some thread).
  bool TryAddRef() noexcept {
    ULONG count = references_.load();
    while (count != 0)
      if (references_.compare_exchange_weak(count, count + 1)) return true;
    return false;
  }

 protected:
  // Born with the creator's reference: MakeComObject adopts it.
  ComObject() noexcept { ComModule::ObjectCreated(); }
  virtual ~ComObject() { ComModule::ObjectDestroyed(); }

 private:
  template <class Entry>
  static bool Lists(REFIID iid) noexcept {
    using Interface = typename ImplementedInterfaceOf<Entry>::type;
    return ::IsEqualIID(iid, InterfaceId<Interface>()) || InterfaceBaseIds<Interface>::Contains(iid);
  }

  template <class Entry, class... Rest>
  IUnknown* Find(REFIID iid) noexcept {
    if (Lists<Entry>(iid)) {
      using Interface = typename ImplementedInterfaceOf<Entry>::type;
      return static_cast<Interface*>(static_cast<Entry*>(this));
    }
    if constexpr (sizeof...(Rest) > 0)
      return Find<Rest...>(iid);
    else
      return nullptr;
  }

  template <class Entry, class...>
  struct First {
    using type = Entry;
  };
  IUnknown* FirstInterface() noexcept {
    using Entry = typename First<Entries...>::type;
    using Interface = typename ImplementedInterfaceOf<Entry>::type;
    return static_cast<Interface*>(static_cast<Entry*>(this));
  }

  std::atomic<ULONG> references_{1};
};

// Takes over a reference the caller already owns. Not ComPtr::Attach: mingw-w64's
// Attach adds a reference of its own (unlike WRL's), which would leak this one.
template <class T>
Microsoft::WRL::ComPtr<T> AdoptReference(T* object) noexcept {
  Microsoft::WRL::ComPtr<T> owner;
  *owner.GetAddressOf() = object;
  return owner;
}

// Creates a COM object holding its first reference. Throws std::bad_alloc.
template <class T, class... Args>
Microsoft::WRL::ComPtr<T> MakeComObject(Args&&... args) {
  return AdoptReference(new T(std::forward<Args>(args)...));
}

// Sets the calling thread's error information (what GetErrorInfo and a late-bound
// caller's EXCEPINFO show) and returns `hr`, so a method's failure path is one line.
HRESULT ReportComError(HRESULT hr, REFGUID iid, const wchar_t* source, const wchar_t* description);

// Creates a T (default-constructed) for every CreateInstance; no aggregation.
template <class T>
class ClassFactory final : public ComObject<IClassFactory> {
 public:
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      return MakeComObject<T>()->QueryInterface(iid, object);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }
  STDMETHODIMP LockServer(BOOL lock) override { return ComModule::LockServer(lock); }
};

// A COM class that can also live inside an outer object (aggregation). Its interfaces
// delegate IUnknown to the controlling unknown, the outer object when there is one;
// the inner, non-delegating IUnknown keeps the count and is the object's identity on
// its own. T's constructor takes the outer unknown (null when not aggregated).
template <class... Entries>
class AggregatableComObject : public ComObject<Entries...> {
  using Base = ComObject<Entries...>;

 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    return controlling_->QueryInterface(iid, object);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return controlling_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return controlling_->Release(); }

  IUnknown* NonDelegatingUnknown() noexcept { return &inner_; }
  bool IsAggregated() const noexcept { return controlling_ != &inner_; }

 protected:
  explicit AggregatableComObject(IUnknown* outer) noexcept
      : inner_(*this), controlling_(outer ? outer : &inner_) {}

 private:
  class Inner final : public IUnknown {
   public:
    explicit Inner(AggregatableComObject& owner) noexcept : owner_(owner) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
      if (!object) return E_POINTER;
      if (::IsEqualIID(iid, IID_IUnknown)) {
        *object = this;
        AddRef();
        return S_OK;
      }
      // The interfaces found take their reference through the controlling unknown.
      return owner_.Base::QueryInterface(iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return owner_.Base::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner_.Base::Release(); }

   private:
    AggregatableComObject& owner_;
  };

  Inner inner_;
  IUnknown* controlling_;
};

// The class object of an aggregatable class: one per module, created at first use. While anyone holds it, the module counts as locked (a host that
// caches a class factory keeps the DLL loaded). CreateInstance runs T's
// FinalConstruct() after the constructor.
template <class T>
class CachedClassFactory final : public IClassFactory {
 public:
  static CachedClassFactory& Instance() {
    static CachedClassFactory factory;
    return factory;
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    const ULONG count = ++references_;
    if (count == 1) ComModule::Lock();
    return count;
  }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG count = --references_;
    if (count == 0) ComModule::Unlock();
    return count;
  }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    // An outer object may only ask for the inner IUnknown.
    if (outer && !::IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    try {
      T* created = new T(outer);
      IUnknown* inner = created->NonDelegatingUnknown();
      HRESULT hr = created->FinalConstruct();
      if (SUCCEEDED(hr)) hr = inner->QueryInterface(iid, object);
      inner->Release();  // the creation reference
      return hr;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }
  STDMETHODIMP LockServer(BOOL lock) override { return ComModule::LockServer(lock); }

 private:
  CachedClassFactory() = default;
  std::atomic<ULONG> references_{0};
};

// The body of DllGetClassObject for one class.
template <class T>
HRESULT GetClassObject(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  try {
    return MakeComObject<ClassFactory<T>>()->QueryInterface(iid, object);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace Qv
