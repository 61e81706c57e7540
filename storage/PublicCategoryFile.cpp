#include "PublicCategoryFile.h"

#include <new>

#include "Error.h"
#include "InternetError.h"
#include "LocalCopyTime.h"
#include "MessageBoxes.h"
#include "PublicFileFormat.h"
#include "ShellWrapper.h"
#include "FsPath.h"
#include "TextFiles.h"
#include "qv/ResourceText.h"
#include "ResourceIds.h"

namespace {
constexpr char kLocalCopyName[] = "tempPCF.txt";
}

CPublicCategoryFile::CPublicCategoryFile(const CPublicFileLocation& location,
                                         CPassCancellation* cancellation)
    : cancellation_(cancellation) {
  session_.Reset(::InternetOpenA(Error::ApplicationName().c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                 nullptr, nullptr, 0));
  if (!session_) NET_THROW_LAST_ERROR();
  localCopyPath_ = QvFsPath(GetSettingsFolder()).Join(kLocalCopyName).Str();

  path_ = location.Path;
  isInternetFile_ = location.IsInternetFile;
  authRequired_ = location.AuthRequired;
  if (authRequired_) {
    user_ = location.User;
    password_ = location.Password;
  }
  CSettings settings;
  settings.Load();
  interval_ = settings.GetInterval();

  const ParsedPublicFileLocation parsed = ParsePublicFileLocation(path_);
  locationParsed_ = parsed.parsed;
  serviceType_ = parsed.serviceType;
  server_ = parsed.server;
  object_ = parsed.object;
  port_ = parsed.port;
  filePath_ = parsed.filePath;
}

void CPublicCategoryFile::SetError(UINT id, const std::string& argument) {
  lastError_ = Qv::FormatText(id, argument);
}

bool CPublicCategoryFile::SwitchToFreshLocalCopy() {
  Qv::UniqueFile copy(::CreateFileA(localCopyPath_.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!copy) {
    SetError(IDS_NO_EDIT_RIGHTS, localCopyPath_);
    return false;
  }
  path_ = localCopyPath_;
  filePath_ = localCopyPath_;
  serviceType_ = AFX_INET_SERVICE_FILE;
  readingLocalCopy_ = true;
  return true;
}

bool CPublicCategoryFile::Read(bool useLocalCopy) {
  try {
    if (useLocalCopy && !readingLocalCopy_ &&
        CLocalCopyTime::Instance().IsFresh(interval_, CLocalCopyTime::Now())) {
      if (!SwitchToFreshLocalCopy()) return false;
    }
    switch (serviceType_) {
      case AFX_INET_SERVICE_FILE: return ReadFromPath();
      case AFX_INET_SERVICE_FTP: return ReadOverFtp();
      case AFX_INET_SERVICE_HTTP: return ReadOverHttp();
      default:
        SetError(locationParsed_ ? IDS_UNSUPPORTED_PROTOCOL : IDS_INVALID_PATH);
        return false;
    }
  } catch (const Net::CInternetException&) {
    SetError(IDS_SERVER_CONNECTION_FAILED, server_);
    return false;
  } catch (...) {
    return false;
  }
}

bool CPublicCategoryFile::Write() {
  try {
    switch (serviceType_) {
      case AFX_INET_SERVICE_FILE: return WriteToPath();
      case AFX_INET_SERVICE_FTP: return WriteOverFtp();
      case AFX_INET_SERVICE_HTTP: return false;  // a web server is read-only
      default:
        // Nothing can be stored there; saying so beats reporting a save that never was.
        SetError(locationParsed_ ? IDS_UNSUPPORTED_PROTOCOL : IDS_INVALID_PATH);
        return false;
    }
  } catch (const Net::CInternetException& e) {
    Error::AppMessageBox(e.GetText());
    return false;
  } catch (...) {
    Error::AppMessageBox(Qv::LoadText(IDS_UNEXPECTED_INTERNET_ERROR));
    return false;
  }
}

PublicFileAccess CPublicCategoryFile::CheckAccess() {
  try {
    switch (serviceType_) {
      case AFX_INET_SERVICE_FILE: return CheckAccessOnPath();
      case AFX_INET_SERVICE_FTP: return CheckAccessOverFtp();
      case AFX_INET_SERVICE_HTTP: return CheckAccessOverHttp();
      default: return AccessNoConnection;
    }
  } catch (const Net::CInternetException&) {
    SetError(IDS_SERVER_CONNECTION_FAILED, server_);
    return AccessNoConnection;
  } catch (...) {
    return AccessStatusFailed;
  }
}

bool CPublicCategoryFile::Create() {
  try {
    switch (serviceType_) {
      case AFX_INET_SERVICE_FILE: return CreateOnPath();
      case AFX_INET_SERVICE_FTP: return CreateOverFtp();
      case AFX_INET_SERVICE_HTTP:
        SetError(IDS_HTTP_CANNOT_CREATE);
        return false;
      default: return false;
    }
  } catch (const Net::CInternetException&) {
    // Reported like every other failure here, so the caller shows it from LastError.
    SetError(IDS_SERVER_CONNECTION_FAILED, server_);
    return false;
  } catch (...) {
    return false;
  }
}

void CPublicCategoryFile::TakeCategoriesFrom(const std::string& text, std::int64_t readStarted) {
  CCategoryItems parsed;
  std::string copy;
  ParseLines(text, parsed, readingLocalCopy_ ? nullptr : &copy);
  categories_.swap(parsed);
  if (readingLocalCopy_) return;

  DWORD error = 0;
  if (ReplaceFileContents(localCopyPath_, ToCrLf(copy), error)) {
    CLocalCopyTime::Instance().Set(readStarted);
  } else {
    // The read itself succeeded; only the copy is missing, so nothing may count as fresh.
    CLocalCopyTime::Instance().Reset();
  }
}

void CPublicCategoryFile::RefreshLocalCopy() {
  DWORD error = 0;
  if (ReplaceFileContents(localCopyPath_, WriteLines(categories_, LineEnd::CrLf), error))
    CLocalCopyTime::Instance().Set(CLocalCopyTime::Now());
  else
    CLocalCopyTime::Instance().Reset();
}
