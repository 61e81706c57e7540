#include "qv/ResourceText.h"

#include <atomic>

#include "qv/Text.h"

namespace Qv {

namespace {
std::atomic<HMODULE> g_resourceModule{nullptr};
}

HMODULE ResourceModule() {
  HMODULE module = g_resourceModule.load();
  return module ? module : ::GetModuleHandleA(nullptr);
}

void SetResourceModule(HMODULE module) { g_resourceModule.store(module); }

std::string LoadText(UINT id) {
  // With a zero buffer size LoadStringW hands out a pointer into the resource itself,
  // so a string of any length comes out whole.
  const wchar_t* text = nullptr;
  const int length = ::LoadStringW(ResourceModule(), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) return {};
  return WideToAnsi(std::wstring_view(text, static_cast<size_t>(length)));
}

std::string FormatText(UINT id, const std::string& argument) {
  const std::string format = LoadText(id);
  std::string result;
  bool replaced = false;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      if (format[i + 1] == 's' && !replaced) {
        result += argument;
        replaced = true;
        ++i;
        continue;
      }
      if (format[i + 1] == '%') {
        result += '%';
        ++i;
        continue;
      }
    }
    result += format[i];
  }
  return result;
}

}  // namespace Qv
