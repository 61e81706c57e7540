#include "qv/ResourceLoader.h"

namespace Qv {

std::string ModuleFolder(HMODULE module) {
  char path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  const std::string full(path, length);
  size_t cut = full.find_last_of('\\');
  if (cut == std::string::npos) cut = full.find_last_of('/');
  return cut == std::string::npos ? std::string() : full.substr(0, cut + 1);
}

}  // namespace Qv
