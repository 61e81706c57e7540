#pragma once
// WinINet failures as exceptions, with the platform's own text for them.
#include <windows.h>

#include <string>

#include "Error.h"

namespace Net {

// The text WinINet has for `code`; for an extended error, the server's last response.
std::string InternetErrorText(DWORD code);

class CInternetException : public Error::QvException {
 public:
  CInternetException(DWORD code, const char* file, int line)
      : Error::QvException(file, line), code_(code), text_(InternetErrorText(code)) {}
  std::string GetText() const override { return text_; }
  DWORD Code() const noexcept { return code_; }

 private:
  DWORD code_;
  std::string text_;  // taken when raised: the response info belongs to the failing thread
};

}  // namespace Net

#define NET_THROW_LAST_ERROR() throw ::Net::CInternetException(::GetLastError(), __FILE__, __LINE__)
