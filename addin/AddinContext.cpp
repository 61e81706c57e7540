#include "AddinContext.h"

#include <mutex>

#include "EntryPoint.h"
#include "LocalCopyTime.h"
#include "OutlookApplicationHome.h"
#include "TagsyExtension.h"

namespace {

std::mutex g_lock;
CAddinContext* g_context = nullptr;

}  // namespace

CAddinContext& CAddinContext::Instance() {
  std::lock_guard<std::mutex> guard(g_lock);
  if (!g_context) g_context = new CAddinContext;
  return *g_context;
}

bool CAddinContext::Exists() {
  std::lock_guard<std::mutex> guard(g_lock);
  return g_context != nullptr;
}

void CAddinContext::Destroy() {
  CAddinContext* context = nullptr;
  {
    std::lock_guard<std::mutex> guard(g_lock);
    context = g_context;
    g_context = nullptr;
  }
  delete context;
}

CAddinContext::CAddinContext() : extension_(new CTagsyExtension) {
  CLocalCopyTime::Instance().Reset();
}

CAddinContext::~CAddinContext() {
  // The extension first: its thread may still be using the Application.
  Error::GuardTeardownStep([this] { extension_ = CRefCountPtr<CTagsyExtension>(); });
  Error::GuardTeardownStep([] { COutlookApplicationHome::Instance().Clear(); });
  CLocalCopyTime::Instance().Reset();
}

bool CAddinContext::HasApplication() const { return COutlookApplicationHome::Instance().IsSet(); }

void CAddinContext::SetApplication(IDispatch* application) {
  COutlookApplicationHome::Instance().Set(application);
}
