#pragma once
// Small WinINet steps shared by the FTP and HTTP access to the public file.
#include <windows.h>
#include <wininet.h>

#include <string>

// Reads everything the handle delivers; raises Net::CInternetException on failure.
std::string ReadAllFromInternet(HINTERNET file);

// Writes all of `text`; raises Net::CInternetException on failure.
void WriteAllToInternet(HINTERNET file, const std::string& text);
