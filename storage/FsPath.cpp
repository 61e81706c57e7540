#include "FsPath.h"

#include <string_view>
#include <vector>

#include "qv/Handles.h"
#include "qv/Text.h"

namespace {

constexpr size_t npos = std::string_view::npos;

bool IsSeparator(char c) noexcept { return c == '\\' || c == '/'; }

// Whether the last character (not merely the last byte) is a separator.
bool EndsWithSeparator(std::string_view text) {
  if (text.empty()) return false;
  const size_t last = text.size() - 1;
  return Qv::FindLastChar(text, '\\') == last || Qv::FindLastChar(text, '/') == last;
}

// The last '\', or in a path without one the last '/'.
size_t LastSeparator(std::string_view text) {
  const size_t backslash = Qv::FindLastChar(text, '\\');
  return backslash != npos ? backslash : Qv::FindLastChar(text, '/');
}

// The non-empty parts between separators, split only at separators that are characters of
// their own.
std::vector<std::string> SplitParts(std::string_view text) {
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 0; i < text.size();) {
    const size_t length = Qv::CharLength(text, i);
    if (length == 1 && IsSeparator(text[i])) {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part.append(text.substr(i, length));
    }
    i += length;
  }
  if (!part.empty()) parts.push_back(std::move(part));
  return parts;
}

bool EnsureDirectory(const std::string& directory) {
  if (QvFsPath(directory).IsDirectory()) return true;
  if (::CreateDirectoryA(directory.c_str(), nullptr)) return true;
  // Another thread may have created it since the test above (the synchronisation thread
  // and the user-interface thread both work out the settings folder), or the folder may
  // exist without letting us list it. Either way it is there.
  if (::GetLastError() != ERROR_ALREADY_EXISTS) return false;
  const DWORD attributes = ::GetFileAttributesA(directory.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

template <class Char>
QvFsPathT<Char> QvFsPathT<Char>::Join(const String& name) const {
  String joined = path_;
  if (!joined.empty() && !EndsWithSeparator(joined)) joined += '\\';
  joined += name;
  return QvFsPathT(joined);
}

template <class Char>
typename QvFsPathT<Char>::String QvFsPathT<Char>::FileName() const {
  const size_t separator = LastSeparator(path_);
  return separator == npos ? path_ : path_.substr(separator + 1);
}

template <class Char>
typename QvFsPathT<Char>::String QvFsPathT<Char>::Extension() const {
  const size_t dot = Qv::FindLastChar(path_, '.');
  if (dot == npos) return String();
  const size_t separator = LastSeparator(path_);
  if (separator != npos && dot < separator) return String();  // a dot in a folder name
  return path_.substr(dot + 1);
}

template <class Char>
bool QvFsPathT<Char>::IsDirectory() const {
  WIN32_FIND_DATAA found;
  const Qv::UniqueFind find(::FindFirstFileA(Join("*.*").Str().c_str(), &found));
  return find.IsValid();
}

template <class Char>
bool QvFsPathT<Char>::CreateDirectoryTree() const {
  const std::vector<std::string> parts = SplitParts(path_);
  if (parts.size() < 2) return IsDirectory();

  const std::string_view text(path_);
  const bool unc = text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1]);
  std::string current;
  size_t first = 0;
  if (unc) {
    // A server is no directory that could be tested or created: its share is the first
    // directory of the path.
    current = "\\\\" + parts[0];
    first = 1;
  } else if (!text.empty() && IsSeparator(text[0])) {
    current = "\\";  // the root of the current drive
  }
  for (size_t i = first; i < parts.size(); ++i) {
    if (!current.empty() && !EndsWithSeparator(current)) current += '\\';
    current += parts[i];
    if (!EnsureDirectory(current)) return false;
  }
  return true;
}

template <class Char>
bool QvFsPathT<Char>::FileExistsWithSharing(DWORD shareMode) const {
  const Qv::UniqueFile file(::CreateFileA(path_.c_str(), 0, shareMode, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.IsValid();
}

template class QvFsPathT<char>;
