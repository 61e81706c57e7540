#include "VersionInfo.h"

#include <cstdlib>
#include <cstring>

#include "qv/Handles.h"
#include "qv/Text.h"

namespace {

constexpr WORD kOldestOutlookMajor = 8;
constexpr char kOutlookApplicationClsid[] = "{0006F03A-0000-0000-C000-000000000046}";

static_assert(sizeof(VS_FIXEDFILEINFO) == 52, "the version resource's root block");
static_assert(sizeof(OSVERSIONINFOEXA) == 156, "GetVersionExA tells the record by its size");

// The default value of `root\subKey` when it is a string that fits `capacity` bytes with
// its terminator; "" for a missing key, a missing or non-string value, or a longer one.
std::string ReadDefaultString(HKEY root, const std::string& subKey, DWORD capacity) {
  Qv::UniqueHKey key;
  if (::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
    return {};
  // One byte more than we offer the API: a stored string need not end with a NUL.
  std::vector<char> buffer(capacity + 1, '\0');
  DWORD type = 0;
  DWORD size = capacity;
  if (::RegQueryValueExA(key.Get(), nullptr, nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
    return {};
  if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
  return std::string(buffer.data(), ::strnlen(buffer.data(), size));
}

}  // namespace

CFileVersionInfo::CFileVersionInfo(const std::string& fileName) { Load(fileName); }

CFileVersionInfo::CFileVersionInfo(HMODULE module) {
  char fileName[MAX_PATH] = {};
  if (::GetModuleFileNameA(module, fileName, MAX_PATH) == 0) {
    Reset();
    return;
  }
  Load(fileName);
}

void CFileVersionInfo::Reset() {
  std::memset(&fixed_, 0, sizeof(fixed_));
  productVersion_.clear();
}

void CFileVersionInfo::Load(const std::string& fileName) {
  // Called from the constructors, so this is always our own Reset.
  CFileVersionInfo::Reset();
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(fileName.c_str(), &ignored);
  if (size == 0) return;
  std::vector<BYTE> block(size);
  if (!::GetFileVersionInfoA(fileName.c_str(), 0, size, block.data())) return;

  void* value = nullptr;
  UINT length = 0;
  char root[] = "\\";
  if (::VerQueryValueA(block.data(), root, &value, &length) && value != nullptr &&
      length == sizeof(VS_FIXEDFILEINFO))
    std::memcpy(&fixed_, value, sizeof(fixed_));

  char translation[] = "\\VarFileInfo\\Translation";
  if (!::VerQueryValueA(block.data(), translation, &value, &length) || value == nullptr ||
      length < 2 * sizeof(WORD))
    return;
  const WORD* languageAndCodePage = static_cast<const WORD*>(value);
  std::string query = Qv::Format("\\StringFileInfo\\%04x%04x\\ProductVersion",
                                 languageAndCodePage[0], languageAndCodePage[1]);
  if (::VerQueryValueA(block.data(), query.data(), &value, &length) && value != nullptr) {
    const char* text = static_cast<const char*>(value);
    productVersion_.assign(text, ::strnlen(text, length));
  }
}

WORD CFileVersionInfo::Part(int n) const {
  switch (n) {
    case 3: return HIWORD(fixed_.dwFileVersionMS);
    case 2: return LOWORD(fixed_.dwFileVersionMS);
    case 1: return HIWORD(fixed_.dwFileVersionLS);
    case 0: return LOWORD(fixed_.dwFileVersionLS);
    default: return 0;
  }
}

std::string CFileVersionInfo::VersionText(int parts) const {
  std::string text = std::to_string(Part(3));
  for (int written = 1, next = 2; written < parts && next >= 0; ++written, --next) {
    text += '.';
    text += std::to_string(Part(next));
  }
  return text;
}

WORD OutlookMajorVersion() {
  // A function-local static: the first caller works it out, concurrent first callers wait.
  static const WORD major = [] {
    const WORD fromFile = CFileVersionInfo(static_cast<HMODULE>(nullptr)).Part(3);
    return fromFile < kOldestOutlookMajor ? kOldestOutlookMajor : fromFile;
  }();
  return major;
}

OutlookExecutableInfo BuildOutlookExecutableInfo() {
  OutlookExecutableInfo info;
  std::string clsid = ReadDefaultString(HKEY_CLASSES_ROOT, "Outlook.Application\\CLSID", 1023);
  if (clsid.empty()) clsid = kOutlookApplicationClsid;

  const std::string serverKey =
      Qv::Format("Software\\Classes\\CLSID\\%s\\LocalServer32", clsid.c_str());
  info.Path = ReadDefaultString(HKEY_LOCAL_MACHINE, serverKey, 1024);
  if (info.Path.empty()) return info;

  // The path is kept as registered; with arguments or quotes the version read just fails.
  const CFileVersionInfo version(info.Path);
  info.FileMajor = version.Part(3);
  info.FileVersion = version.VersionText(4);
  return info;
}

const OutlookExecutableInfo& GetOutlookExecutableInfo() {
  static const OutlookExecutableInfo info = BuildOutlookExecutableInfo();
  return info;
}

CVersionNumber::CVersionNumber(const std::string& text, const std::string& separators) {
  // The callers' separators ("." and ",") are below 0x40, so never a trail byte.
  size_t begin = text.find_first_not_of(separators);
  while (begin != std::string::npos) {
    const size_t end = text.find_first_of(separators, begin);
    const std::string token = text.substr(begin, end == std::string::npos ? end : end - begin);
    numbers_.push_back(static_cast<int>(std::strtol(token.c_str(), nullptr, 10)));
    begin = end == std::string::npos ? end : text.find_first_not_of(separators, end);
  }
}

QvOsVersionInfo::QvOsVersionInfo() {
  std::memset(&info_, 0, sizeof(info_));
  info_.dwOSVersionInfoSize = sizeof(info_);
  // On failure the record stays zero apart from its size, which is not Windows 7.
  ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info_));
}

bool QvOsVersionInfo::IsWindows7(const OSVERSIONINFOEXA& info) {
  return info.dwMajorVersion == 6 && info.dwMinorVersion == 1 &&
         info.wProductType == VER_NT_WORKSTATION;
}
