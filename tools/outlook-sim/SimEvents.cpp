// Outlook's event sources: the connection lists, event delivery, the connection points
// of Explorer and Explorers and their enumerators.
#include <olectl.h>

#include <utility>

#include "SimObjects.h"

namespace OutlookSim {

// --- connection lists -----------------------------------------------------------------

DWORD ConnectionList::Add(Microsoft::WRL::ComPtr<IUnknown> advised,
                          Microsoft::WRL::ComPtr<IDispatch> sink) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) return 0;
  connections_.push_back({++lastCookie_, std::move(advised), std::move(sink)});
  return lastCookie_;
}

Connection ConnectionList::Remove(DWORD cookie) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = connections_.begin(); it != connections_.end(); ++it) {
    if (it->cookie != cookie) continue;
    Connection removed = std::move(*it);
    connections_.erase(it);
    return removed;
  }
  return {};
}

std::vector<Connection> ConnectionList::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_;
}

long ConnectionList::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<long>(connections_.size());
}

std::vector<Connection> ConnectionList::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  return std::exchange(connections_, {});
}

EventResults FireEvent(const ConnectionList& list, DISPID id, std::vector<VARIANT> arguments) {
  std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
  EventResults results;
  // A sink that unadvises (or advises another) while it hears the event changes the
  // list, not this delivery.
  for (const Connection& connection : list.Snapshot()) {
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                         static_cast<UINT>(reversed.size()), 0};
    Qv::ScopedVariant result;
    EXCEPINFO exception = {};
    UINT argumentError = 0;
    HRESULT hr = E_UNEXPECTED;
    try {
      hr = connection.sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                   result.Receive(), &exception, &argumentError);
    } catch (...) {
      // A sink in this apartment that lets an exception out gets E_UNEXPECTED.
    }
    ::SysFreeString(exception.bstrSource);
    ::SysFreeString(exception.bstrDescription);
    ::SysFreeString(exception.bstrHelpFile);
    results.push_back(hr);
  }
  return results;
}

// --- enumerators ----------------------------------------------------------------------

namespace {

// An enumerator over a snapshot taken when it was made; clones share the snapshot.
template <class Enum, class Item, class Stored, void (*Copy)(const Stored&, Item*)>
class SnapshotEnumerator final : public PlainSimObject<Enum> {
 public:
  SnapshotEnumerator(std::shared_ptr<SimModel> model, const char* kind,
                     std::shared_ptr<const std::vector<Stored>> items, size_t position = 0)
      : PlainSimObject<Enum>(std::move(model), kind), items_(std::move(items)),
        position_(position) {}

  STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
    return this->Call("Next", [&] {
      if (!out || (!fetched && count != 1)) return E_POINTER;
      ULONG taken = 0;
      for (; taken < count && position_ < items_->size(); ++taken, ++position_)
        Copy((*items_)[position_], &out[taken]);
      if (fetched) *fetched = taken;
      return taken == count ? S_OK : S_FALSE;
    });
  }
  STDMETHODIMP Skip(ULONG count) override {
    return this->Call("Skip", [&] {
      const size_t left = items_->size() - position_;
      position_ += count < left ? count : left;
      return count <= left ? S_OK : S_FALSE;
    });
  }
  STDMETHODIMP Reset() override {
    return this->Call("Reset", [&] {
      position_ = 0;
      return S_OK;
    });
  }
  STDMETHODIMP Clone(Enum** clone) override {
    return this->Call("Clone", [&] {
      if (!clone) return E_POINTER;
      *clone = Qv::MakeComObject<SnapshotEnumerator>(this->model_, this->kind_, items_, position_)
                   .Detach();
      return S_OK;
    });
  }

 private:
  const std::shared_ptr<const std::vector<Stored>> items_;
  size_t position_;
};

void CopyConnection(const Connection& connection, CONNECTDATA* out) {
  out->pUnk = connection.advised.Get();
  out->pUnk->AddRef();
  out->dwCookie = connection.cookie;
}

void CopyPoint(const Microsoft::WRL::ComPtr<IConnectionPoint>& point, IConnectionPoint** out) {
  *out = point.Get();
  (*out)->AddRef();
}

using ConnectionEnumerator =
    SnapshotEnumerator<IEnumConnections, CONNECTDATA, Connection, &CopyConnection>;
using PointEnumerator = SnapshotEnumerator<IEnumConnectionPoints, IConnectionPoint*,
                                           Microsoft::WRL::ComPtr<IConnectionPoint>, &CopyPoint>;

}  // namespace

HRESULT EnumerateConnectionPoint(const std::shared_ptr<SimModel>& model,
                                 Microsoft::WRL::ComPtr<IConnectionPoint> point,
                                 IEnumConnectionPoints** points) {
  auto items = std::make_shared<std::vector<Microsoft::WRL::ComPtr<IConnectionPoint>>>();
  items->push_back(std::move(point));
  *points = Qv::MakeComObject<PointEnumerator>(model, "EnumConnectionPoints", std::move(items))
                .Detach();
  return S_OK;
}

// --- connection points ----------------------------------------------------------------

ConnectionPointObject::ConnectionPointObject(
    std::shared_ptr<SimModel> model, const char* kind, std::shared_ptr<ConnectionList> connections,
    Microsoft::WRL::ComPtr<IConnectionPointContainer> container)
    : PlainSimObject(std::move(model), kind),
      connections_(std::move(connections)),
      container_(std::move(container)) {}

STDMETHODIMP ConnectionPointObject::GetConnectionInterface(IID* iid) {
  return Call("GetConnectionInterface", [&] {
    if (!iid) return E_POINTER;
    *iid = connections_->Events();
    return S_OK;
  });
}

STDMETHODIMP ConnectionPointObject::GetConnectionPointContainer(
    IConnectionPointContainer** container) {
  return Call("GetConnectionPointContainer", [&] {
    if (!container) return E_POINTER;
    return container_.CopyTo(container);
  });
}

STDMETHODIMP ConnectionPointObject::Advise(IUnknown* sink, DWORD* cookie) {
  return Call("Advise", [&] {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    // Outlook invokes the event interface; a sink that only says IDispatch is taken too.
    Microsoft::WRL::ComPtr<IDispatch> dispatch;
    if (FAILED(sink->QueryInterface(connections_->Events(),
                                    reinterpret_cast<void**>(dispatch.GetAddressOf()))) &&
        FAILED(sink->QueryInterface(IID_PPV_ARGS(&dispatch))))
      return CONNECT_E_CANNOTCONNECT;
    // A closed explorer takes no more sinks.
    *cookie = connections_->Add(sink, std::move(dispatch));
    return *cookie ? S_OK : CONNECT_E_CANNOTCONNECT;
  });
}

STDMETHODIMP ConnectionPointObject::Unadvise(DWORD cookie) {
  return Call("Unadvise", [&] {
    // Released at the end of this call, outside the list's lock.
    const Connection removed = connections_->Remove(cookie);
    return removed.cookie ? S_OK : CONNECT_E_NOCONNECTION;
  });
}

STDMETHODIMP ConnectionPointObject::EnumConnections(IEnumConnections** connections) {
  return Call("EnumConnections", [&] {
    if (!connections) return E_POINTER;
    auto items = std::make_shared<const std::vector<Connection>>(connections_->Snapshot());
    *connections =
        Qv::MakeComObject<ConnectionEnumerator>(model_, "EnumConnections", std::move(items)).Detach();
    return S_OK;
  });
}

// --- the sources ----------------------------------------------------------------------

STDMETHODIMP ExplorerObject::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  return Call("FindConnectionPoint", [&] {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (!::IsEqualIID(iid, __uuidof(ExplorerEvents))) return CONNECT_E_NOCONNECTION;
    *point = Qv::MakeComObject<ConnectionPointObject>(model_, "ExplorerEvents",
                                                      record_->connections, this)
                 .Detach();
    return S_OK;
  });
}

STDMETHODIMP ExplorerObject::EnumConnectionPoints(IEnumConnectionPoints** points) {
  return Call("EnumConnectionPoints", [&] {
    if (!points) return E_POINTER;
    *points = nullptr;
    return EnumerateConnectionPoint(
        model_,
        Qv::MakeComObject<ConnectionPointObject>(model_, "ExplorerEvents", record_->connections, this),
        points);
  });
}

STDMETHODIMP ExplorersObject::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  return Call("FindConnectionPoint", [&] {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (!::IsEqualIID(iid, __uuidof(ExplorersEvents))) return CONNECT_E_NOCONNECTION;
    *point = Qv::MakeComObject<ConnectionPointObject>(
                 model_, "ExplorersEvents", model_->ExplorersConnections(), this)
                 .Detach();
    return S_OK;
  });
}

STDMETHODIMP ExplorersObject::EnumConnectionPoints(IEnumConnectionPoints** points) {
  return Call("EnumConnectionPoints", [&] {
    if (!points) return E_POINTER;
    *points = nullptr;
    return EnumerateConnectionPoint(
        model_,
        Qv::MakeComObject<ConnectionPointObject>(model_, "ExplorersEvents",
                                                 model_->ExplorersConnections(), this),
        points);
  });
}

}  // namespace OutlookSim
