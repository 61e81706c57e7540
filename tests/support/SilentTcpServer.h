#pragma once
// A loopback port that listens and never accepts: connections complete in the kernel's
// backlog and then hear nothing, like a server that has hung. Clients wait for their
// time-out.
#include <winsock2.h>

class SilentTcpServer {
 public:
  SilentTcpServer() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    ::listen(socket_, 8);
    int length = sizeof(address);
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~SilentTcpServer() {
    ::closesocket(socket_);
    ::WSACleanup();
  }
  SilentTcpServer(const SilentTcpServer&) = delete;
  SilentTcpServer& operator=(const SilentTcpServer&) = delete;

  int Port() const { return port_; }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  int port_ = 0;
};
