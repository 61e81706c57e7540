#include "PublicFileLocationParser.h"

#include <wininet.h>
#include <shlwapi.h>

#include <cctype>
#include <vector>

namespace {

bool IsDrivePath(const std::string& text) {
  return text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':';
}

bool IsUncPath(const std::string& text) {
  return text.size() >= 2 && text[0] == '\\' && text[1] == '\\';
}

DWORD ServiceTypeOf(INTERNET_SCHEME scheme) {
  switch (scheme) {
    case INTERNET_SCHEME_FTP: return AFX_INET_SERVICE_FTP;
    case INTERNET_SCHEME_GOPHER: return AFX_INET_SERVICE_GOPHER;
    case INTERNET_SCHEME_HTTP: return AFX_INET_SERVICE_HTTP;
    case INTERNET_SCHEME_HTTPS: return AFX_INET_SERVICE_HTTPS;
    case INTERNET_SCHEME_FILE: return AFX_INET_SERVICE_FILE;
    case INTERNET_SCHEME_MAILTO: return AFX_INET_SERVICE_MAILTO;
    case INTERNET_SCHEME_NEWS: return AFX_INET_SERVICE_NEWS;
    default: return AFX_INET_SERVICE_UNK;
  }
}

ParsedPublicFileLocation FileLocation(const std::string& path) {
  ParsedPublicFileLocation result;
  result.parsed = true;
  result.serviceType = AFX_INET_SERVICE_FILE;
  result.object = path;
  result.filePath = path;
  return result;
}

}  // namespace

ParsedPublicFileLocation ParsePublicFileLocation(const std::string& location) {
  if (location.empty()) return {};
  if (IsDrivePath(location) || IsUncPath(location)) return FileLocation(location);

  std::vector<char> scheme(location.size() + 1), host(location.size() + 1),
      path(location.size() + 1), extra(location.size() + 1);
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof parts;
  parts.lpszScheme = scheme.data();
  parts.dwSchemeLength = static_cast<DWORD>(scheme.size());
  parts.lpszHostName = host.data();
  parts.dwHostNameLength = static_cast<DWORD>(host.size());
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = static_cast<DWORD>(path.size());
  parts.lpszExtraInfo = extra.data();
  parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
  if (!::InternetCrackUrlA(location.c_str(), 0, 0, &parts)) return {};

  ParsedPublicFileLocation result;
  result.parsed = true;
  result.serviceType = ServiceTypeOf(parts.nScheme);
  if (result.serviceType == AFX_INET_SERVICE_FILE) {
    char local[MAX_PATH * 4] = {};
    DWORD size = sizeof local;
    if (::PathCreateFromUrlA(location.c_str(), local, &size, 0) != S_OK) return {};
    return FileLocation(local);
  }
  result.server = host.data();
  result.object = std::string(path.data()) + extra.data();
  result.port = parts.nPort;
  return result;
}
