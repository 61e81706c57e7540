#include "InternetError.h"

#include <wininet.h>

#include <vector>

#include "qv/Text.h"

namespace Net {

std::string InternetErrorText(DWORD code) {
  if (code == ERROR_INTERNET_EXTENDED_ERROR) {
    DWORD serverError = 0, length = 0;
    ::InternetGetLastResponseInfoA(&serverError, nullptr, &length);
    std::vector<char> response(length + 1);
    if (length > 0 && ::InternetGetLastResponseInfoA(&serverError, response.data(), &length))
      return Qv::TrimWhiteSpace(response.data());
  }
  char* buffer = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      ::GetModuleHandleA("wininet.dll"), code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text;
  if (length != 0 && buffer != nullptr) text = Qv::TrimWhiteSpace(std::string(buffer, length));
  if (buffer != nullptr) ::LocalFree(buffer);
  if (text.empty()) text = Qv::Format("Internet error %lu", static_cast<unsigned long>(code));
  return text;
}

}  // namespace Net
