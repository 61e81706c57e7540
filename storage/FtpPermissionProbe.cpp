#include "FtpPermissionProbe.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cctype>
#include <string>

namespace {

constexpr DWORD kTimeoutMs = 30000;

class WinsockUser {
 public:
  WinsockUser() { started_ = ::WSAStartup(MAKEWORD(2, 2), &data_) == 0; }
  ~WinsockUser() {
    if (started_) ::WSACleanup();
  }
  bool Started() const { return started_; }

 private:
  WSADATA data_ = {};
  bool started_ = false;
};

class Socket {
 public:
  explicit Socket(SOCKET s) : socket_(s) {}
  ~Socket() {
    if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  SOCKET Get() const { return socket_; }
  bool IsValid() const { return socket_ != INVALID_SOCKET; }

 private:
  SOCKET socket_;
};

Socket Connect(const FtpLogin& login) {
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  if (::getaddrinfo(login.server.c_str(), std::to_string(login.port).c_str(), &hints, &found) != 0)
    return Socket(INVALID_SOCKET);
  SOCKET connected = INVALID_SOCKET;
  for (addrinfo* a = found; a && connected == INVALID_SOCKET; a = a->ai_next) {
    SOCKET s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) continue;
    const DWORD timeout = kTimeoutMs;
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    if (::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0)
      connected = s;
    else
      ::closesocket(s);
  }
  ::freeaddrinfo(found);
  return Socket(connected);
}

// One FTP control conversation: commands out, whole (multi-line) replies in.
class ControlConnection {
 public:
  explicit ControlConnection(SOCKET s) : socket_(s) {}

  // The reply's code (0 when the connection failed); `text` gets every line.
  int ReadReply(std::string* text = nullptr) {
    std::string reply;
    for (;;) {
      std::string line;
      if (!ReadLine(line)) return 0;
      reply += line + "\n";
      // "ddd-" opens a multi-line reply that ends with "ddd ".
      if (line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
          std::isdigit(static_cast<unsigned char>(line[1])) &&
          std::isdigit(static_cast<unsigned char>(line[2])) && line[3] == ' ') {
        if (text) *text = reply;
        return std::stoi(line.substr(0, 3));
      }
      if (line.size() == 3 && std::isdigit(static_cast<unsigned char>(line[0]))) {
        if (text) *text = reply;
        return std::stoi(line);
      }
    }
  }

  int Command(const std::string& command, std::string* text = nullptr) {
    const std::string line = command + "\r\n";
    if (::send(socket_, line.data(), static_cast<int>(line.size()), 0) != static_cast<int>(line.size()))
      return 0;
    return ReadReply(text);
  }

 private:
  bool ReadLine(std::string& line) {
    line.clear();
    for (;;) {
      if (pos_ == buffer_.size()) {
        char chunk[1024];
        const int got = ::recv(socket_, chunk, sizeof chunk, 0);
        if (got <= 0) return false;
        buffer_.assign(chunk, static_cast<size_t>(got));
        pos_ = 0;
      }
      const char c = buffer_[pos_++];
      if (c == '\n') {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
      }
      line += c;
      if (line.size() > 64 * 1024) return false;  // no sane reply line is this long
    }
  }

  SOCKET socket_;
  std::string buffer_;
  size_t pos_ = 0;
};

}  // namespace

std::string PermFactOf(const std::string& mlstReply) {
  std::string lowered = mlstReply;
  for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  size_t at = 0;
  // A fact starts a line's facts or follows a ';'.
  while ((at = lowered.find("perm=", at)) != std::string::npos) {
    if (at == 0 || lowered[at - 1] == ';' || lowered[at - 1] == ' ' || lowered[at - 1] == '\n') {
      const size_t begin = at + 5;
      const size_t end = lowered.find_first_of("; \r\n", begin);
      return lowered.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    }
    at += 5;
  }
  return {};
}

FtpWritePermission AskFtpWritePermission(const FtpLogin& login, const std::string& object) {
  WinsockUser winsock;
  if (!winsock.Started()) return FtpWritePermission::Unknown;
  Socket socket = Connect(login);
  if (!socket.IsValid()) return FtpWritePermission::Unknown;
  ControlConnection control(socket.Get());
  if (control.ReadReply() != 220) return FtpWritePermission::Unknown;

  const bool anonymous = login.user.empty();
  int code = control.Command("USER " + (anonymous ? std::string("anonymous") : login.user));
  if (code == 331)
    code = control.Command("PASS " + (anonymous ? std::string("anonymous@") : login.password));
  if (code != 230) return FtpWritePermission::Unknown;

  std::string reply;
  code = control.Command("MLST " + object, &reply);
  control.Command("QUIT");
  if (code != 250) return FtpWritePermission::Unknown;

  const std::string perm = PermFactOf(reply);
  if (perm.empty()) return FtpWritePermission::Unknown;
  if (perm.find('w') != std::string::npos) return FtpWritePermission::Writable;
  if (perm.find('r') != std::string::npos) return FtpWritePermission::ReadOnly;
  return FtpWritePermission::Neither;
}
