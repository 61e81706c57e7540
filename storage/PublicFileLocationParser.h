#pragma once
// Splits the location text of the public category file into its kind, server, port and
// object, the way the platform's URL parser does.
#include <windows.h>

#include <string>

// Kinds of location, numbered as the platform's internet classes number them.
constexpr DWORD AFX_INET_SERVICE_FTP = 1;
constexpr DWORD AFX_INET_SERVICE_GOPHER = 2;
constexpr DWORD AFX_INET_SERVICE_HTTP = 3;
constexpr DWORD AFX_INET_SERVICE_UNK = 0x1000;
constexpr DWORD AFX_INET_SERVICE_FILE = 0x1001;
constexpr DWORD AFX_INET_SERVICE_MAILTO = 0x1002;
constexpr DWORD AFX_INET_SERVICE_NEWS = 0x1005;
constexpr DWORD AFX_INET_SERVICE_TELNET = 0x1008;
constexpr DWORD AFX_INET_SERVICE_HTTPS = 0x100B;

struct ParsedPublicFileLocation {
  bool parsed = false;       // false: not a location at all
  DWORD serviceType = AFX_INET_SERVICE_UNK;
  std::string server;        // FTP and HTTP
  std::string object;        // path on the server, or the file's own path
  unsigned short port = 0;   // the URL's port, or the scheme's default
  std::string filePath;      // for a file location: the path to open (a file URL decoded)
};

// Drive-letter and UNC paths are files; URLs are cracked by WinINet; anything else fails.
ParsedPublicFileLocation ParsePublicFileLocation(const std::string& location);
