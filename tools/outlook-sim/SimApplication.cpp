// Application, Explorers, Explorer, NameSpace and the MAPI session of the simulation.
#include "SimObjects.h"

#include <mapicode.h>

#include "qv/ComVariant.h"

namespace OutlookSim {

// --- Application ----------------------------------------------------------------------

ApplicationObject::ApplicationObject(std::shared_ptr<SimModel> model)
    : SimObject(std::move(model), "Application") {}

STDMETHODIMP ApplicationObject::get_Explorers(_Explorers** explorers) {
  return Call("Explorers", [&] {
    if (!explorers) return E_POINTER;
    return Hand(model_->Shared(model_->explorersSlot,
                               [&] { return Qv::MakeComObject<ExplorersObject>(model_); }),
                explorers);
  });
}

STDMETHODIMP ApplicationObject::ActiveExplorer(_Explorer** explorer) {
  return Call("ActiveExplorer", [&] {
    if (!explorer) return E_POINTER;
    *explorer = nullptr;
    // Outlook started without a window has no active explorer, and at some start-ups
    // none yet although one is open; neither is a failure.
    const auto active = model_->ActiveExplorer();
    if (!active) return S_OK;
    return Hand(model_->ExplorerFor(active), explorer);
  });
}

STDMETHODIMP ApplicationObject::get_Session(_NameSpace** session) {
  return Call("Session", [&] { return NameSpace(session); });
}

STDMETHODIMP ApplicationObject::get_Version(BSTR* version) {
  return Call("Version", [&] {
    if (!version) return E_POINTER;
    *version = ::SysAllocStringLen(model_->Version().data(),
                                   static_cast<UINT>(model_->Version().size()));
    return *version ? S_OK : Fail(kOutOfMemory);
  });
}

STDMETHODIMP ApplicationObject::GetNamespace(BSTR type, _NameSpace** session) {
  return Call("GetNamespace", [&] {
    if (!session) return E_POINTER;
    *session = nullptr;
    const std::wstring_view name(type ? type : L"", type ? ::SysStringLen(type) : 0);
    if (::CompareStringOrdinal(name.data(), static_cast<int>(name.size()), L"MAPI", 4, TRUE) !=
        CSTR_EQUAL)
      return Fail(kInvalidArgument);
    return NameSpace(session);
  });
}

HRESULT ApplicationObject::NameSpace(_NameSpace** session) {
  if (!session) return E_POINTER;
  return Hand(model_->Shared(model_->nameSpaceSlot,
                             [&] { return Qv::MakeComObject<NameSpaceObject>(model_); }),
              session);
}

// --- Explorers ------------------------------------------------------------------------

ExplorersObject::ExplorersObject(std::shared_ptr<SimModel> model)
    : SimObject(std::move(model), "Explorers") {}

ExplorersObject::~ExplorersObject() { model_->Forget(model_->explorersSlot, this); }

STDMETHODIMP ExplorersObject::get_Count(LONG* count) {
  return Call("Count", [&] {
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(model_->OpenExplorers().size());
    return S_OK;
  });
}

STDMETHODIMP ExplorersObject::Item(VARIANT index, _Explorer** explorer) {
  return Call("Item", [&] {
    if (!explorer) return E_POINTER;
    *explorer = nullptr;
    LONG position = 0;
    if (FAILED(Qv::VariantToLong(index, &position))) return Fail(kInvalidArgument);
    const auto open = model_->OpenExplorers();
    if (position < 1 || position > static_cast<LONG>(open.size())) return Fail(kOutOfBounds);
    return Hand(model_->ExplorerFor(open[static_cast<size_t>(position - 1)]), explorer);
  });
}

// --- Explorer -------------------------------------------------------------------------

ExplorerObject::ExplorerObject(std::shared_ptr<SimModel> model,
                               std::shared_ptr<ExplorerRecord> record)
    : SimObject(std::move(model), "Explorer"), record_(std::move(record)) {}

ExplorerObject::~ExplorerObject() { model_->ForgetExplorer(*record_, this); }

STDMETHODIMP ExplorerObject::get_Application(_Application** application) {
  return Call("Application", [&] {
    if (!application) return E_POINTER;
    *application = nullptr;
    if (!model_->IsExplorerOpen(*record_)) return Fail(kExplorerClosed);
    return Hand(model_->Application(), application);
  });
}

STDMETHODIMP ExplorerObject::GetWindow(HWND* window) {
  return Call("GetWindow", [&] {
    if (!window) return E_POINTER;
    *window = nullptr;
    if (!model_->IsExplorerOpen(*record_)) return Fail(kExplorerClosed);
    *window = record_->window;
    return S_OK;
  });
}

STDMETHODIMP ExplorerObject::ContextSensitiveHelp(BOOL) {
  return Call("ContextSensitiveHelp", [] { return E_NOTIMPL; });
}

// --- NameSpace ------------------------------------------------------------------------

NameSpaceObject::NameSpaceObject(std::shared_ptr<SimModel> model)
    : SimObject(std::move(model), "NameSpace") {}

NameSpaceObject::~NameSpaceObject() { model_->Forget(model_->nameSpaceSlot, this); }

STDMETHODIMP NameSpaceObject::get_MAPIOBJECT(IUnknown** session) {
  return Call("MAPIOBJECT", [&] {
    if (!session) return E_POINTER;
    *session = nullptr;
    if (!model_->mapiSession)
      return Qv::ReportComError(MAPI_E_LOGON_FAILED, __uuidof(_NameSpace), L"Microsoft Outlook",
                                L"The profile has no MAPI session.");
    auto object = model_->Shared(model_->mapiSessionSlot,
                                 [&] { return Qv::MakeComObject<MapiSessionObject>(model_); });
    *session = object->Identity();
    (*session)->AddRef();
    return S_OK;
  });
}

STDMETHODIMP NameSpaceObject::get_Categories(_Categories** categories) {
  return Call("Categories", [&] {
    if (!categories) return E_POINTER;
    *categories = nullptr;
    if (!model_->HasCategoriesCollection()) return Fail(kNoCategories);
    return Hand(model_->Shared(model_->categoriesSlot,
                               [&] { return Qv::MakeComObject<CategoriesObject>(model_); }),
                categories);
  });
}

bool NameSpaceObject::HidesMember(const wchar_t* name) const {
  return !model_->HasCategoriesCollection() &&
         ::CompareStringOrdinal(name, -1, L"Categories", -1, TRUE) == CSTR_EQUAL;
}

// --- MAPI session ---------------------------------------------------------------------

MapiSessionObject::MapiSessionObject(std::shared_ptr<SimModel> model) : model_(std::move(model)) {
  model_->ObjectCreated("MAPISession", this);
}

MapiSessionObject::~MapiSessionObject() {
  model_->Forget(model_->mapiSessionSlot, this);
  model_->ObjectDestroyed("MAPISession", this);
}

HRESULT MapiSessionObject::NotSupported(const char* member) {
  const HRESULT refused = model_->Admit();
  if (FAILED(refused)) return refused;
  model_->counter.Count("MAPISession", member);
  return MAPI_E_NO_SUPPORT;
}

STDMETHODIMP MapiSessionObject::GetLastError(HRESULT, ULONG, LPMAPIERROR*) {
  return NotSupported("GetLastError");
}
STDMETHODIMP MapiSessionObject::GetMsgStoresTable(ULONG, LPMAPITABLE*) {
  return NotSupported("GetMsgStoresTable");
}
STDMETHODIMP MapiSessionObject::OpenMsgStore(ULONG_PTR, ULONG, LPENTRYID, LPCIID, ULONG, LPMDB*) {
  return NotSupported("OpenMsgStore");
}
STDMETHODIMP MapiSessionObject::OpenAddressBook(ULONG_PTR, LPCIID, ULONG, LPADRBOOK*) {
  return NotSupported("OpenAddressBook");
}
STDMETHODIMP MapiSessionObject::OpenProfileSection(LPMAPIUID, LPCIID, ULONG, LPPROFSECT*) {
  return NotSupported("OpenProfileSection");
}
STDMETHODIMP MapiSessionObject::GetStatusTable(ULONG, LPMAPITABLE*) {
  return NotSupported("GetStatusTable");
}
STDMETHODIMP MapiSessionObject::OpenEntry(ULONG, LPENTRYID, LPCIID, ULONG, ULONG*, LPUNKNOWN*) {
  return NotSupported("OpenEntry");
}
STDMETHODIMP MapiSessionObject::CompareEntryIDs(ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG,
                                                ULONG*) {
  return NotSupported("CompareEntryIDs");
}
STDMETHODIMP MapiSessionObject::Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG*) {
  return NotSupported("Advise");
}
STDMETHODIMP MapiSessionObject::Unadvise(ULONG) { return NotSupported("Unadvise"); }
STDMETHODIMP MapiSessionObject::MessageOptions(ULONG_PTR, ULONG, LPTSTR, LPMESSAGE) {
  return NotSupported("MessageOptions");
}
STDMETHODIMP MapiSessionObject::QueryDefaultMessageOpt(LPTSTR, ULONG, ULONG*, LPSPropValue*) {
  return NotSupported("QueryDefaultMessageOpt");
}
STDMETHODIMP MapiSessionObject::EnumAdrTypes(ULONG, ULONG*, LPTSTR**) {
  return NotSupported("EnumAdrTypes");
}
STDMETHODIMP MapiSessionObject::QueryIdentity(ULONG*, LPENTRYID*) {
  return NotSupported("QueryIdentity");
}
STDMETHODIMP MapiSessionObject::Logoff(ULONG_PTR, ULONG, ULONG) { return NotSupported("Logoff"); }
STDMETHODIMP MapiSessionObject::SetDefaultStore(ULONG, ULONG, LPENTRYID) {
  return NotSupported("SetDefaultStore");
}
STDMETHODIMP MapiSessionObject::AdminServices(ULONG, LPSERVICEADMIN*) {
  return NotSupported("AdminServices");
}
STDMETHODIMP MapiSessionObject::ShowForm(ULONG_PTR, LPMDB, LPMAPIFOLDER, LPCIID, ULONG, LPMESSAGE,
                                         ULONG, ULONG, ULONG, ULONG, LPSTR) {
  return NotSupported("ShowForm");
}
STDMETHODIMP MapiSessionObject::PrepareForm(LPCIID, LPMESSAGE, ULONG*) {
  return NotSupported("PrepareForm");
}

}  // namespace OutlookSim
