// Proves the loopback FTP server with the WinINet calls the add-in makes, and pins down
// what Wine's WinINet shows the caller of FtpCommand and of a transfer cut short.
#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "LoopbackServers.h"
#include "WinInetTestCalls.h"

namespace {

// A bare FTP control connection over Winsock, for what WinINet cannot show: every line
// of a multi-line reply.
class FtpControlConnection {
 public:
  explicit FtpControlConnection(int port) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    DWORD timeoutMs = 5000;
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
               sizeof timeoutMs);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      const int error = WSAGetLastError();
      closesocket(socket_);
      WSACleanup();
      throw std::runtime_error("no FTP control connection: error " + std::to_string(error));
    }
    Reply();
  }
  ~FtpControlConnection() {
    closesocket(socket_);
    WSACleanup();
  }
  FtpControlConnection(const FtpControlConnection&) = delete;
  FtpControlConnection& operator=(const FtpControlConnection&) = delete;

  std::string Send(const std::string& command) {
    const std::string line = command + "\r\n";
    send(socket_, line.data(), static_cast<int>(line.size()), 0);
    return Reply();
  }

 private:
  // A reply ends with the line that starts with its code and a space.
  std::string Reply() {
    std::string reply, line;
    char c;
    while (recv(socket_, &c, 1, 0) == 1) {
      line += c;
      if (c != '\n') continue;
      reply += line;
      if (line.size() >= 4 && line[3] == ' ' && reply.compare(0, 3, line, 0, 3) == 0) break;
      line.clear();
    }
    return reply;
  }

  SOCKET socket_;
};

// The value of the "perm" fact in an MLST reply, or "(none)".
std::string PermFact(const std::string& reply) {
  const size_t start = reply.find("perm=");
  if (start == std::string::npos) return "(none)";
  return reply.substr(start + 5, reply.find(';', start) - start - 5);
}

class FtpServerTest : public ::testing::Test {
 protected:
  FtpServerTest() {
    root_.WriteFile("list.txt", list_);
    root_.WriteFile("drop-list.txt", big_);
    local_.WriteFile("upload.txt", "Nowa;5\r\n");
  }

  // Active mode: pyftpdlib and Wine's WinINet work together without the passive flag.
  Internet Login(const char* user, const char* password) {
    return Internet(InternetConnectA(session_.get(), "127.0.0.1",
                                     static_cast<INTERNET_PORT>(server_.Port()), user, password,
                                     INTERNET_SERVICE_FTP, 0, 0));
  }

  bool Get(HINTERNET connection, const char* remote, const std::string& local) {
    return FtpGetFileA(connection, remote, local_.WindowsPath(local).c_str(), FALSE,
                       FILE_ATTRIBUTE_NORMAL, FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD, 0);
  }

  const std::string list_ = "Klient A;3\r\nFaktury;7\r\n";
  const std::string big_ = Pattern(10000);
  ScratchFolder root_;
  ScratchFolder local_;
  LoopbackFtpServer server_{root_};
  Internet session_ = OpenSession();
};

TEST_F(FtpServerTest, WriterGetsAFileWithFtpGetFile) {
  Internet connection = Login("writer", "secret");
  ASSERT_TRUE(connection) << "error " << GetLastError();
  ASSERT_TRUE(Get(connection.get(), "list.txt", "copy.txt")) << "error " << GetLastError();
  EXPECT_EQ(list_, local_.ReadFile("copy.txt"));
}

TEST_F(FtpServerTest, WriterReadsAFileWithFtpOpenFile) {
  Internet connection = Login("writer", "secret");
  Internet file(
      FtpOpenFileA(connection.get(), "list.txt", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
  ASSERT_TRUE(file) << "error " << GetLastError();
  DWORD readError = 0;
  EXPECT_EQ(list_, ReadAll(file.get(), &readError));
  EXPECT_EQ(0u, readError);
}

TEST_F(FtpServerTest, WriterPutsAFileIntoTheFolder) {
  Internet connection = Login("writer", "secret");
  ASSERT_TRUE(FtpPutFileA(connection.get(), local_.WindowsPath("upload.txt").c_str(), "new.txt",
                          FTP_TRANSFER_TYPE_BINARY, 0))
      << "error " << GetLastError();
  EXPECT_EQ("Nowa;5\r\n", root_.ReadFile("new.txt"));
  EXPECT_TRUE(Contains(server_.LoggedLines(), "1 STOR new.txt"));
}

struct UserCase {
  const char* user;
  const char* password;
  bool mayWrite;
  const char* permOfAFile;
};

const UserCase kUsers[] = {
    {"writer", "secret", true, "radfwMT"},
    {"reader", "secret", false, "r"},
    {"anonymous", "guest@example.com", false, "r"},
};

class FtpUserTest : public FtpServerTest, public ::testing::WithParamInterface<UserCase> {};

TEST_P(FtpUserTest, ReadsAndWritesAsItsPermissionsSay) {
  const UserCase& c = GetParam();
  Internet connection = Login(c.user, c.password);
  ASSERT_TRUE(connection) << "error " << GetLastError();
  EXPECT_TRUE(Get(connection.get(), "list.txt", "copy.txt")) << "error " << GetLastError();

  const BOOL stored = FtpPutFileA(connection.get(), local_.WindowsPath("upload.txt").c_str(),
                                  "new.txt", FTP_TRANSFER_TYPE_BINARY, 0);
  const DWORD error = GetLastError();
  EXPECT_EQ(c.mayWrite, stored != FALSE);
  EXPECT_EQ(c.mayWrite, root_.Contains("new.txt"));
  if (!c.mayWrite) {
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR), error);
    EXPECT_TRUE(StartsWith(LastResponse(), "550")) << LastResponse();
  }
}

// The facts line of an MLST reply, read over a bare control connection.
TEST_P(FtpUserTest, MlstPermFactSaysWhetherTheFileIsWritable) {
  const UserCase& c = GetParam();
  FtpControlConnection control(server_.Port());
  ASSERT_TRUE(StartsWith(control.Send(std::string("USER ") + c.user), "331"));
  ASSERT_TRUE(StartsWith(control.Send(std::string("PASS ") + c.password), "230"));
  const std::string reply = control.Send("MLST list.txt");
  EXPECT_TRUE(StartsWith(reply, "250-")) << reply;
  EXPECT_EQ(c.permOfAFile, PermFact(reply)) << reply;
  EXPECT_EQ(c.mayWrite, PermFact(reply).find('w') != std::string::npos);
  const std::vector<std::string> commands = server_.LoggedCommands();
  EXPECT_EQ((std::vector<std::string>{"CONNECT", "USER", "PASS", "MLST"}), commands);
}

INSTANTIATE_TEST_SUITE_P(EveryUser, FtpUserTest, ::testing::ValuesIn(kUsers),
                         [](const ::testing::TestParamInfo<UserCase>& info) {
                           return std::string(info.param.user);
                         });

TEST_F(FtpServerTest, WrongPasswordIsRefusedAndNeverLogged) {
  Internet connection = Login("writer", "wrong-word");
  const DWORD error = GetLastError();
  EXPECT_FALSE(connection);
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_LOGIN_FAILURE), error);
  EXPECT_TRUE(StartsWith(LastResponse(), "530")) << LastResponse();
  const std::vector<std::string> lines = server_.LoggedLines();
  EXPECT_TRUE(Contains(lines, "1 PASS ***"));
  for (const std::string& line : lines)
    EXPECT_EQ(std::string::npos, line.find("wrong-word")) << line;
}

// Wine's FtpCommand reads the whole reply but keeps only its last line for
// InternetGetLastResponseInfo, so the facts of an MLST never reach the caller; only
// success (250) or failure (550, ERROR_INTERNET_EXTENDED_ERROR) does. A command that
// expects a data connection is not implemented at all.
TEST_F(FtpServerTest, WineFtpCommandMlstShowsOnlyTheLastReplyLine) {
  Internet connection = Login("writer", "secret");
  server_.ClearLog();
  EXPECT_TRUE(
      FtpCommandA(connection.get(), FALSE, FTP_TRANSFER_TYPE_ASCII, "MLST list.txt", 0, nullptr));
  EXPECT_EQ("250 End MLST.", LastResponse());

  EXPECT_FALSE(
      FtpCommandA(connection.get(), FALSE, FTP_TRANSFER_TYPE_ASCII, "MLST none.txt", 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR), GetLastError());
  EXPECT_TRUE(StartsWith(LastResponse(), "550")) << LastResponse();

  HINTERNET data = nullptr;
  EXPECT_FALSE(FtpCommandA(connection.get(), TRUE, FTP_TRANSFER_TYPE_ASCII, "MLSD", 0, &data));
  EXPECT_EQ(nullptr, data);

  const std::vector<std::string> lines = server_.LoggedLines();
  EXPECT_EQ((std::vector<std::string>{"1 MLST list.txt", "1 MLST none.txt"}), lines);
}

TEST_F(FtpServerTest, DroppedTransferFailsFtpGetFile) {
  Internet connection = Login("writer", "secret");
  EXPECT_FALSE(Get(connection.get(), "drop-list.txt", "copy.txt"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_CONNECTION_ABORTED), GetLastError());
  EXPECT_TRUE(StartsWith(LastResponse(), "426")) << LastResponse();
  EXPECT_FALSE(local_.Contains("copy.txt"));
  // The session survives for the next command.
  EXPECT_TRUE(Get(connection.get(), "list.txt", "copy.txt")) << "error " << GetLastError();
}

// Through FtpOpenFile the cut reads as a clean end of file; the server's 426 is read
// only when the file handle is closed.
TEST_F(FtpServerTest, DroppedTransferThroughFtpOpenFileGivesHalf) {
  Internet connection = Login("writer", "secret");
  Internet file(
      FtpOpenFileA(connection.get(), "drop-list.txt", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
  ASSERT_TRUE(file) << "error " << GetLastError();
  DWORD readError = 0;
  EXPECT_EQ(big_.substr(0, big_.size() / 2), ReadAll(file.get(), &readError));
  EXPECT_EQ(0u, readError);
  EXPECT_TRUE(InternetCloseHandle(file.release()));
  EXPECT_TRUE(StartsWith(LastResponse(), "426")) << LastResponse();
}

TEST_F(FtpServerTest, LogShowsEachCommandOfASession) {
  Internet connection = Login("reader", "secret");
  ASSERT_TRUE(Get(connection.get(), "list.txt", "copy.txt"));
  const std::vector<std::string> commands = server_.LoggedCommands();
  EXPECT_EQ((std::vector<std::string>{"CONNECT", "USER", "PASS", "TYPE", "PORT", "RETR"}),
            commands);
  EXPECT_TRUE(Contains(server_.LoggedLines(), "1 RETR list.txt"));
}

TEST_F(FtpServerTest, UrlWithCredentialsOpensTheFile) {
  Internet file(InternetOpenUrlA(session_.get(),
                                 server_.Url("list.txt", "reader", "secret").c_str(), nullptr, 0,
                                 kNoCache, 0));
  ASSERT_TRUE(file) << "error " << GetLastError();
  DWORD readError = 0;
  EXPECT_EQ(list_, ReadAll(file.get(), &readError));
  EXPECT_EQ(0u, readError);
  EXPECT_TRUE(Contains(server_.LoggedLines(), "1 USER reader"));
}

TEST_F(FtpServerTest, AfterStopTheSamePortIsRefused) {
  server_.Stop();
  EXPECT_FALSE(Login("writer", "secret"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT), GetLastError());
}

}  // namespace
