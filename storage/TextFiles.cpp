#include "TextFiles.h"

#include <algorithm>

#include "qv/Handles.h"
#include "qv/Text.h"

namespace {

bool WriteAll(HANDLE file, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1 << 20));
    DWORD written = 0;
    if (!::WriteFile(file, content.data() + done, chunk, &written, nullptr) || written == 0)
      return false;
    done += written;
  }
  return true;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& content, DWORD& error, bool& opened) {
  Qv::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  opened = static_cast<bool>(file);
  if (!opened) {
    error = ::GetLastError();
    return false;
  }
  std::string text;
  char buffer[64 * 1024];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) {
      error = ::GetLastError();
      return false;
    }
    if (got == 0) break;
    text.append(buffer, got);
  }
  content.swap(text);
  return true;
}

std::string FolderOf(const std::string& path) {
  const size_t backslash = Qv::FindLastChar(path, '\\');
  const size_t slash = Qv::FindLastChar(path, '/');
  size_t cut = backslash;
  if (cut == std::string::npos || (slash != std::string::npos && slash > cut)) cut = slash;
  if (cut == std::string::npos) return ".";
  return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

bool ReplaceFileContents(const std::string& path, const std::string& content, DWORD& error) {
  char temp[MAX_PATH] = {};
  if (!::GetTempFileNameA(FolderOf(path).c_str(), "tgs", 0, temp)) {
    error = ::GetLastError();
    return false;
  }
  bool written = false;
  {
    Qv::UniqueFile file(::CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    written = file && WriteAll(file.Get(), content) && ::FlushFileBuffers(file.Get());
    if (!written) error = ::GetLastError();
  }
  if (written) {
    if (::ReplaceFileA(path.c_str(), temp, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                       nullptr))
      return true;
    error = ::GetLastError();
    // A file that does not exist yet has nothing to keep: the new one just takes its name.
    if (error == ERROR_FILE_NOT_FOUND &&
        ::MoveFileExA(temp, path.c_str(), MOVEFILE_WRITE_THROUGH))
      return true;
    if (error == ERROR_FILE_NOT_FOUND) error = ::GetLastError();
  }
  ::DeleteFileA(temp);
  return false;
}

std::string ToCrLf(const std::string& text) {
  std::string result;
  result.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') result += '\r';
    result += c;
  }
  return result;
}
