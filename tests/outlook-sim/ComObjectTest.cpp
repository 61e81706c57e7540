// The generic COM pieces of qvbase: the object base, its class factory, error
// information and the VARIANT helpers.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleidl.h>

#include <string>

#include "qv/ComObject.h"
#include "qv/ComVariant.h"
#include "qv/Handles.h"

using Microsoft::WRL::ComPtr;

// A test interface with its IID declared the way widl declares them.
MIDL_INTERFACE("68B7D384-3331-4BAD-93BA-1A509AEEFC3E")
ICounterProbe : public IUnknown {
  virtual LONG STDMETHODCALLTYPE Value() = 0;
};
__CRT_UUID_DECL(ICounterProbe, 0x68B7D384, 0x3331, 0x4BAD, 0x93, 0xBA, 0x1A, 0x50, 0x9A, 0xEE, 0xFC, 0x3E)

// And one whose IID only a traits specialisation gives.
struct IPlainProbe : public IUnknown {
  virtual LONG STDMETHODCALLTYPE Answer() = 0;
};
const IID kIidPlainProbe = {0xBE6102BD, 0xA3A4, 0x4F10, {0x89, 0xC5, 0x1D, 0x41, 0x94, 0xF5, 0x54, 0x5F}};
template <>
struct Qv::InterfaceIdTraits<IPlainProbe> {
  static const IID& Get() noexcept { return kIidPlainProbe; }
};

namespace {

class Probe final : public Qv::ComObject<ICounterProbe, IPlainProbe, IOleWindow> {
 public:
  explicit Probe(bool* destroyed = nullptr) : destroyed_(destroyed) {}
  ~Probe() override {
    if (destroyed_) *destroyed_ = true;
  }
  LONG STDMETHODCALLTYPE Value() override { return 7; }
  LONG STDMETHODCALLTYPE Answer() override { return 42; }
  STDMETHODIMP GetWindow(HWND* window) override {
    *window = nullptr;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

 private:
  bool* destroyed_;
};

// Probe with a default constructor, for the class factory.
class Made final : public Qv::ComObject<ICounterProbe> {
 public:
  LONG STDMETHODCALLTYPE Value() override { return 1; }
};

TEST(ComObject, QueryInterfaceAnswersTheListAndNothingElse) {
  auto probe = Qv::MakeComObject<Probe>();
  const struct {
    const IID& iid;
    void* expected;
  } cases[] = {
      {IID_IUnknown, static_cast<ICounterProbe*>(probe.Get())},
      {__uuidof(ICounterProbe), static_cast<ICounterProbe*>(probe.Get())},
      {kIidPlainProbe, static_cast<IPlainProbe*>(probe.Get())},
      {IID_IOleWindow, static_cast<IOleWindow*>(probe.Get())},
      {IID_IDispatch, nullptr},
      {IID_IClassFactory, nullptr},
      {IID_IMarshal, nullptr},  // never the free-threaded marshaler
  };
  for (const auto& c : cases) {
    void* answer = reinterpret_cast<void*>(1);
    const HRESULT hr = probe->QueryInterface(c.iid, &answer);
    EXPECT_EQ(hr, c.expected ? S_OK : E_NOINTERFACE);
    EXPECT_EQ(answer, c.expected);
    if (answer) static_cast<IUnknown*>(answer)->Release();
    EXPECT_EQ(Probe::Implements(c.iid), c.expected != nullptr);
  }
  EXPECT_EQ(probe->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST(ComObject, EveryInterfaceLeadsToOneIdentity) {
  auto probe = Qv::MakeComObject<Probe>();
  ComPtr<IOleWindow> window;
  ComPtr<IPlainProbe> plain;
  ASSERT_EQ(probe.As(&window), S_OK);
  ASSERT_EQ(probe->QueryInterface(kIidPlainProbe, reinterpret_cast<void**>(plain.GetAddressOf())), S_OK);
  ComPtr<IUnknown> fromWindow, fromPlain;
  window.As(&fromWindow);
  plain.As(&fromPlain);
  EXPECT_EQ(fromWindow.Get(), fromPlain.Get());
  EXPECT_EQ(fromWindow.Get(), probe->Identity());
  EXPECT_EQ(plain->Answer(), 42);
}

TEST(ComObject, TheLastReleaseDestroysIt) {
  bool destroyed = false;
  const long before = Qv::ComModule::Objects();
  {
    auto probe = Qv::MakeComObject<Probe>(&destroyed);
    EXPECT_EQ(Qv::ComModule::Objects(), before + 1);
    EXPECT_EQ(probe->AddRef(), 2u);
    EXPECT_TRUE(probe->TryAddRef());
    EXPECT_EQ(probe->Release(), 2u);
    EXPECT_EQ(probe->Release(), 1u);
    EXPECT_FALSE(destroyed);
  }
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(Qv::ComModule::Objects(), before);
}

TEST(ComObject, AdoptReferenceTakesOverWithoutAddingOne) {
  bool destroyed = false;
  Probe* raw = new Probe(&destroyed);
  {
    ComPtr<Probe> owner = Qv::AdoptReference(raw);
    EXPECT_EQ(raw->AddRef(), 2u);
    raw->Release();
  }
  EXPECT_TRUE(destroyed);
}

TEST(ClassFactory, CreatesObjectsWithoutAggregation) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(Qv::GetClassObject<Made>(IID_PPV_ARGS(&factory)), S_OK);
  const long objects = Qv::ComModule::Objects();

  ComPtr<ICounterProbe> made;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&made)), S_OK);
  EXPECT_EQ(made->Value(), 1);
  EXPECT_EQ(Qv::ComModule::Objects(), objects + 1);
  made.Reset();

  ComPtr<IUnknown> outer(Qv::MakeComObject<Probe>()->Identity());
  ComPtr<IUnknown> aggregated;
  EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_PPV_ARGS(&aggregated)), CLASS_E_NOAGGREGATION);
  EXPECT_FALSE(aggregated);
  outer.Reset();

  // An interface the class lacks: no object, and none left behind.
  ComPtr<IOleWindow> window;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&window)), E_NOINTERFACE);
  EXPECT_EQ(Qv::ComModule::Objects(), objects);
}

TEST(ClassFactory, LockServerHoldsTheModule) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(Qv::GetClassObject<Made>(IID_PPV_ARGS(&factory)), S_OK);
  const long locks = Qv::ComModule::Locks();
  factory->LockServer(TRUE);
  EXPECT_EQ(Qv::ComModule::Locks(), locks + 1);
  EXPECT_FALSE(Qv::ComModule::CanUnload());
  factory->LockServer(FALSE);
  EXPECT_EQ(Qv::ComModule::Locks(), locks);
  // The factory is an object of the module too; once it is gone nothing holds it.
  EXPECT_FALSE(Qv::ComModule::CanUnload());
  factory.Reset();
  EXPECT_TRUE(Qv::ComModule::CanUnload());
}

TEST(ReportComError, LeavesTheThreadsErrorInformation) {
  EXPECT_EQ(Qv::ReportComError(E_INVALIDARG, __uuidof(ICounterProbe), L"Źródło", L"Opis błędu"),
            E_INVALIDARG);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(::GetErrorInfo(0, &info), S_OK);
  Qv::UniqueBstr source, description;
  GUID guid = GUID_NULL;
  info->GetSource(source.Receive());
  info->GetDescription(description.Receive());
  info->GetGUID(&guid);
  EXPECT_STREQ(source.Get(), L"Źródło");
  EXPECT_STREQ(description.Get(), L"Opis błędu");
  EXPECT_TRUE(::IsEqualGUID(guid, __uuidof(ICounterProbe)));
  // GetErrorInfo took it: nothing is left for the next reader.
  EXPECT_EQ(::GetErrorInfo(0, &info), S_FALSE);
}

TEST(ScopedVariant, OwnsWhatItHolds) {
  Qv::ScopedVariant text(L"Żółw");
  ASSERT_EQ(text.Type(), VT_BSTR);
  EXPECT_STREQ(text.Get()->bstrVal, L"Żółw");
  Qv::ScopedVariant moved(std::move(text));
  EXPECT_EQ(text.Type(), VT_EMPTY);
  EXPECT_EQ(moved.Type(), VT_BSTR);
  VARIANT released = moved.Release();
  EXPECT_EQ(moved.Type(), VT_EMPTY);
  EXPECT_EQ(released.vt, VT_BSTR);
  ::VariantClear(&released);

  bool destroyed = false;
  {
    ComPtr<IUnknown> probe(Qv::MakeComObject<Probe>(&destroyed)->Identity());
    Qv::ScopedVariant held;
    held.Receive()->vt = VT_UNKNOWN;
    held.Get()->punkVal = probe.Get();
    probe->AddRef();
  }
  EXPECT_TRUE(destroyed);
}

TEST(ScopedVariant, MissingIsWhatOptionalArgumentsReceive) {
  const Qv::ScopedVariant missing = Qv::ScopedVariant::Missing();
  EXPECT_EQ(missing.Type(), VT_ERROR);
  EXPECT_EQ(missing.Get()->scode, DISP_E_PARAMNOTFOUND);
  EXPECT_TRUE(Qv::IsMissingArgument(*missing));
  EXPECT_FALSE(Qv::IsMissingArgument(*Qv::ScopedVariant::Long(0)));
}

TEST(VariantConversions, FollowAutomationCoercion) {
  LONG number = 0;
  EXPECT_EQ(Qv::VariantToLong(*Qv::ScopedVariant(L"42"), &number), S_OK);
  EXPECT_EQ(number, 42);
  EXPECT_EQ(Qv::VariantToLong(*Qv::ScopedVariant::Int(-5), &number), S_OK);
  EXPECT_EQ(number, -5);
  EXPECT_EQ(Qv::VariantToLong(*Qv::ScopedVariant(L"czterdzieści"), &number), DISP_E_TYPEMISMATCH);

  Qv::ScopedVariant inner = Qv::ScopedVariant::Long(9);
  VARIANT byReference;
  byReference.vt = VT_VARIANT | VT_BYREF;
  byReference.pvarVal = inner.Get();
  EXPECT_EQ(Qv::VariantToLong(byReference, &number), S_OK);
  EXPECT_EQ(number, 9);
  EXPECT_FALSE(Qv::IsStringVariant(byReference));

  std::wstring text;
  EXPECT_EQ(Qv::VariantToString(*Qv::ScopedVariant::Long(7), &text), S_OK);
  EXPECT_EQ(text, L"7");
  Qv::ScopedVariant name(L"Ą");
  byReference.pvarVal = name.Get();
  EXPECT_TRUE(Qv::IsStringVariant(byReference));
  EXPECT_EQ(Qv::VariantToString(byReference, &text), S_OK);
  EXPECT_EQ(text, L"Ą");
}

}  // namespace
