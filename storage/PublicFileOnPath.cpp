// The public category file on a local or network path.
#include "PublicCategoryFile.h"

#include "LocalCopyTime.h"
#include "PublicFileFormat.h"
#include "ResourceIds.h"
#include "TextFiles.h"
#include "qv/Handles.h"
#include "qv/ResourceText.h"
#include "Error.h"

namespace {

// The system's own description of a file failure, as the user should see it.
std::string FileErrorText(DWORD error) {
  std::string text = Error::SystemMessage(error);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.size() > 999) text.resize(999);
  return text;
}

}  // namespace

bool CPublicCategoryFile::ReadFromPath() {
  const std::int64_t started = CLocalCopyTime::Now();
  std::string text;
  DWORD error = 0;
  bool opened = false;
  if (!ReadWholeFile(filePath_, text, error, opened)) {
    // A file that cannot be opened has its own message; a failure half-way through the
    // read gets the system's description of it.
    if (opened)
      lastError_ = FileErrorText(error);
    else
      SetError(IDS_CANNOT_OPEN_FILE, path_);
    return false;
  }
  TakeCategoriesFrom(text, started);
  return true;
}

bool CPublicCategoryFile::WriteToPath() {
  // The same test as opening the file for writing, without truncating it.
  if (::GetFileAttributesA(filePath_.c_str()) != INVALID_FILE_ATTRIBUTES) {
    Qv::UniqueFile probe(::CreateFileA(filePath_.c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe) {
      SetError(IDS_CANNOT_OPEN_FILE, path_);
      return false;
    }
  }
  DWORD error = 0;
  if (!ReplaceFileContents(filePath_, WriteLines(categories_, LineEnd::CrLf), error)) {
    SetError(IDS_CANNOT_OPEN_FILE, path_);
    return false;
  }
  RefreshLocalCopy();
  return true;
}

PublicFileAccess CPublicCategoryFile::CheckAccessOnPath() {
  {
    Qv::UniqueFile writable(::CreateFileA(filePath_.c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (writable) return AccessReadWrite;
  }
  Qv::UniqueFile exists(::CreateFileA(filePath_.c_str(), 0, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (exists) {
    SetError(IDS_NO_EDIT_RIGHTS, path_);
    return AccessReadOnly;
  }
  return AccessNotFound;
}

bool CPublicCategoryFile::CreateOnPath() {
  // CREATE_NEW: a file another user made in the meantime must not be emptied.
  Qv::UniqueFile file(::CreateFileA(filePath_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file || ::GetLastError() == ERROR_FILE_EXISTS) return true;
  SetError(IDS_FILE_CREATE_FAILED, path_);
  return false;
}
