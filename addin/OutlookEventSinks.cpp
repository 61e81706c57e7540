#include "OutlookEventSinks.h"

#include "AddinContext.h"
#include "EntryPoint.h"
#include "Error.h"
#include "TagsyExtension.h"

namespace Outlook {

// ---- COutlookEventSinkBase -------------------------------------------------------------

template <class T>
HRESULT COutlookEventSinkBase<T>::Advise(IDispatch* source, VARIANT_BOOL* result) {
  Unadvise();
  if (result) *result = VARIANT_FALSE;
  if (!source) return S_OK;
  Microsoft::WRL::ComPtr<IConnectionPointContainer> container;
  Microsoft::WRL::ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
  if (FAILED(source->QueryInterface(IID_PPV_ARGS(&container))) ||
      FAILED(container->FindConnectionPoint(T::EventsIid(), &point)) ||
      FAILED(point->Advise(static_cast<IDispatch*>(&receiver_), &cookie)))
    return S_OK;
  source_ = source;
  cookie_ = cookie;
  if (result) *result = VARIANT_TRUE;
  return S_OK;
}

template <class T>
HRESULT COutlookEventSinkBase<T>::Unadvise() {
  if (!source_) return S_OK;
  // Outlook may call us back while we withdraw (Close does): hold ourselves meanwhile.
  Microsoft::WRL::ComPtr<IQvOutlookEventSink> self(this);
  Error::GuardTeardownStep([this] {
    Microsoft::WRL::ComPtr<IConnectionPointContainer> container;
    Microsoft::WRL::ComPtr<IConnectionPoint> point;
    if (SUCCEEDED(source_.As(&container)) &&
        SUCCEEDED(container->FindConnectionPoint(T::EventsIid(), &point)))
      point->Unadvise(cookie_);
  });
  Error::GuardTeardownStep([this] {
    cookie_ = 0;
    source_.Reset();
  });
  return S_OK;
}

template <class T>
HRESULT COutlookEventSinkBase<T>::IsAdvised(VARIANT_BOOL* result) {
  if (result) *result = source_ ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

template <class T>
STDMETHODIMP COutlookEventSinkBase<T>::Receiver::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IDispatch) ||
      ::IsEqualIID(iid, T::EventsIid())) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

template <class T>
STDMETHODIMP COutlookEventSinkBase<T>::Receiver::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

template <class T>
STDMETHODIMP COutlookEventSinkBase<T>::Receiver::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

template <class T>
STDMETHODIMP COutlookEventSinkBase<T>::Receiver::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID,
                                                                DISPID*) {
  return E_NOTIMPL;
}

template <class T>
STDMETHODIMP COutlookEventSinkBase<T>::Receiver::Invoke(DISPID id, REFIID, LCID, WORD,
                                                         DISPPARAMS* params, VARIANT* result,
                                                         EXCEPINFO*, UINT*) {
  if (result) ::VariantInit(result);
  // Events keep the sink alive while their handlers run, whatever the handler unadvises.
  Microsoft::WRL::ComPtr<IDispatch> self(this);
  try {
    owner_.OnEvent(id, params);
  } catch (...) {
    // Handlers report their own failures; nothing travels back into Outlook.
  }
  return S_OK;
}

template class COutlookEventSinkBase<COutlookEventSinkExplorer>;
template class COutlookEventSinkBase<COutlookEventSinkExplorers>;

// ---- Event maps -------------------------------------------------------------------------

namespace {

// Arguments arrive last first; a by-reference argument is followed through.
const VARIANT* Argument(const DISPPARAMS* params, UINT index) {
  if (!params || index >= params->cArgs) return nullptr;
  const VARIANT* value = &params->rgvarg[params->cArgs - 1 - index];
  if (value->vt == (VT_VARIANT | VT_BYREF)) value = value->pvarVal;
  return value;
}

IDispatch* DispatchArgument(const DISPPARAMS* params, UINT index) {
  const VARIANT* value = Argument(params, index);
  if (!value) return nullptr;
  if (value->vt == VT_DISPATCH) return value->pdispVal;
  if (value->vt == (VT_DISPATCH | VT_BYREF) && value->ppdispVal) return *value->ppdispVal;
  return nullptr;
}

VARIANT_BOOL* BoolOutArgument(const DISPPARAMS* params, UINT index) {
  const VARIANT* value = Argument(params, index);
  return value && value->vt == (VT_BOOL | VT_BYREF) ? value->pboolVal : nullptr;
}

enum : DISPID {
  kActivate = 0xF001,
  kFolderSwitch = 0xF002,
  kBeforeFolderSwitch = 0xF003,
  kViewSwitch = 0xF004,
  kBeforeViewSwitch = 0xF005,
  kDeactivate = 0xF006,
  kSelectionChange = 0xF007,
  kClose = 0xF008,
  kNewExplorer = 0xF001,
};

const Error::EntryPointTexts kStartTexts = {"Failed to initialize Velmora Tagsy Addin.",
                                            MB_ICONERROR, 0};

}  // namespace

void COutlookEventSinkExplorer::OnEvent(DISPID id, DISPPARAMS* params) {
  switch (id) {
    case kActivate: OnActivate(); break;
    case kFolderSwitch: OnFolderSwitch(); break;
    case kBeforeFolderSwitch:
      OnBeforeFolderSwitch(DispatchArgument(params, 0), BoolOutArgument(params, 1));
      break;
    case kViewSwitch: OnViewSwitch(); break;
    case kBeforeViewSwitch: {
      VARIANT empty;
      ::VariantInit(&empty);
      const VARIANT* view = Argument(params, 0);
      OnBeforeViewSwitch(view ? *view : empty, BoolOutArgument(params, 1));
      break;
    }
    case kDeactivate: OnDeactivate(); break;
    case kSelectionChange: OnSelectionChange(); break;
    case kClose: OnClose(); break;
    default: break;
  }
}

void COutlookEventSinkExplorers::OnEvent(DISPID id, DISPPARAMS* params) {
  if (id == kNewExplorer) OnNewExplorer(DispatchArgument(params, 0));
}

// ---- Handlers ---------------------------------------------------------------------------

void COutlookEventSinkExplorerImpl::StartExtension() {
  Error::GuardEntryPoint(kStartTexts, [this] {
    Microsoft::WRL::ComPtr<IDispatch> explorer;
    static constexpr IID kIidExplorer = {0x00063003, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    if (Source()) Source()->QueryInterface(kIidExplorer, reinterpret_cast<void**>(explorer.GetAddressOf()));
    if (!explorer)
      throw Error::QvExceptionText("No active explorer object found.",
                                   "OutlookEventSinkExplorerImpl", 0);
    CRefCountPtr<CTagsyExtension> extension = CAddinContext::Instance().Extension();
    extension->Initialize(explorer.Get());
  });
}

void COutlookEventSinkExplorerImpl::OnClose() {
  Error::GuardTeardownStep([] {
    CRefCountPtr<CTagsyExtension> extension = CAddinContext::Instance().Extension();
    extension->Uninitialize();
  });
  Error::GuardTeardownStep([this] { Unadvise(); });
}

void COutlookEventSinkExplorersImpl::OnNewExplorer(IDispatch* explorer) {
  Error::GuardEntryPoint(kStartTexts, [explorer] {
    if (!explorer)
      throw Error::QvExceptionText("No active explorer object found.",
                                   "OutlookEventSinkExplorersImpl", 0);
    CRefCountPtr<CTagsyExtension> extension = CAddinContext::Instance().Extension();
    extension->Initialize(explorer);
  });
}

// ---- COutlookEventSinksContainer ---------------------------------------------------------

namespace {
class CriticalSectionGuard {
 public:
  explicit CriticalSectionGuard(CRITICAL_SECTION& section) : section_(section) {
    ::EnterCriticalSection(&section_);
  }
  ~CriticalSectionGuard() { ::LeaveCriticalSection(&section_); }
  CriticalSectionGuard(const CriticalSectionGuard&) = delete;
  CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;

 private:
  CRITICAL_SECTION& section_;
};
}  // namespace

COutlookEventSinksContainer::COutlookEventSinksContainer(bool purgeOnChange)
    : purgeOnChange_(purgeOnChange) {
  ::InitializeCriticalSection(&lock_);
}

COutlookEventSinksContainer::~COutlookEventSinksContainer() {
  entries_.clear();
  ::DeleteCriticalSection(&lock_);
}

LONG COutlookEventSinksContainer::Add(IQvOutlookEventSink* sink) {
  CriticalSectionGuard guard(lock_);
  if (purgeOnChange_) PurgeLocked();
  entries_[++lastId_] = sink;
  return lastId_;
}

Microsoft::WRL::ComPtr<IQvOutlookEventSink> COutlookEventSinksContainer::Get(LONG id) const {
  CriticalSectionGuard guard(lock_);
  const auto found = entries_.find(id);
  return found == entries_.end() ? nullptr : found->second;
}

void COutlookEventSinksContainer::Remove(LONG id) {
  CriticalSectionGuard guard(lock_);
  const auto found = entries_.find(id);
  if (found != entries_.end()) {
    if (found->second) found->second->Unadvise();
    entries_.erase(found);
  }
  if (purgeOnChange_) PurgeLocked();
}

void COutlookEventSinksContainer::Purge() {
  CriticalSectionGuard guard(lock_);
  PurgeLocked();
}

void COutlookEventSinksContainer::PurgeLocked() {
  for (auto entry = entries_.begin(); entry != entries_.end();) {
    VARIANT_BOOL advised = VARIANT_TRUE;
    if (entry->second) entry->second->IsAdvised(&advised);
    if (advised == VARIANT_FALSE)
      entry = entries_.erase(entry);
    else
      ++entry;
  }
}

void COutlookEventSinksContainer::Clear() {
  CriticalSectionGuard guard(lock_);
  for (auto& entry : entries_)
    if (entry.second) Error::GuardTeardownStep([&] { entry.second->Unadvise(); });
  entries_.clear();
}

size_t COutlookEventSinksContainer::Size() const {
  CriticalSectionGuard guard(lock_);
  return entries_.size();
}

}  // namespace Outlook
