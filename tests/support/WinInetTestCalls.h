#pragma once
// Small WinINet helpers shared by the tests that talk to the loopback servers.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

struct InternetCloser {
  void operator()(HINTERNET h) const { InternetCloseHandle(h); }
};
using Internet = std::unique_ptr<void, InternetCloser>;

// Every request goes to the server: WinINet's cache would otherwise answer repeats.
constexpr DWORD kNoCache = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;

inline Internet OpenSession() {
  return Internet(InternetOpenA("Tagsy test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
}

// Wine copies the buffer's whole length out of a smaller internal one: keep it small.
inline std::string LastResponse() {
  DWORD error = 0;
  char text[512] = "";
  DWORD size = sizeof text;
  InternetGetLastResponseInfoA(&error, text, &size);
  return std::string(text, std::min<DWORD>(size, sizeof text));
}

inline bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

inline bool Contains(const std::vector<std::string>& items, const std::string& item) {
  return std::find(items.begin(), items.end(), item) != items.end();
}

inline std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 26);
  return bytes;
}

// Reads to the end; stops at the first failed read and keeps its error.
inline std::string ReadAll(HINTERNET file, DWORD* readError) {
  std::string bytes;
  char buffer[1024];
  DWORD got = 0;
  *readError = 0;
  for (;;) {
    if (!InternetReadFile(file, buffer, sizeof buffer, &got)) {
      *readError = GetLastError();
      break;
    }
    if (got == 0) break;
    bytes.append(buffer, got);
  }
  return bytes;
}
