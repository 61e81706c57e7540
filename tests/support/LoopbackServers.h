#pragma once
// Real FTP and HTTP servers on 127.0.0.1 for tests that drive WinINet, and the scratch
// folders they serve. The servers are the Python programs in tests/servers, started
// from inside the Wine test process. Wine gives no usable handle to a Linux child, so
// the fixture and the server talk through files in a private control folder: the
// server reports its port there, serves while a keep-alive file exists and marks when
// it has stopped. A server left behind by a crashed test exits after 15 minutes.
//
// Constructors throw std::runtime_error when a server does not start; GoogleTest
// reports that as a failure of the test, with the server's own error output.
#include <string>
#include <vector>

// Starts a Linux program from the Wine test process (Wine runs it natively). There is no
// usable handle to it: follow it through the files it writes.
bool StartUnixProgram(std::string commandLine);

// A new, empty folder under /tmp, unique to this process and object; removed with
// everything in it at the end. Wine maps drive Z: to the Unix root, so the same folder
// is Z:\tmp\... to the code under test and /tmp/... to the servers.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& WindowsPath() const { return windowsPath_; }
  const std::string& UnixPath() const { return unixPath_; }
  std::string WindowsPath(const std::string& name) const { return windowsPath_ + "\\" + name; }
  std::string UnixPath(const std::string& name) const { return unixPath_ + "/" + name; }

  // Whole-file helpers for setting up and checking a test; they throw on failure.
  void WriteFile(const std::string& name, const std::string& bytes) const;
  std::string ReadFile(const std::string& name) const;
  bool Contains(const std::string& name) const;

 private:
  std::string windowsPath_;
  std::string unixPath_;
};

// One server process. Port() and the URLs stay valid after Stop(), so a test can point
// the code at a port that nothing listens on any more.
class LoopbackServer {
 public:
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;
  virtual ~LoopbackServer();

  int Port() const { return port_; }

  // What the server received since it started or since ClearLog(), one entry a line.
  // FTP: "<session> <COMMAND> <argument>" (PASS shows "***"), and "<session> CONNECT
  // 127.0.0.1:<port>" when a client connects. HTTP: "<METHOD> <path>".
  // A line is written before the server answers it.
  std::vector<std::string> LoggedLines() const;
  void ClearLog();

  // Closes the port and every session; waits until the server says it has stopped.
  void Stop();
  bool IsRunning() const { return running_; }

 protected:
  LoopbackServer(const char* script, const char* kind, const std::string& unixRoot);

 private:
  void Start(const std::string& unixRoot);
  std::string ReadControlFile(const char* name) const;

  const char* script_;
  const char* kind_;
  ScratchFolder control_;
  int port_ = 0;
  unsigned long unixPid_ = 0;
  unsigned long long logStart_ = 0;
  bool running_ = false;
};

// Users: anonymous and "reader"/"secret" may list and read, "writer"/"secret" may
// also write, rename, delete and make folders; any other password is refused (530).
// MLST and MLSD give the "perm" fact. A file whose name contains "drop" is sent
// half, then the data connection is closed and the control connection answers 426.
// Clients must use active mode (no INTERNET_FLAG_PASSIVE).
class LoopbackFtpServer : public LoopbackServer {
 public:
  explicit LoopbackFtpServer(const ScratchFolder& root);
  explicit LoopbackFtpServer(const std::string& unixRoot);

  // ftp://127.0.0.1:<port>/<file> and ftp://<user>:<password>@127.0.0.1:<port>/<file>
  std::string Url(const std::string& file) const;
  std::string Url(const std::string& file, const std::string& user,
                  const std::string& password) const;

  // Just the command words of LoggedLines() in order ("USER", "MLST", "STOR", ...),
  // connections included as "CONNECT".
  std::vector<std::string> LoggedCommands() const;
};

// HTTP/1.1 over the files of the root folder. GET and HEAD give a file with its
// Content-Length; POST to an existing file answers 200 with a short body; a missing
// file is 404. A path prefix asks for a failure:
//   /status/<code>/<file>  answers <code> with a small HTML body
//   /slow/<ms>/<rest>      waits <ms> milliseconds, then answers as for /<rest>
//   /drop/<file>           announces the whole file, sends half, then closes
class LoopbackHttpServer : public LoopbackServer {
 public:
  explicit LoopbackHttpServer(const ScratchFolder& root);
  explicit LoopbackHttpServer(const std::string& unixRoot);

  // http://127.0.0.1:<port>/<path>, the path taken as given (prefixes included).
  std::string Url(const std::string& path) const;
};

// Makes a file of the folder unchangeable for the test's life, even for root (the tests
// run as root, and Wine's read-only attribute does not stop root): the Linux immutable
// flag, set and cleared with chattr. Skip the test when `Applied()` is false.
class ReadOnlyFile {
 public:
  ReadOnlyFile(const ScratchFolder& folder, const std::string& name);
  // Any file of the Wine prefix or the Unix file system, by its Windows path.
  explicit ReadOnlyFile(const std::string& windowsPath);
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  bool Applied() const { return applied_; }

 private:
  std::string unixPath_;
  std::string windowsPath_;
  bool applied_ = false;
};
