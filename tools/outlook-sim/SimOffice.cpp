// Office's objects of the simulation: the ribbon's IRibbonControl and IRibbonUI, and the
// AddIn object (COMAddIn) that OnConnection receives.
#include "SimObjects.h"

namespace OutlookSim {
namespace {

HRESULT CopyText(const std::wstring& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

// --- IRibbonControl -------------------------------------------------------------------

RibbonControlObject::RibbonControlObject(std::shared_ptr<SimModel> model, std::wstring id,
                                         Microsoft::WRL::ComPtr<IDispatch> context)
    : SimObject(std::move(model), "RibbonControl"), id_(std::move(id)), context_(std::move(context)) {}

STDMETHODIMP RibbonControlObject::get_Id(BSTR* id) {
  return Call("Id", [&] { return CopyText(id_, id); });
}

STDMETHODIMP RibbonControlObject::get_Context(IDispatch** context) {
  return Call("Context", [&] {
    if (!context) return E_POINTER;
    *context = context_.Get();
    if (*context) (*context)->AddRef();
    return S_OK;
  });
}

// Controls of the explorer ribbon here carry no tag.
STDMETHODIMP RibbonControlObject::get_Tag(BSTR* tag) {
  return Call("Tag", [&] { return CopyText(L"", tag); });
}

// --- IRibbonUI ------------------------------------------------------------------------

RibbonUIObject::RibbonUIObject(std::shared_ptr<SimModel> model)
    : SimObject(std::move(model), "RibbonUI") {}

// The simulated ribbon draws nothing: invalidating is counted and succeeds.
STDMETHODIMP RibbonUIObject::Invalidate() {
  return Call("Invalidate", [] { return S_OK; });
}

STDMETHODIMP RibbonUIObject::InvalidateControl(BSTR) {
  return Call("InvalidateControl", [] { return S_OK; });
}

// --- COMAddIn -------------------------------------------------------------------------

COMAddInObject::COMAddInObject(std::shared_ptr<SimModel> model, AddInDescription description)
    : SimObject(std::move(model), "COMAddIn"), description_(std::move(description)) {}

STDMETHODIMP COMAddInObject::get_ProgId(BSTR* progId) {
  return Call("ProgId", [&] { return CopyText(description_.progId, progId); });
}

STDMETHODIMP COMAddInObject::get_Description(BSTR* description) {
  return Call("Description", [&] { return CopyText(description_.description, description); });
}

STDMETHODIMP COMAddInObject::get_Guid(BSTR* guid) {
  return Call("Guid", [&] { return CopyText(description_.guid, guid); });
}

STDMETHODIMP COMAddInObject::get_Connect(VARIANT_BOOL* connected) {
  return Call("Connect", [&] {
    if (!connected) return E_POINTER;
    *connected = description_.connected ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  });
}

}  // namespace OutlookSim
