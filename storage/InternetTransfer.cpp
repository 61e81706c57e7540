#include "InternetTransfer.h"

#include <algorithm>

#include "InternetError.h"
#include "PassCancellation.h"

namespace {

template <class ReadChunk>
std::string ReadAll(ReadChunk&& readChunk) {
  std::string text;
  char buffer[64 * 1024];
  for (;;) {
    DWORD got = 0;
    if (!readChunk(buffer, static_cast<DWORD>(sizeof buffer), &got)) NET_THROW_LAST_ERROR();
    if (got == 0) return text;
    text.append(buffer, got);
  }
}

}  // namespace

std::string ReadAllFromInternet(HINTERNET file) {
  return ReadAll([&](char* buffer, DWORD size, DWORD* got) { return ::InternetReadFile(file, buffer, size, got); });
}

std::string ReadAllFromInternet(Qv::UniqueInternet& file, CPassCancellation* cancellation) {
  return ReadAll([&](char* buffer, DWORD size, DWORD* got) {
    return CancellableInternetCall(cancellation, file,
                                   [&] { return ::InternetReadFile(file.Get(), buffer, size, got); });
  });
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
