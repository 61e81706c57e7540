#pragma once
// Subscriptions to Outlook's explorer events: an explorer's Activate and SelectionChange
// start the extension and its Close stops it; the explorers collection's NewExplorer
// starts it when Outlook began without a window. Each subscription is a small COM
// object kept in the add-in object's container until disconnection.
#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <map>

#include "qv/ComObject.h"
#include "qv/RefCounted.h"

namespace Outlook {

// {8ACCAFFF-99D5-4ABB-979D-366961832652}
MIDL_INTERFACE("8ACCAFFF-99D5-4ABB-979D-366961832652")
IQvOutlookEventSink : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE Advise(IDispatch* source, VARIANT_BOOL* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise() = 0;
  virtual HRESULT STDMETHODCALLTYPE IsAdvised(VARIANT_BOOL* result) = 0;
};

}  // namespace Outlook

__CRT_UUID_DECL(Outlook::IQvOutlookEventSink, 0x8ACCAFFF, 0x99D5, 0x4ABB, 0x97, 0x9D, 0x36, 0x69,
                0x61, 0x83, 0x26, 0x52)

namespace Outlook {

inline constexpr IID QvDIID_ExplorerEvents = {
    0x0006304F, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID QvDIID_ExplorersEvents = {
    0x00063078, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// Outlook's type library, which describes the events' parameters.
inline constexpr GUID QvLIBID_OUTLOOK = {0x00062FFF, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// The subscription and the dispatch-event receiver for one event interface. The
// receiver is handed to the source's connection point directly; it shares the sink's
// reference count, and the sink itself answers only IUnknown and IQvOutlookEventSink.
template <class T>
class COutlookEventSinkBase : public Qv::ComObject<IQvOutlookEventSink> {
 public:
  HRESULT STDMETHODCALLTYPE Advise(IDispatch* source, VARIANT_BOOL* result) override;
  HRESULT STDMETHODCALLTYPE Unadvise() override;
  HRESULT STDMETHODCALLTYPE IsAdvised(VARIANT_BOOL* result) override;

 protected:
  COutlookEventSinkBase() : receiver_(*this) {}
  ~COutlookEventSinkBase() override = default;

  IDispatch* Source() const noexcept { return source_.Get(); }
  // One event arrived: its DISPID and arguments as the source sent them.
  virtual void OnEvent(DISPID id, DISPPARAMS* params) = 0;

 private:
  class Receiver final : public IDispatch {
   public:
    explicit Receiver(COutlookEventSinkBase& owner) noexcept : owner_(owner) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return owner_.AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner_.Release(); }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override;

   private:
    COutlookEventSinkBase& owner_;
  };

  Receiver receiver_;
  Microsoft::WRL::ComPtr<IDispatch> source_;
  DWORD cookie_ = 0;
};

// ExplorerEvents: one handler per event, each doing nothing here.
class COutlookEventSinkExplorer : public COutlookEventSinkBase<COutlookEventSinkExplorer> {
 public:
  static const IID& EventsIid() noexcept { return QvDIID_ExplorerEvents; }

 protected:
  virtual void OnActivate() {}
  virtual void OnFolderSwitch() {}
  virtual void OnBeforeFolderSwitch(IDispatch* newFolder, VARIANT_BOOL* cancel) {}
  virtual void OnBeforeViewSwitch(const VARIANT& newView, VARIANT_BOOL* cancel) {}
  virtual void OnViewSwitch() {}
  virtual void OnDeactivate() {}
  virtual void OnSelectionChange() {}
  virtual void OnClose() {}

 private:
  void OnEvent(DISPID id, DISPPARAMS* params) final;
};

// ExplorersEvents: NewExplorer.
class COutlookEventSinkExplorers : public COutlookEventSinkBase<COutlookEventSinkExplorers> {
 public:
  static const IID& EventsIid() noexcept { return QvDIID_ExplorersEvents; }

 protected:
  virtual void OnNewExplorer(IDispatch* explorer) {}

 private:
  void OnEvent(DISPID id, DISPPARAMS* params) final;
};

class COutlookEventSinkExplorerImpl final : public COutlookEventSinkExplorer {
 protected:
  void OnActivate() override { StartExtension(); }
  void OnSelectionChange() override { StartExtension(); }
  void OnClose() override;

 private:
  void StartExtension();
};

class COutlookEventSinkExplorersImpl final : public COutlookEventSinkExplorers {
 protected:
  void OnNewExplorer(IDispatch* explorer) override;
};

class COutlookEventSinksContainer : public CRefCountedT<FreeThreadedModel> {
 public:
  explicit COutlookEventSinksContainer(bool purgeOnChange);
  ~COutlookEventSinksContainer() override;
  COutlookEventSinksContainer(const COutlookEventSinksContainer&) = delete;
  COutlookEventSinksContainer& operator=(const COutlookEventSinksContainer&) = delete;

  LONG Add(IQvOutlookEventSink* sink);
  Microsoft::WRL::ComPtr<IQvOutlookEventSink> Get(LONG id) const;
  void Remove(LONG id);
  void Purge();
  void Clear();
  size_t Size() const;

 private:
  void PurgeLocked();

  std::map<LONG, Microsoft::WRL::ComPtr<IQvOutlookEventSink>> entries_;
  mutable CRITICAL_SECTION lock_;
  LONG lastId_ = 0;
  bool purgeOnChange_;
};

}  // namespace Outlook

