// The public category file on an FTP server (active mode, ASCII transfers).
#include <cstdint>
#include <string>

#include "FtpPermissionProbe.h"
#include "InternetError.h"
#include "InternetTransfer.h"
#include "LocalCopyTime.h"
#include "PassCancellation.h"
#include "PublicCategoryFile.h"
#include "PublicFileFormat.h"
#include "ResourceIds.h"
#include "TextFiles.h"
#include "qv/ResourceText.h"
#include "qv/Text.h"

namespace {

constexpr DWORD_PTR kContext = 1;

// Looks the file up in a fresh listing; gives its size when it is there.
bool FindRemoteFile(CPassCancellation* cancellation, Qv::UniqueInternet& connection,
                    const std::string& object, std::uint64_t* size) {
  WIN32_FIND_DATAA found = {};
  Qv::UniqueInternet find(CancellableInternetCall(cancellation, connection, [&] {
    return ::FtpFindFirstFileA(connection.Get(), object.c_str(), &found, INTERNET_FLAG_RELOAD, kContext);
  }));
  if (!find) return false;
  if (size) *size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  return true;
}

}  // namespace

Qv::UniqueInternet CPublicCategoryFile::ConnectFtp() {
  // Connecting logs in: it blocks until the server has answered.
  Qv::UniqueInternet connection(CancellableInternetCall(cancellation_, session_, [&] {
    return ::InternetConnectA(session_.Get(), server_.c_str(), port_, user_.c_str(), password_.c_str(),
                              INTERNET_SERVICE_FTP, 0, kContext);
  }));
  if (!connection) NET_THROW_LAST_ERROR();
  return connection;
}

bool CPublicCategoryFile::ReadOverFtp() {
  const std::int64_t started = CLocalCopyTime::Now();
  Qv::UniqueInternet connection;
  try {
    connection = ConnectFtp();
  } catch (const Net::CInternetException&) {
    SetError(IDS_SERVER_CONNECTION_FAILED, server_);
    return false;
  }
  // The listed size tells a whole transfer from one the server cut short. ASCII mode can
  // only lengthen the text (LF to CR LF), never shorten it.
  std::uint64_t listedSize = 0;
  const bool listed = FindRemoteFile(cancellation_, connection, object_, &listedSize);
  Qv::UniqueInternet file(CancellableInternetCall(cancellation_, connection, [&] {
    return ::FtpOpenFileA(connection.Get(), object_.c_str(), GENERIC_READ,
                          FTP_TRANSFER_TYPE_ASCII | INTERNET_FLAG_RELOAD, kContext);
  }));
  if (!file) {
    SetError(IDS_FTP_FILE_UNAVAILABLE);
    return false;
  }
  const std::string text = ReadAllFromInternet(file, cancellation_);
  const bool closed = ::InternetCloseHandle(file.Release());
  if (!closed || (listed && text.size() < listedSize)) {
    SetError(IDS_TRANSFER_INCOMPLETE, path_);
    return false;
  }
  TakeCategoriesFrom(text, started);
  return true;
}

bool CPublicCategoryFile::WriteOverFtp() {
  Qv::UniqueInternet connection = ConnectFtp();
  // Upload under a name of our own, then rename it over the file, so that a reader gets
  // either the old text or the new one.
  const std::string upload =
      Qv::Format("%s.%lu-%lu.tmp", object_.c_str(), static_cast<unsigned long>(::GetCurrentProcessId()),
                 static_cast<unsigned long>(::GetTickCount()));
  {
    Qv::UniqueInternet file(::FtpOpenFileA(connection.Get(), upload.c_str(), GENERIC_WRITE,
                                           FTP_TRANSFER_TYPE_ASCII, kContext));
    if (!file) NET_THROW_LAST_ERROR();
    WriteAllToInternet(file.Get(), WriteLines(categories_, LineEnd::Lf));
    if (!::InternetCloseHandle(file.Release())) NET_THROW_LAST_ERROR();
  }
  if (!::FtpRenameFileA(connection.Get(), upload.c_str(), object_.c_str())) {
    // Some servers will not rename onto an existing name.
    ::FtpDeleteFileA(connection.Get(), object_.c_str());
    if (!::FtpRenameFileA(connection.Get(), upload.c_str(), object_.c_str())) {
      const DWORD error = ::GetLastError();
      ::FtpDeleteFileA(connection.Get(), upload.c_str());
      throw Net::CInternetException(error, __FILE__, __LINE__);
    }
  }
  RefreshLocalCopy();
  return true;
}

PublicFileAccess CPublicCategoryFile::CheckAccessOverFtp() {
  Qv::UniqueInternet connection = ConnectFtp();
  if (!FindRemoteFile(cancellation_, connection, object_, nullptr)) {
    SetError(IDS_FILE_DOES_NOT_EXIST, path_);
    return AccessNotFound;
  }
  // Asking the server for the file's permissions changes nothing on it, unlike opening
  // the file for writing, which would empty it.
  switch (AskFtpWritePermission({server_, port_, user_, password_}, object_)) {
    case FtpWritePermission::Writable:
      return AccessReadWrite;
    case FtpWritePermission::ReadOnly:
      SetError(IDS_NO_EDIT_RIGHTS, path_);
      return AccessReadOnly;
    case FtpWritePermission::Neither:
      SetError(IDS_NO_EDIT_RIGHTS, path_);
      return AccessStatusFailed;
    case FtpWritePermission::Unknown:
    default:
      SetError(IDS_FILE_STATUS_FAILED, path_);
      return AccessStatusFailed;
  }
}

bool CPublicCategoryFile::CreateOverFtp() {
  DWORD error = 0;
  if (!ReplaceFileContents(localCopyPath_, std::string(), error)) {
    SetError(IDS_CANNOT_CREATE_TEMP_FILE, localCopyPath_);
    return false;
  }
  // The emptied copy is not the file's content: it must never stand in for it.
  CLocalCopyTime::Instance().Reset();
  Qv::UniqueInternet connection = ConnectFtp();
  if (FindRemoteFile(cancellation_, connection, object_, nullptr)) return true;  // never empty a file
  if (!::FtpPutFileA(connection.Get(), localCopyPath_.c_str(), object_.c_str(),
                     FTP_TRANSFER_TYPE_ASCII, kContext)) {
    SetError(IDS_SERVER_CREATE_FAILED, server_);
    return false;
  }
  return true;
}
