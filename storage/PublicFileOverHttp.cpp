// The public category file on a web server: read and probed, never written.
#include <cstdint>
#include <string>

#include "InternetError.h"
#include "InternetTransfer.h"
#include "LocalCopyTime.h"
#include "PassCancellation.h"
#include "PublicCategoryFile.h"
#include "ResourceIds.h"

namespace {

constexpr DWORD_PTR kContext = 1;

bool QueryNumber(HINTERNET request, DWORD what, DWORD& value) {
  DWORD size = sizeof value;
  return ::HttpQueryInfoA(request, what | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr) != FALSE;
}

}  // namespace

PublicFileAccess CPublicCategoryFile::CheckAccessOverHttp() {
  Qv::UniqueInternet connection(::InternetConnectA(session_.Get(), server_.c_str(), port_,
                                                   nullptr, nullptr, INTERNET_SERVICE_HTTP, 0,
                                                   kContext));
  if (!connection) NET_THROW_LAST_ERROR();
  Qv::UniqueInternet request(::HttpOpenRequestA(connection.Get(), "POST", object_.c_str(),
                                                nullptr, nullptr, nullptr,
                                                INTERNET_FLAG_EXISTING_CONNECT, kContext));
  if (!request) NET_THROW_LAST_ERROR();
  if (!CancellableInternetCall(cancellation_, request,
                               [&] { return ::HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0); })) {
    SetError(IDS_SERVER_CONNECTION_FAILED, server_);
    return AccessNoConnection;
  }
  DWORD status = 0;
  if (!QueryNumber(request.Get(), HTTP_QUERY_STATUS_CODE, status)) {
    SetError(IDS_FILE_STATUS_FAILED, path_);
    return AccessStatusFailed;
  }
  if (status == HTTP_STATUS_NOT_FOUND) {
    SetError(IDS_FILE_DOES_NOT_EXIST, path_);
    return AccessNotFound;
  }
  SetError(IDS_HTTP_FILE_READ_ONLY);
  return AccessReadOnly;
}

bool CPublicCategoryFile::ReadOverHttp() {
  if (CheckAccessOverHttp() < AccessReadOnly) return false;
  const std::int64_t started = CLocalCopyTime::Now();
  const std::string probeMessage = lastError_;
  Qv::UniqueInternet response(CancellableInternetCall(cancellation_, session_, [&] {
    return ::InternetOpenUrlA(session_.Get(), path_.c_str(), nullptr, 0,
                              INTERNET_FLAG_RELOAD | INTERNET_FLAG_TRANSFER_ASCII, kContext);
  }));
  if (!response) NET_THROW_LAST_ERROR();
  // An error page is not a list of categories: parsed, it would empty everybody's list.
  DWORD status = 0;
  if (!QueryNumber(response.Get(), HTTP_QUERY_STATUS_CODE, status) || status < 200 ||
      status > 299) {
    SetError(IDS_HTTP_ERROR_STATUS, path_);
    return false;
  }
  DWORD announced = 0;
  const bool lengthKnown = QueryNumber(response.Get(), HTTP_QUERY_CONTENT_LENGTH, announced);
  const std::string text = ReadAllFromInternet(response, cancellation_);
  if (lengthKnown && text.size() < announced) {
    SetError(IDS_TRANSFER_INCOMPLETE, path_);
    return false;
  }
  TakeCategoriesFrom(text, started);
  lastError_ = probeMessage;
  return true;
}
