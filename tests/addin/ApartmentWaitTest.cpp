// Qv::WaitServingCalls on a single-threaded apartment: a call from another apartment
// that was already queued, and whose arrival the thread's own message loop had already
// noticed, is served by the wait (it would otherwise wait for ever, and so would the
// thread that made it).
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "qv/ApartmentWait.h"
#include "qv/ComObject.h"
#include "qv/Handles.h"

namespace {

// IDispatch is marshalled by the system, so its plainest method makes a real
// cross-apartment call.
class CCalledObject : public Qv::ComObject<IDispatch> {
 public:
  std::atomic<DWORD> servedOn{0};

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    servedOn = ::GetCurrentThreadId();
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
};

// True once a posted message waits in this thread's queue. Looking with PeekMessage
// marks the queue's contents as seen, as a message loop's GetMessage does when it takes
// an earlier message while the call is already queued behind it.
bool WaitForQueuedMessage(DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  while (::GetTickCount64() < deadline) {
    MSG message;
    if (::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) return true;
    ::Sleep(5);
  }
  return false;
}

TEST(ApartmentWait, ServesACallThatWasQueuedAndSeenBeforeTheWait) {
  DWORD waited = WAIT_FAILED;
  bool queued = false;
  DWORD servedOn = 0;
  DWORD apartmentThread = 0;
  HRESULT called = E_FAIL;

  std::thread apartment([&] {
    ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    apartmentThread = ::GetCurrentThreadId();
    {
      Microsoft::WRL::ComPtr<CCalledObject> object = Qv::MakeComObject<CCalledObject>();
      IStream* stream = nullptr;
      ASSERT_EQ(S_OK, ::CoMarshalInterThreadInterfaceInStream(IID_IDispatch, object.Get(), &stream));
      Qv::UniqueHandle answered(::CreateEventW(nullptr, TRUE, FALSE, nullptr));

      std::thread caller([&, stream] {
        ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        Microsoft::WRL::ComPtr<IDispatch> proxy;
        if (SUCCEEDED(::CoGetInterfaceAndReleaseStream(stream, IID_PPV_ARGS(&proxy)))) {
          UINT count = 0;
          called = proxy->GetTypeInfoCount(&count);
        }
        // Releasing the proxy calls into the apartment too: done before the signal, the
        // wait below serves that call as well.
        proxy.Reset();
        ::CoUninitialize();
        ::SetEvent(answered.Get());
      });

      queued = WaitForQueuedMessage(5000);
      HANDLE wait = answered.Get();
      waited = Qv::WaitServingCalls(1, &wait, 3000);
      // Whatever the outcome, serve the caller so that it can end.
      while (::WaitForSingleObject(wait, 0) != WAIT_OBJECT_0) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
        ::Sleep(5);
      }
      caller.join();
      servedOn = object->servedOn;
    }
    ::CoUninitialize();
  });
  apartment.join();

  ASSERT_TRUE(queued) << "the call never reached the apartment's queue";
  EXPECT_EQ(WAIT_OBJECT_0, waited) << "the wait left the queued call unserved";
  EXPECT_EQ(S_OK, called);
  EXPECT_EQ(apartmentThread, servedOn) << "the call must be served in the object's apartment";
}

TEST(ApartmentWait, OutsideASingleThreadedApartmentItIsAPlainWait) {
  Qv::UniqueHandle signalled(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
  Qv::UniqueHandle never(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE handles[] = {never.Get(), signalled.Get()};
  std::thread multiThreaded([&] {
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(WAIT_OBJECT_0 + 1, Qv::WaitServingCalls(2, handles, 1000));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), Qv::WaitServingCalls(1, handles, 50));
    ::CoUninitialize();
  });
  multiThreaded.join();
}

}  // namespace
