// Runs the extension's once-per-user firewall step in a process of its own, so a test can
// choose the Windows version Wine reports to it. Message boxes are recorded, not shown; it
// prints one "Name=value" line per answer, line breaks in texts written as \n.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>
#include <vector>

#include "FirewallController.h"
#include "VersionInfo.h"
#include "addin/MessageBoxRecorder.h"
#include "EscapedText.h"

namespace {

}  // namespace

int main() {
  // As on Outlook's user-interface thread.
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  std::vector<Error::MessageBoxRequest> shown;
  {
    MessageBoxRecorder recorder;
    UnblockOutlookOnce();
    shown = recorder.shown;
  }
  ::CoUninitialize();

  const QvOsVersionInfo os;
  std::printf("OsVersion=%lu.%lu\n", os.Info().dwMajorVersion, os.Info().dwMinorVersion);
  std::printf("ProductType=%u\n", os.Info().wProductType);
  std::printf("IsWindows7=%d\n", os.IsWindows7() ? 1 : 0);
  std::printf("Messages=%u\n", static_cast<unsigned>(shown.size()));
  for (unsigned i = 0; i < shown.size(); ++i) {
    std::printf("Message%u.Text=%s\n", i, Escaped(shown[i].text).c_str());
    std::printf("Message%u.Caption=%s\n", i, Escaped(shown[i].caption).c_str());
    std::printf("Message%u.Style=%u\n", i, shown[i].style);
  }
  return 0;
}
