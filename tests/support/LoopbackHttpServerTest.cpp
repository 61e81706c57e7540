// Proves the loopback HTTP server with the WinINet calls the add-in makes, and pins down
// what Wine's WinINet shows the caller when an answer is slow or cut short.
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LoopbackServers.h"
#include "WinInetTestCalls.h"

namespace {

struct HttpAnswer {
  DWORD sendError = 0;  // nonzero when HttpSendRequest failed
  DWORD status = 0;
  DWORD contentLength = 0;
  std::string body;
  DWORD readError = 0;
  DWORD elapsedMs = 0;
};

// Which handle gets INTERNET_OPTION_RECEIVE_TIMEOUT.
enum class TimeoutOn { kNone, kSession, kConnection, kRequest };

void SetReceiveTimeout(HINTERNET handle, DWORD ms) {
  InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
}

HttpAnswer Http(const char* verb, int port, const std::string& path,
                TimeoutOn timeoutOn = TimeoutOn::kNone, DWORD timeoutMs = 0) {
  HttpAnswer answer;
  Internet session = OpenSession();
  if (timeoutOn == TimeoutOn::kSession) SetReceiveTimeout(session.get(), timeoutMs);
  Internet connection(InternetConnectA(session.get(), "127.0.0.1", static_cast<INTERNET_PORT>(port),
                                       nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (timeoutOn == TimeoutOn::kConnection) SetReceiveTimeout(connection.get(), timeoutMs);
  Internet request(HttpOpenRequestA(connection.get(), verb, ("/" + path).c_str(), nullptr, nullptr,
                                    nullptr, kNoCache, 0));
  if (timeoutOn == TimeoutOn::kRequest) SetReceiveTimeout(request.get(), timeoutMs);
  const ULONGLONG start = GetTickCount64();
  if (!HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) {
    answer.sendError = GetLastError();
  } else {
    DWORD size = sizeof answer.status;
    HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &answer.status,
                   &size, nullptr);
    size = sizeof answer.contentLength;
    HttpQueryInfoA(request.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                   &answer.contentLength, &size, nullptr);
    answer.body = ReadAll(request.get(), &answer.readError);
  }
  answer.elapsedMs = static_cast<DWORD>(GetTickCount64() - start);
  return answer;
}

class HttpServerTest : public ::testing::Test {
 protected:
  HttpServerTest() {
    root_.WriteFile("list.txt", list_);
    root_.WriteFile("big.txt", big_);
  }

  const std::string list_ = "Klient A;3\r\nFaktury;7\r\nPilne \xB9\xEA;0\r\n";
  const std::string big_ = Pattern(10000);
  ScratchFolder root_;
  LoopbackHttpServer server_{root_};
};

TEST_F(HttpServerTest, GetOfUrlGivesTheFileBytesAndLength) {
  Internet session = OpenSession();
  Internet file(
      InternetOpenUrlA(session.get(), server_.Url("list.txt").c_str(), nullptr, 0, kNoCache, 0));
  ASSERT_TRUE(file) << "error " << GetLastError();
  DWORD status = 0, length = 0, size = sizeof status;
  HttpQueryInfoA(file.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                 nullptr);
  size = sizeof length;
  HttpQueryInfoA(file.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size,
                 nullptr);
  DWORD readError = 0;
  EXPECT_EQ(list_, ReadAll(file.get(), &readError));
  EXPECT_EQ(0u, readError);
  EXPECT_EQ(200u, status);
  EXPECT_EQ(list_.size(), length);
  EXPECT_EQ(std::vector<std::string>{"GET /list.txt"}, server_.LoggedLines());
}

TEST_F(HttpServerTest, MissingFileIs404) {
  const HttpAnswer answer = Http("GET", server_.Port(), "none.txt");
  EXPECT_EQ(0u, answer.sendError);
  EXPECT_EQ(404u, answer.status);
}

TEST_F(HttpServerTest, StatusPrefixAnswersThatCode) {
  for (DWORD code : {401u, 403u, 500u, 503u}) {
    const HttpAnswer answer =
        Http("GET", server_.Port(), "status/" + std::to_string(code) + "/list.txt");
    EXPECT_EQ(code, answer.status);
    EXPECT_NE(std::string::npos, answer.body.find("<html>")) << code;
  }
}

TEST_F(HttpServerTest, SlowPrefixWaitsThenAnswers) {
  const HttpAnswer answer = Http("GET", server_.Port(), "slow/500/list.txt");
  EXPECT_EQ(200u, answer.status);
  EXPECT_EQ(list_, answer.body);
  EXPECT_GE(answer.elapsedMs, 450u);
}

struct TimeoutCase {
  TimeoutOn on;
  bool failsTheSend;
};

// Wine ignores a receive timeout set on the session (InternetOpen) handle for HTTP;
// on the connection or request handle it fails the send with
// ERROR_INTERNET_CONNECTION_ABORTED, where Windows gives ERROR_INTERNET_TIMEOUT.
TEST_F(HttpServerTest, SlowAnswerPastTheReceiveTimeout) {
  const TimeoutCase cases[] = {
      {TimeoutOn::kSession, false}, {TimeoutOn::kConnection, true}, {TimeoutOn::kRequest, true}};
  for (const TimeoutCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.on));
    const HttpAnswer answer = Http("GET", server_.Port(), "slow/1000/list.txt", c.on, 300);
    if (c.failsTheSend) {
      EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_CONNECTION_ABORTED), answer.sendError);
      EXPECT_LT(answer.elapsedMs, 900u);
    } else {
      EXPECT_EQ(200u, answer.status);
      EXPECT_GE(answer.elapsedMs, 950u);
    }
  }
}

// Under Wine the short body reads as a clean end of file: only the count against
// Content-Length shows the loss.
TEST_F(HttpServerTest, DropPrefixAnnouncesTheWholeFileButSendsHalf) {
  const HttpAnswer answer = Http("GET", server_.Port(), "drop/big.txt");
  EXPECT_EQ(200u, answer.status);
  EXPECT_EQ(big_.size(), answer.contentLength);
  EXPECT_EQ(big_.substr(0, big_.size() / 2), answer.body);
  EXPECT_EQ(0u, answer.readError);
}

TEST_F(HttpServerTest, EmptyPostAnswers200ForAFileAnd404Otherwise) {
  EXPECT_EQ(200u, Http("POST", server_.Port(), "list.txt").status);
  EXPECT_EQ(404u, Http("POST", server_.Port(), "none.txt").status);
  EXPECT_EQ((std::vector<std::string>{"POST /list.txt", "POST /none.txt"}), server_.LoggedLines());
}

TEST_F(HttpServerTest, ClearLogKeepsOnlyLaterRequests) {
  Http("GET", server_.Port(), "list.txt");
  server_.ClearLog();
  Http("GET", server_.Port(), "big.txt");
  EXPECT_EQ(std::vector<std::string>{"GET /big.txt"}, server_.LoggedLines());
}

TEST_F(HttpServerTest, AfterStopTheSameUrlIsRefused) {
  const std::string url = server_.Url("list.txt");
  server_.Stop();
  EXPECT_FALSE(server_.IsRunning());
  EXPECT_EQ(url, server_.Url("list.txt"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT),
            Http("GET", server_.Port(), "list.txt").sendError);
}

}  // namespace
