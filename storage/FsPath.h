#pragma once
// A file-system path as the settings and the public-file classes pass it around: 8-bit text
// in the ANSI code page. Every search for a separator or a dot steps over double-byte
// characters, because 0x5C ('\') is also a trail byte in code page 932 (as in 0x95 0x5C).
#include <windows.h>

#include <string>

template <class Char>
class QvFsPathT {
 public:
  using String = std::basic_string<Char>;

  QvFsPathT() = default;
  QvFsPathT(const String& path) : path_(path) {}  // NOLINT: a path is its text
  QvFsPathT(const Char* path) : path_(path != nullptr ? path : String()) {}  // NOLINT
  QvFsPathT(const QvFsPathT&) = default;
  QvFsPathT& operator=(const QvFsPathT&) = default;
  virtual ~QvFsPathT() = default;

  const String& Str() const noexcept { return path_; }

  // The path, a backslash unless it is empty or already ends in '\' or '/', then `name`.
  QvFsPathT Join(const String& name) const;

  // The text after the last '\', or with none after the last '/'; else the whole path.
  String FileName() const;

  // The text after the last dot when that dot belongs to the file name (see FileName for
  // which separator counts); otherwise empty. Never includes the dot.
  String Extension() const;

  // FindFirstFile on the path joined with "*.*" finds something.
  bool IsDirectory() const;

  // Creates every missing directory of the path in turn. A path of fewer than two parts
  // only answers IsDirectory. Stops with false at the first directory it cannot create.
  bool CreateDirectoryTree() const;

  // CreateFile with no access rights, `shareMode` and OPEN_EXISTING succeeds. Without
  // access rights no other handle's sharing can refuse it, and a directory never opens.
  bool FileExistsWithSharing(DWORD shareMode) const;

 private:
  String path_;
};

extern template class QvFsPathT<char>;

using QvFsPath = QvFsPathT<char>;
