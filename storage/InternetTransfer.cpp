#include "InternetTransfer.h"

#include <algorithm>

#include "InternetError.h"

std::string ReadAllFromInternet(HINTERNET file) {
  std::string text;
  char buffer[64 * 1024];
  for (;;) {
    DWORD got = 0;
    if (!::InternetReadFile(file, buffer, sizeof buffer, &got)) NET_THROW_LAST_ERROR();
    if (got == 0) return text;
    text.append(buffer, got);
  }
}

void WriteAllToInternet(HINTERNET file, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 64 * 1024));
    DWORD written = 0;
    if (!::InternetWriteFile(file, text.data() + done, chunk, &written) || written == 0)
      NET_THROW_LAST_ERROR();
    done += written;
  }
}
