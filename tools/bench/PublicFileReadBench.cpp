// Times one Read of a 10,000-line public category file from each kind of source: a path,
// a loopback HTTP server, a loopback FTP server and the fresh local copy (median of 5).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "LocalCopyTime.h"
#include "PublicCategoryFile.h"
#include "PublicFileFormat.h"
#include "Settings.h"
#include "support/LoopbackServers.h"
#include "support/SettingsFolderSandbox.h"

namespace {

constexpr int kLines = 10000;

double MedianMilliseconds(const std::function<bool()>& read) {
  std::vector<double> times;
  for (int i = 0; i < 5; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (!read()) return -1;
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

bool ReadOnce(const CPublicFileLocation& location, bool useLocalCopy) {
  CPublicCategoryFile file(location);
  return file.Read(useLocalCopy) && file.GetCategories().size() == static_cast<size_t>(kLines);
}

void Report(const char* source, double ms) {
  if (ms < 0)
    std::printf("read source=%s lines=%d failed\n", source, kLines);
  else
    std::printf("read source=%s lines=%d ms=%.1f\n", source, kLines, ms);
}

}  // namespace

int main() {
  SettingsFolderSandbox settingsFolder;
  CSettings settings;
  settings.SetInterval(600);
  settings.Save();

  ScratchFolder scratch;
  CCategoryItems items;
  for (int i = 0; i < kLines; ++i) items.push_back({"Kategoria publiczna " + std::to_string(i), i % 26});
  scratch.WriteFile("kategorie.txt", WriteLines(items, LineEnd::CrLf));

  CPublicFileLocation path;
  path.Path = scratch.WindowsPath("kategorie.txt");
  Report("path", MedianMilliseconds([&] { return ReadOnce(path, false); }));

  LoopbackHttpServer http(scratch);
  CPublicFileLocation web;
  web.Path = http.Url("kategorie.txt");
  web.IsInternetFile = true;
  Report("http", MedianMilliseconds([&] { return ReadOnce(web, false); }));

  LoopbackFtpServer ftp(scratch);
  CPublicFileLocation ftpLocation;
  ftpLocation.Path = ftp.Url("kategorie.txt");
  ftpLocation.IsInternetFile = true;
  Report("ftp", MedianMilliseconds([&] { return ReadOnce(ftpLocation, false); }));

  ReadOnce(path, false);  // refreshes the copy, so the next reads come from it
  Report("localcopy", MedianMilliseconds([&] { return ReadOnce(path, true); }));
  CLocalCopyTime::Instance().Reset();
  return 0;
}
