#include "Settings.h"

#include <cstdlib>
#include <string_view>
#include <vector>

#include <windows.h>
#include <shlwapi.h>

#include "ShellWrapper.h"
#include "qv/Text.h"

namespace {

constexpr char kSection[] = "General";
// Each value is read with a size limit one below its buffer, so at most 2046 characters of
// a value arrive (Wine gives exactly that, as Windows does).
constexpr DWORD kValueBufferSize = 2048;
// Two hex digits a byte: room for every password the Password key itself could hold.
constexpr DWORD kHexBufferSize = 2 * kValueBufferSize;

// Holds the password, as hex digits of its stored form, when that form would not come back
// from the Password key unchanged. Older versions of the add-in ignore it.
constexpr char kPasswordHexKey[] = "PasswordHex";

constexpr char kTrue[] = "True";
constexpr char kFalse[] = "False";

std::string ReadValue(const std::string& file, const char* key,
                      DWORD bufferSize = kValueBufferSize) {
  std::vector<char> buffer(bufferSize, '\0');
  ::GetPrivateProfileStringA(kSection, key, "", buffer.data(), bufferSize - 1, file.c_str());
  // Measured rather than taken from the return value: when a double-byte character does not
  // fit, Wine leaves it out of the buffer but still counts it.
  return std::string(buffer.data());
}

bool ReadBool(const std::string& file, const char* key) {
  return ::_stricmp(Qv::TrimWhiteSpace(ReadValue(file, key)).c_str(), "true") == 0;
}

int ReadInt(const std::string& file, const char* key) {
  // long is 32 bits on Windows, so strtol's clamping is the int range.
  return static_cast<int>(std::strtol(ReadValue(file, key).c_str(), nullptr, 10));
}

void WriteValue(const std::string& file, const char* key, const char* value) {
  ::WritePrivateProfileStringA(kSection, key, value, file.c_str());
}

void WriteValue(const std::string& file, const char* key, const std::string& value) {
  WriteValue(file, key, value.c_str());
}

// A null value is how the profile functions delete a key.
void DeleteKey(const std::string& file, const char* key) { WriteValue(file, key, nullptr); }

void WriteBool(const std::string& file, const char* key, bool value) {
  WriteValue(file, key, value ? kTrue : kFalse);
}

// Whether a profile value reads back exactly as written. A zero byte ends the value and a
// line break ends the line; reading trims white space from both ends and strips a pair of
// matching quotes; and the profile functions hold text as UTF-16, so bytes that are no
// character of the ANSI code page (in 932 a lead byte without its trail) are altered.
bool SurvivesProfileFile(const std::string& value) {
  if (value.empty()) return true;
  if (value.find_first_of(std::string_view("\0\r\n", 3)) != std::string::npos) return false;
  if (Qv::IsWhiteSpace(value.front()) || Qv::IsWhiteSpace(value.back())) return false;
  const char first = value.front();
  if (value.size() >= 2 && (first == '"' || first == '\'') && value.back() == first) return false;
  return Qv::WideToAnsi(Qv::AnsiToWide(value)) == value;
}

std::string ToHex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const unsigned char b = static_cast<unsigned char>(c);
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0x0F];
  }
  return hex;
}

int HexDigit(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// False, leaving `bytes` alone, unless `hex` is a non-empty run of digit pairs.
bool FromHex(const std::string& hex, std::string& bytes) {
  if (hex.empty() || hex.size() % 2 != 0) return false;
  std::string decoded;
  decoded.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]);
    const int low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    decoded += static_cast<char>((high << 4) | low);
  }
  bytes.swap(decoded);
  return true;
}

std::string ShiftBytes(const std::string& text, int by) {
  std::string shifted(text);
  for (char& c : shifted) c = static_cast<char>(static_cast<unsigned char>(c) + by);
  return shifted;
}

}  // namespace

std::string EncodePassword(const std::string& password) { return ShiftBytes(password, 10); }

std::string DecodePassword(const std::string& stored) { return ShiftBytes(stored, -10); }

void CSettings::Load() {
  const std::string file = GetSettingsFilePath();
  dataFilePath_ = ReadValue(file, "DataFilePath");
  dataFileUrl_ = ReadValue(file, "DataFileUrl");
  isInternetFile_ = ReadBool(file, "IsInternetFile");
  authRequired_ = ReadBool(file, "AuthRequired");
  user_ = ReadValue(file, "User");
  std::string storedPassword = ReadValue(file, "Password");
  FromHex(ReadValue(file, kPasswordHexKey, kHexBufferSize), storedPassword);
  cacheLifeTimeChanged_ = ReadBool(file, "CacheLifeTimeChanged");
  interval_ = ReadInt(file, "Interval");
  outlookUnblocked_ = ReadBool(file, "OutlookUnblocked");
  password_ = DecodePassword(storedPassword);
}

void CSettings::Save() const {
  const std::string file = GetSettingsFilePath();
  WriteValue(file, "DataFilePath", dataFilePath_);
  WriteValue(file, "DataFileUrl", dataFileUrl_);
  WriteBool(file, "IsInternetFile", isInternetFile_);
  WriteBool(file, "AuthRequired", authRequired_);
  WriteValue(file, "User", user_);
  // The shifted form stays in Password whenever it can, so files remain readable by older
  // versions. A password byte 0xF6 shifts to a zero byte, the commonest case it cannot.
  const std::string storedPassword = EncodePassword(password_);
  if (SurvivesProfileFile(storedPassword)) {
    WriteValue(file, "Password", storedPassword);
    DeleteKey(file, kPasswordHexKey);
  } else {
    WriteValue(file, "Password", "");
    WriteValue(file, kPasswordHexKey, ToHex(storedPassword));
  }
  WriteBool(file, "CacheLifeTimeChanged", cacheLifeTimeChanged_);
  WriteValue(file, "Interval", std::to_string(interval_));
  WriteBool(file, "OutlookUnblocked", outlookUnblocked_);
}

bool CSettings::IsConfigured() const {
  return ::PathFileExistsA(GetSettingsFilePath().c_str()) &&
         !Qv::IsBlank(GetPublicFileLocation().Path);
}

CPublicFileLocation CSettings::GetPublicFileLocation() const {
  CPublicFileLocation location;
  location.Path = isInternetFile_ ? dataFileUrl_ : dataFilePath_;
  location.AuthRequired = authRequired_;
  location.IsInternetFile = isInternetFile_;
  location.User = user_;
  location.Password = password_;
  return location;
}

CRefCountPtr<CSettings> CSettings::Clone() const {
  return CRefCountPtr<CSettings>(new CSettings(*this));
}
