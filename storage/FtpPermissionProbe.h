#pragma once
// Learns whether an FTP server lets this user write a file, without touching the file:
// the "perm" fact of the server's MLST answer (RFC 3659). WinINet hands back only the
// last line of a multi-line reply, and the fact is on an earlier one, so the probe logs
// in on a short control connection of its own.
#include <string>

enum class FtpWritePermission {
  Writable,  // 'w' among the permissions
  ReadOnly,  // may be read ('r') but not written
  Neither,   // the server names neither
  Unknown,   // no MLST, no perm fact, or no answer
};

struct FtpLogin {
  std::string server;
  unsigned short port = 21;
  std::string user;  // empty: anonymous, as WinINet logs in
  std::string password;
};

FtpWritePermission AskFtpWritePermission(const FtpLogin& login, const std::string& object);

// The permission letters of an MLST reply ("radfw" ...), lower case; "" when none.
std::string PermFactOf(const std::string& mlstReply);
