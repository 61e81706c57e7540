#include "ShellWrapper.h"

#include <vector>

#include "FsPath.h"

namespace {

using GetFolderPathFunction = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);

constexpr int kAppDataCreate = 0x801A;  // CSIDL_APPDATA | CSIDL_FLAG_CREATE
constexpr DWORD kDefaultLocation = 1;   // SHGFP_TYPE_DEFAULT
constexpr size_t kFolderBufferSize = 4096;
constexpr char kProductFolder[] = "\\Velmora Tagsy";
constexpr char kSettingsFileName[] = "settings.ini";

}  // namespace

QvShellWrapper::QvShellWrapper(const char* library) : library_(::LoadLibraryA(library)) {}

HRESULT QvShellWrapper::GetFolderPath(HWND window, int csidl, HANDLE token, DWORD flags,
                                      char* path) const {
  if (!library_) return E_FAIL;
  const auto function = reinterpret_cast<GetFolderPathFunction>(
      reinterpret_cast<void*>(::GetProcAddress(library_.Get(), "SHGetFolderPathA")));
  if (function == nullptr) return E_FAIL;
  return function(window, csidl, token, flags, path);
}

std::string GetSettingsFolder() { return GetSettingsFolder(QvShellWrapper()); }

std::string GetSettingsFolder(const QvShellWrapper& shell) {
  std::vector<char> buffer(kFolderBufferSize, '\0');
  const HRESULT result =
      shell.GetFolderPath(nullptr, kAppDataCreate, nullptr, kDefaultLocation, buffer.data());
  // A success code with nothing in the buffer would put the folder at the drive's root.
  if (FAILED(result) || buffer[0] == '\0') return std::string();

  const QvFsPath folder(std::string(buffer.data()) + kProductFolder);
  if (!folder.IsDirectory() && !folder.CreateDirectoryTree()) return std::string();
  return folder.Str();
}

std::string GetSettingsFilePath() { return GetSettingsFilePath(QvShellWrapper()); }

std::string GetSettingsFilePath(const QvShellWrapper& shell) {
  return QvFsPath(GetSettingsFolder(shell)).Join(kSettingsFileName).Str();
}
