#pragma once
// Small WinINet steps shared by the FTP and HTTP access to the public file.
#include <windows.h>
#include <wininet.h>

#include <string>

#include "qv/InternetHandle.h"

class CPassCancellation;

// Reads everything the handle delivers; raises Net::CInternetException on failure.
std::string ReadAllFromInternet(HINTERNET file);
// The same, cut short when `cancellation` (may be null) is cancelled; `file` is emptied
// when the cancellation closed it.
std::string ReadAllFromInternet(Qv::UniqueInternet& file, CPassCancellation* cancellation);

// Writes all of `text`; raises Net::CInternetException on failure.
void WriteAllToInternet(HINTERNET file, const std::string& text);
