#pragma once
// A dispatch-event sink for Outlook's ExplorerEvents and ExplorersEvents, as an add-in
// advises one: it records each event it hears (DISPID, the thread, the arguments). It
// answers for the event interface and IDispatch, as dispatch-event sinks do, or for
// only one of them, or for neither.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "qv/ComObject.h"
#include "qv/ComVariant.h"

// Across apartments a sink must answer IDispatch too: the stub COM builds for a
// dispatch interface asks the object for IDispatch.
enum class SinkAnswers { EventInterface, EventInterfaceOnly, DispatchOnly, Nothing };

struct HeardEvent {
  DISPID id = 0;
  DWORD thread = 0;
  std::vector<std::wstring> arguments;  // natural order, as DescribeArgument writes them
};

// "null", "window:<hex>" for an object with IOleWindow, "object", "text:<...>",
// "cancel:<0|1>" for VT_BOOL by reference, "vt<n>" for anything else.
inline std::wstring DescribeArgument(const VARIANT& value) {
  if (value.vt == VT_DISPATCH) {
    if (!value.pdispVal) return L"null";
    Microsoft::WRL::ComPtr<IOleWindow> window;
    HWND frame = nullptr;
    if (SUCCEEDED(value.pdispVal->QueryInterface(IID_PPV_ARGS(&window))) && SUCCEEDED(window->GetWindow(&frame))) {
      wchar_t text[32];
      ::swprintf(text, 32, L"window:%llX", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(frame)));
      return text;
    }
    return L"object";
  }
  if (value.vt == VT_BSTR) return L"text:" + std::wstring(value.bstrVal ? value.bstrVal : L"");
  if (value.vt == (VT_BOOL | VT_BYREF)) return value.pboolVal && *value.pboolVal ? L"cancel:1" : L"cancel:0";
  return L"vt" + std::to_wstring(value.vt);
}

inline std::wstring WindowArgument(HWND window) {
  wchar_t text[32];
  ::swprintf(text, 32, L"window:%llX", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(window)));
  return text;
}

class RecordingSink final : public Qv::ComObject<IDispatch> {
 public:
  RecordingSink(const IID& events, SinkAnswers answers = SinkAnswers::EventInterface)
      : events_(events), answers_(answers) {}

  // Sets every Cancel argument it is handed.
  void CancelEverything() { cancel_ = true; }
  void FailWith(HRESULT hr) { result_ = hr; }
  // Runs inside Invoke, after the event is recorded.
  void OnEvent(std::function<void(DISPID)> handler) { handler_ = std::move(handler); }

  std::vector<HeardEvent> Heard() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return heard_;
  }
  std::vector<DISPID> HeardIds() const {
    std::vector<DISPID> ids;
    for (const HeardEvent& event : Heard()) ids.push_back(event.id);
    return ids;
  }
  // References held besides the caller's own one.
  ULONG OtherReferences() {
    AddRef();
    return Release() - 1;
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    const bool events = ::IsEqualIID(iid, events_) &&
                        (answers_ == SinkAnswers::EventInterface || answers_ == SinkAnswers::EventInterfaceOnly);
    const bool dispatch = ::IsEqualIID(iid, IID_IDispatch) &&
                          (answers_ == SinkAnswers::EventInterface || answers_ == SinkAnswers::DispatchOnly);
    if (!events && !dispatch && !::IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    HeardEvent event{id, ::GetCurrentThreadId(), {}};
    if (!(flags & DISPATCH_METHOD)) event.arguments.push_back(L"not a method call");
    for (UINT i = params ? params->cArgs : 0; i > 0; --i) {
      VARIANT& argument = params->rgvarg[i - 1];
      event.arguments.push_back(DescribeArgument(argument));
      if (cancel_ && argument.vt == (VT_BOOL | VT_BYREF)) *argument.pboolVal = VARIANT_TRUE;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      heard_.push_back(std::move(event));
    }
    if (handler_) handler_(id);
    return result_;
  }

 private:
  const IID events_;
  const SinkAnswers answers_;
  bool cancel_ = false;
  HRESULT result_ = S_OK;
  std::function<void(DISPID)> handler_;
  mutable std::mutex mutex_;
  std::vector<HeardEvent> heard_;
};

// FindConnectionPoint on `source` for `events`, then Advise. The HRESULT of the first
// step that failed.
inline HRESULT AdviseSink(IUnknown* source, const IID& events, IUnknown* sink, DWORD* cookie,
                          Microsoft::WRL::ComPtr<IConnectionPoint>* point = nullptr) {
  Microsoft::WRL::ComPtr<IConnectionPointContainer> container;
  HRESULT hr = source->QueryInterface(IID_PPV_ARGS(&container));
  Microsoft::WRL::ComPtr<IConnectionPoint> found;
  if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(events, &found);
  if (SUCCEEDED(hr)) hr = found->Advise(sink, cookie);
  if (point) *point = found;
  return hr;
}
