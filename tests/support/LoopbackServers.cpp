#include "LoopbackServers.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <stdexcept>

#ifndef TAGSY_SOURCE_DIR
#error "TAGSY_SOURCE_DIR must name the source tree: the server scripts live there"
#endif

namespace {

// The Debian interpreter: it has pyftpdlib; the first python3 on PATH may not.
const char kPython[] = "/usr/bin/python3";
const char kUnixTemp[] = "/tmp";
const char kWindowsTemp[] = "Z:\\tmp";
const DWORD kStartTimeoutMs = 10000;
const DWORD kStopTimeoutMs = 5000;
const DWORD kPollMs = 20;

std::string LastErrorText(const char* call) {
  return std::string(call) + " failed with error " + std::to_string(GetLastError());
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The servers write these files while we read them, so every kind of sharing is allowed.
bool ReadWhole(const std::string& path, std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes.clear();
  char buffer[4096];
  DWORD read = 0;
  bool ok = true;
  while ((ok = ReadFile(file, buffer, sizeof buffer, &read, nullptr)) && read > 0)
    bytes.append(buffer, read);
  CloseHandle(file);
  return ok;
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }
  RemoveDirectoryA(folder.c_str());
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::vector<std::string> CompleteLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;  // a line still being written has no '\n' yet and is left for later
}

}  // namespace

// Starts a Linux program. For one, Wine's CreateProcess returns TRUE but fills
// PROCESS_INFORMATION from an uninitialised structure: its "handles" may equal live
// handles of this process, so closing them would close someone else's (a socket, say).
// They are left alone, and the program is followed through files instead.
bool StartUnixProgram(std::string commandLine) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION ignored = {};
  return CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &ignored) != FALSE;
}

ScratchFolder::ScratchFolder() {
  static std::atomic<unsigned> next{0};
  // Process ids repeat across Wine sessions, and a crashed run may leave folders
  // behind: CreateDirectory failing on an existing name is what makes ours unique.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string name =
        "tagsy-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++next);
    if (CreateDirectoryA((std::string(kWindowsTemp) + "\\" + name).c_str(), nullptr)) {
      windowsPath_ = std::string(kWindowsTemp) + "\\" + name;
      unixPath_ = std::string(kUnixTemp) + "/" + name;
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS)
      throw std::runtime_error(LastErrorText("CreateDirectory under Z:\\tmp"));
  }
  throw std::runtime_error("no free scratch folder name under Z:\\tmp");
}

ScratchFolder::~ScratchFolder() { RemoveTree(windowsPath_); }

void ScratchFolder::WriteFile(const std::string& name, const std::string& bytes) const {
  const std::string path = WindowsPath(name);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    throw std::runtime_error(LastErrorText("CreateFile") + ": " + path);
  DWORD written = 0;
  const bool ok =
      ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size();
  CloseHandle(file);
  if (!ok) throw std::runtime_error("could not write " + path);
}

std::string ScratchFolder::ReadFile(const std::string& name) const {
  std::string bytes;
  if (!ReadWhole(WindowsPath(name), bytes))
    throw std::runtime_error("could not read " + WindowsPath(name));
  return bytes;
}

bool ScratchFolder::Contains(const std::string& name) const { return Exists(WindowsPath(name)); }

LoopbackServer::LoopbackServer(const char* script, const char* kind, const std::string& unixRoot)
    : script_(script), kind_(kind) {
  Start(unixRoot);
}

LoopbackServer::~LoopbackServer() { Stop(); }

std::string LoopbackServer::ReadControlFile(const char* name) const {
  std::string text;
  ReadWhole(control_.WindowsPath(name), text);
  return text;
}

void LoopbackServer::Start(const std::string& unixRoot) {
  control_.WriteFile("keep-alive", "");
  const std::string command =
      Quoted(kPython) + " " + Quoted(std::string(TAGSY_SOURCE_DIR) + "/tests/servers/" + script_) +
      " --root " + Quoted(unixRoot) + " --port-file " + Quoted(control_.UnixPath("port")) +
      " --keep-alive " + Quoted(control_.UnixPath("keep-alive")) + " --stopped-file " +
      Quoted(control_.UnixPath("stopped")) + " --log " + Quoted(control_.UnixPath("commands.log")) +
      " --errors " + Quoted(control_.UnixPath("errors.txt"));
  if (!StartUnixProgram(command))
    throw std::runtime_error(std::string(kind_) + " server: " + LastErrorText("CreateProcess") +
                             " for " + command);

  for (DWORD waited = 0;; waited += kPollMs) {
    std::string report;
    if (ReadWhole(control_.WindowsPath("port"), report)) {
      std::istringstream(report) >> port_ >> unixPid_;
      if (port_ <= 0)
        throw std::runtime_error(std::string(kind_) + " server reported no port: " + report);
      running_ = true;
      return;
    }
    // The server marks itself stopped even when it fails to start: no need to wait on.
    const bool died = Exists(control_.WindowsPath("stopped"));
    if (died || waited >= kStartTimeoutMs) {
      throw std::runtime_error(
          std::string(kind_) + " server " +
          (died ? "stopped before it listened" : "did not report its port within 10 s") + " (" +
          command + "); its errors:\n" + ReadControlFile("errors.txt"));
    }
    Sleep(kPollMs);
  }
}

void LoopbackServer::Stop() {
  if (!running_) return;
  running_ = false;
  DeleteFileA(control_.WindowsPath("keep-alive").c_str());
  for (DWORD waited = 0; waited < kStopTimeoutMs; waited += kPollMs) {
    if (Exists(control_.WindowsPath("stopped"))) return;
    Sleep(kPollMs);
  }
  StartUnixProgram("/bin/kill -9 " + std::to_string(unixPid_));
  ADD_FAILURE() << kind_ << " server (Unix pid " << unixPid_
                << ") did not stop within 5 s and was killed; its errors:\n"
                << ReadControlFile("errors.txt");
}

std::vector<std::string> LoopbackServer::LoggedLines() const {
  const std::string log = ReadControlFile("commands.log");
  return CompleteLines(log.size() > logStart_ ? log.substr(logStart_) : std::string());
}

void LoopbackServer::ClearLog() {
  // A line still being written belongs to what comes after the clear.
  const std::string log = ReadControlFile("commands.log");
  const size_t lastNewline = log.rfind('\n');
  logStart_ = lastNewline == std::string::npos ? 0 : lastNewline + 1;
}

LoopbackFtpServer::LoopbackFtpServer(const ScratchFolder& root)
    : LoopbackFtpServer(root.UnixPath()) {}

LoopbackFtpServer::LoopbackFtpServer(const std::string& unixRoot)
    : LoopbackServer("ftp_server.py", "FTP", unixRoot) {}

std::string LoopbackFtpServer::Url(const std::string& file) const {
  return "ftp://127.0.0.1:" + std::to_string(Port()) + "/" + file;
}

std::string LoopbackFtpServer::Url(const std::string& file, const std::string& user,
                                   const std::string& password) const {
  return "ftp://" + user + ":" + password + "@127.0.0.1:" + std::to_string(Port()) + "/" + file;
}

std::vector<std::string> LoopbackFtpServer::LoggedCommands() const {
  std::vector<std::string> commands;
  for (const std::string& line : LoggedLines()) {
    std::istringstream words(line);
    std::string session, command;
    if (words >> session >> command) commands.push_back(command);
  }
  return commands;
}

LoopbackHttpServer::LoopbackHttpServer(const ScratchFolder& root)
    : LoopbackHttpServer(root.UnixPath()) {}

LoopbackHttpServer::LoopbackHttpServer(const std::string& unixRoot)
    : LoopbackServer("http_server.py", "HTTP", unixRoot) {}

std::string LoopbackHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(Port()) + "/" + path;
}

namespace {

bool OpensForWriting(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// chattr runs on its own; its effect shows when the file stops (or starts) opening for
// writing.
bool WaitUntilWritable(const std::string& path, bool writable) {
  for (int i = 0; i < 200; ++i) {
    if (OpensForWriting(path) == writable) return true;
    Sleep(25);
  }
  return false;
}

// Wine's own export that maps a Windows path to the Unix one; "" when unknown.
std::string UnixPathOf(const std::string& windowsPath) {
  using Mapper = char* (*)(const wchar_t*);
  const auto map = reinterpret_cast<Mapper>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name"));
  if (map == nullptr) return {};
  wchar_t wide[MAX_PATH] = {};
  MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH);
  char* unix = map(wide);
  if (unix == nullptr) return {};
  std::string result(unix);
  HeapFree(GetProcessHeap(), 0, unix);
  return result;
}

}  // namespace

ReadOnlyFile::ReadOnlyFile(const ScratchFolder& folder, const std::string& name)
    : unixPath_(folder.UnixPath(name)), windowsPath_(folder.WindowsPath(name)) {
  applied_ = StartUnixProgram("/usr/bin/chattr +i " + Quoted(unixPath_)) &&
             WaitUntilWritable(windowsPath_, false);
}

ReadOnlyFile::ReadOnlyFile(const std::string& windowsPath)
    : unixPath_(UnixPathOf(windowsPath)), windowsPath_(windowsPath) {
  applied_ = !unixPath_.empty() &&
             StartUnixProgram("/usr/bin/chattr +i " + Quoted(unixPath_)) &&
             WaitUntilWritable(windowsPath_, false);
}

ReadOnlyFile::~ReadOnlyFile() {
  if (!unixPath_.empty() && StartUnixProgram("/usr/bin/chattr -i " + Quoted(unixPath_)) &&
      !WaitUntilWritable(windowsPath_, true))
    ADD_FAILURE() << "could not make " << windowsPath_ << " writable again";
}
