#include "SimMapiProvider.h"

#include "SimModel.h"
#include "SimObjects.h"
#include "qv/ComObject.h"
#include "qv/MapiSessionProvider.h"

namespace OutlookSim {
namespace {

class MapiProvider final : public Qv::ComObject<IQvMapiSessionProvider> {
 public:
  explicit MapiProvider(std::shared_ptr<SimModel> model) : model_(std::move(model)) {}
  STDMETHODIMP GetSession(IUnknown** session) override {
    if (!session) return E_POINTER;
    *session = nullptr;
    auto object = Qv::MakeComObject<MapiSessionObject>(model_);
    *session = object->Identity();
    (*session)->AddRef();
    return S_OK;
  }

 private:
  std::shared_ptr<SimModel> model_;
};

class MapiProviderFactory final : public Qv::ComObject<IClassFactory> {
 public:
  explicit MapiProviderFactory(std::shared_ptr<SimModel> model) : model_(std::move(model)) {}
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return Qv::MakeComObject<MapiProvider>(model_)->QueryInterface(iid, object);
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }

 private:
  std::shared_ptr<SimModel> model_;
};

}  // namespace

DWORD RegisterMapiProvider(std::shared_ptr<SimModel> model) {
  auto factory = Qv::MakeComObject<MapiProviderFactory>(std::move(model));
  DWORD cookie = 0;
  if (FAILED(::CoRegisterClassObject(kClsidQvMapiSessionProvider, factory->Identity(),
                                     CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie)))
    return 0;
  return cookie;
}

void RevokeMapiProvider(DWORD cookie) {
  if (cookie) ::CoRevokeClassObject(cookie);
}

}  // namespace OutlookSim
