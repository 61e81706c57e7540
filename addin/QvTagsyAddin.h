#pragma once
// The add-in object Outlook creates: Office's add-in interface (IDTExtensibility2), the
// ribbon's (IRibbonExtensibility) and our dual interface that carries the ribbon
// callbacks Office calls by name. Apartment-threaded: every call arrives on Outlook's
// user-interface thread.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include "AddInDesigner.h"
#include "AddinTypeLibraries.h"
#include "OfficeRibbon.h"
#include "OutlookEventSinks.h"
#include "QvParvaneExt.h"
#include "qv/ComObject.h"
#include "qv/RefCounted.h"
#include "qv/TypeLibDispatch.h"

class CQvTagsyAddin final
    : public Qv::AggregatableComObject<
          Qv::TypeLibDispatch<IQvTagsyAddin, &Addin::AddinTypeLibrary>,
          Qv::TypeLibDispatch<IDTExtensibility2, &Addin::AddInDesignerTypeLibrary>,
          Qv::TypeLibDispatch<IRibbonExtensibility, &Addin::OfficeTypeLibrary>> {
 public:
  explicit CQvTagsyAddin(IUnknown* outer) noexcept : AggregatableComObject(outer) {}
  HRESULT FinalConstruct();

  // IQvTagsyAddin
  STDMETHODIMP OnRibbonLoad(IDispatch* ribbonUi) override;
  STDMETHODIMP OnOptionsBtnClicked(IDispatch* control) override;
  STDMETHODIMP OnTagsyButtonClicked(IDispatch* control) override;
  STDMETHODIMP GetTagsyBtnImage(IDispatch* control, IPictureDisp** image) override;
  STDMETHODIMP OnOptionsClicked(IDispatch* control) override;

  // IDTExtensibility2
  STDMETHODIMP OnConnection(IDispatch* application, ext_ConnectMode mode, IDispatch* addInInst,
                            SAFEARRAY** custom) override;
  STDMETHODIMP OnDisconnection(ext_DisconnectMode mode, SAFEARRAY** custom) override;
  STDMETHODIMP OnAddInsUpdate(SAFEARRAY** custom) override;
  STDMETHODIMP OnStartupComplete(SAFEARRAY** custom) override;
  STDMETHODIMP OnBeginShutdown(SAFEARRAY** custom) override;

  // IRibbonExtensibility
  STDMETHODIMP GetCustomUI(BSTR ribbonId, BSTR* ribbonXml) override;

  Outlook::COutlookEventSinksContainer* Sinks() const noexcept { return sinks_.Get(); }

 private:
  ~CQvTagsyAddin() override = default;
  void Connect(IDispatch* application);

  Microsoft::WRL::ComPtr<IDispatch> application_;  // Outlook's _Application
  CRefCountPtr<Outlook::COutlookEventSinksContainer> sinks_;
  Microsoft::WRL::ComPtr<IRibbonUI> ribbon_;
};
