#pragma once
// Version questions the add-in asks: the version resource of a file, which Outlook
// generation hosts us, where Outlook's executable lives, the parts of a version text and
// whether the system is Windows 7.
#include <windows.h>

#include <string>
#include <vector>

// The fixed part of one file's version resource. All zero when the file has none or it
// cannot be read; a reader never fails loudly, the callers only compare numbers.
class CFileVersionInfo {
 public:
  explicit CFileVersionInfo(const std::string& fileName);
  // The file the module was loaded from; a null handle means the process's executable.
  explicit CFileVersionInfo(HMODULE module = nullptr);
  CFileVersionInfo(const CFileVersionInfo&) = default;
  CFileVersionInfo& operator=(const CFileVersionInfo&) = default;
  virtual ~CFileVersionInfo() = default;
  virtual void Reset();

  // Part(3) is the major number, then Part(2), Part(1) and Part(0); 0 for any other n.
  WORD Part(int n) const;
  // Part(3), then "." and the next lower part until `parts` numbers are written (at most 4).
  std::string VersionText(int parts) const;

  const VS_FIXEDFILEINFO& FixedInfo() const noexcept { return fixed_; }
  // The ProductVersion string of the first translation, or "" (kept for diagnostics).
  const std::string& ProductVersion() const noexcept { return productVersion_; }

 private:
  void Load(const std::string& fileName);

  VS_FIXEDFILEINFO fixed_;
  std::string productVersion_;
};

// Major version of the Outlook hosting this process (its executable's Part(3)), worked
// out once. Anything below 8, an unreadable resource included, counts as 8.
WORD OutlookMajorVersion();

// Where the registry says Outlook's executable is. Path is exactly the LocalServer32 text,
// arguments and quotes included; it is empty when the registry does not tell.
struct OutlookExecutableInfo {
  std::string Path;
  WORD FileMajor = 0;
  std::string FileVersion;
};

// Reads the registry now, every call (tests use this; the add-in uses the cached one).
OutlookExecutableInfo BuildOutlookExecutableInfo();
// Built on first use and kept for the life of the process.
const OutlookExecutableInfo& GetOutlookExecutableInfo();

// The numbers of a version text such as Outlook's Application.Version ("14.0.4760.1000").
class CVersionNumber {
 public:
  // Tokens are split at any character of `separators`; a run of them counts as one. Each
  // token goes through the C library's decimal conversion, so "x" gives 0.
  CVersionNumber(const std::string& text, const std::string& separators);
  virtual ~CVersionNumber() = default;

  const std::vector<int>& Numbers() const noexcept { return numbers_; }
  size_t Count() const noexcept { return numbers_.size(); }
  // Element 0 is the major number; an element the text did not give reads as 0.
  int operator[](size_t index) const noexcept {
    return index < numbers_.size() ? numbers_[index] : 0;
  }

 private:
  std::vector<int> numbers_;
};

// The system's version record, taken once when the object is made.
class QvOsVersionInfo {
 public:
  QvOsVersionInfo();
  virtual ~QvOsVersionInfo() = default;

  bool IsWindows7() const { return IsWindows7(info_); }
  // Windows 7 proper: 6.1 on a workstation. Server 2008 R2 shares the number but not this.
  static bool IsWindows7(const OSVERSIONINFOEXA& info);

  const OSVERSIONINFOEXA& Info() const noexcept { return info_; }

 private:
  OSVERSIONINFOEXA info_;
};
