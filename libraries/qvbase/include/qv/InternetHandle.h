#pragma once
// RAII owner of a WinINet handle (session, connection, request or file).
#include <windows.h>
#include <wininet.h>

#include "qv/Handles.h"

namespace Qv {

struct InternetHandleTraits {
  using pointer = HINTERNET;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer h) noexcept { ::InternetCloseHandle(h); }
};

using UniqueInternet = UniqueResource<InternetHandleTraits>;

}  // namespace Qv
