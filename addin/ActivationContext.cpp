#include "ActivationContext.h"

#include <mutex>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace Addin {
namespace {

std::mutex g_lock;
HANDLE g_context = INVALID_HANDLE_VALUE;
bool g_tried = false;

// Built once from this module's manifest; a module without one has no context.
HANDLE ModuleContext() {
  std::lock_guard<std::mutex> guard(g_lock);
  if (!g_tried) {
    g_tried = true;
    ACTCTXA description = {};
    description.cbSize = sizeof(description);
    description.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    description.hModule = reinterpret_cast<HMODULE>(&__ImageBase);
    description.lpResourceName = MAKEINTRESOURCEA(2);  // ISOLATIONAWARE_MANIFEST_RESOURCE_ID
    if (::FindResourceA(description.hModule, description.lpResourceName, MAKEINTRESOURCEA(24)))
      g_context = ::CreateActCtxA(&description);
  }
  return g_context;
}

}  // namespace

CActivationScope::CActivationScope() noexcept {
  const HANDLE context = ModuleContext();
  if (context != INVALID_HANDLE_VALUE) active_ = ::ActivateActCtx(context, &cookie_) != FALSE;
}

CActivationScope::~CActivationScope() {
  if (active_) ::DeactivateActCtx(0, cookie_);
}

void ReleaseActivationContext() noexcept {
  std::lock_guard<std::mutex> guard(g_lock);
  if (g_context != INVALID_HANDLE_VALUE) ::ReleaseActCtx(g_context);
  g_context = INVALID_HANDLE_VALUE;
  g_tried = false;
}

}  // namespace Addin
