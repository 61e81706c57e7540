// The outlook-sim program with add-ins (--load-addins) and watching the master list
// (--watch): its report, its exit code, and the list as it changes while it runs.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "FixtureAddins.h"
#include "qv/Handles.h"
#include "qv/Text.h"
#include "support/RegistrySandbox.h"
#include "support/TextLines.h"
#include "SimPrograms.h"

namespace {

std::string ReadBytes(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// One outlook-sim process, its standard output and error in a file of its own.
class SimProcess {
 public:
  SimProcess(int major, const std::wstring& arguments) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    output_ = std::wstring(temp) + L"outlook-sim-out-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
              std::to_wstring(++counter_) + L".txt";
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    Qv::UniqueFile out(::CreateFileW(output_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) throw std::runtime_error("cannot create the output file");
    const std::wstring path = SimPath(major);
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    STARTUPINFOW startup = {sizeof(startup)};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out.Get();
    startup.hStdError = out.Get();
    startup.hStdInput = nullptr;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &process))
      throw std::runtime_error("cannot start outlook-sim, error " + std::to_string(::GetLastError()));
    process_.Reset(process.hProcess);
    ::CloseHandle(process.hThread);
  }
  ~SimProcess() {
    if (::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) ::TerminateProcess(process_.Get(), 1);
    ::DeleteFileW(output_.c_str());
  }

  DWORD Wait() {
    if (::WaitForSingleObject(process_.Get(), 60000) != WAIT_OBJECT_0) {
      ::TerminateProcess(process_.Get(), 1);
      throw std::runtime_error("outlook-sim did not end");
    }
    DWORD code = 1;
    ::GetExitCodeProcess(process_.Get(), &code);
    return code;
  }
  std::string Output() const { return ReadBytes(output_); }
  // Waits until the output holds `text`; false after 20 s or when the process ended first.
  bool WaitForOutput(const std::string& text) const {
    for (int i = 0; i < 200; ++i) {
      if (Output().find(text) != std::string::npos) return true;
      if (::WaitForSingleObject(process_.Get(), 100) == WAIT_OBJECT_0) return Output().find(text) != std::string::npos;
    }
    return false;
  }

 private:
  static inline int counter_ = 0;
  std::wstring output_;
  Qv::UniqueHandle process_;
};

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(ProgramWithAddins, LoadsRunsAndUnloadsAGoodAddinAndSaysSo) {
  FixtureAddins addins;
  const std::wstring a = addins.Add(L"Good", 3);
  const std::string name = "add-in " + Qv::WideToAnsi(a) + ": ";
  SimProcess sim(16, L"--load-addins --addin " + a + L" --run 0");
  EXPECT_EQ(sim.Wait(), 0u) << sim.Output();
  const auto lines = TextLines(sim.Output());
  for (const std::string& expected :
       {name + "connected, startup complete",
        name + "ribbon accepted: 2 tabs, 2 groups, 4 buttons, 2 launchers; onLoad OnRibbonLoad 0x00000000",
        name + "image GetButtonImage for FixtureMail: icon 32x32, 400 painted pixels",
        name + "image GetButtonImage for FixtureCalendar: icon 32x32, 400 painted pixels",
        name + "unloaded", std::string("add-ins: clean")})
    EXPECT_TRUE(Contains(lines, expected)) << expected << "\n" << sim.Output();
  // Shut down as Office does before the program ends: the object goes last.
  const auto calls = addins.Calls();
  EXPECT_EQ(std::vector<std::string>(calls.end() - 3, calls.end()),
            (std::vector<std::string>{"Good.OnBeginShutdown", "Good.OnDisconnection", "Good.destroyed"}));
}

TEST(ProgramWithAddins, ExitsWithAFailureWhenACallFailedOrTheDllStayed) {
  const struct {
    const char* option;
    const char* line;  // after "add-in <ProgID>: " or "failure: <ProgID> "
  } cases[] = {
      {"stay", "still loaded after shutdown"},
      {"connect=fail", "OnConnection 0x80004005"},
      {"xml=namespace", "ribbon rejected"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    FixtureAddins addins;
    const std::wstring a = addins.Add(L"Bad" + std::to_wstring(&c - cases), 3, c.option);
    SimProcess sim(16, L"--load-addins --addin " + a + L" --run 0");
    EXPECT_EQ(sim.Wait(), 3u) << sim.Output();
    const std::string output = sim.Output();
    EXPECT_NE(output.find(c.line), std::string::npos) << output;
    EXPECT_NE(output.find("add-ins: FAILED"), std::string::npos) << output;
  }
}

TEST(ProgramWithAddins, WithoutLoadAddinsNothingIsLoaded) {
  FixtureAddins addins;
  addins.Add(L"Idle", 3);
  SimProcess sim(16, L"--run 0");
  EXPECT_EQ(sim.Wait(), 0u) << sim.Output();
  EXPECT_EQ(sim.Output(), "");
  EXPECT_TRUE(addins.Journal().empty());
}

struct WatchBlock {
  double seconds = -1;
  std::vector<std::string> lines;
};

std::vector<WatchBlock> Blocks(const std::string& text) {
  std::vector<WatchBlock> blocks;
  for (const std::string& line : TextLines(text)) {
    if (line.rfind("--- ", 0) == 0)
      blocks.push_back({std::stod(line.substr(4)), {}});
    else if (!blocks.empty() && !line.empty())
      blocks.back().lines.push_back(line);
  }
  return blocks;
}

// An add-in changes Outlook's list while the program runs: the watch file shows the list
// at start, then as it became.
TEST(ProgramWatch, WritesTheListAtStartAndEachTimeItChanges) {
  FixtureAddins addins;
  const std::wstring a = addins.Add(L"Adds", 3, "category=Nowa");
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring base = std::wstring(temp) + L"outlook-sim-watch-" + std::to_wstring(::GetCurrentProcessId());
  const std::wstring categories = base + L"-in.txt", watch = base + L"-watch.txt";
  std::ofstream(categories.c_str(), std::ios::binary) << Qv::WideToAnsi(L"Klient A;8\r\nŻółć;3\r\n");
  SimProcess sim(16, L"--categories \"" + categories + L"\" --watch \"" + watch + L"\" --load-addins --addin " + a +
                         L" --run 0.5");
  EXPECT_EQ(sim.Wait(), 0u) << sim.Output();
  const auto blocks = Blocks(ReadBytes(watch));
  ::DeleteFileW(categories.c_str());
  ::DeleteFileW(watch.c_str());
  ASSERT_EQ(blocks.size(), 2u) << ReadBytes(watch);
  EXPECT_EQ(blocks[0].lines, (std::vector<std::string>{"Klient A;8", Qv::WideToAnsi(L"Żółć;3")}));
  EXPECT_EQ(blocks[1].lines, (std::vector<std::string>{"Klient A;8", Qv::WideToAnsi(L"Żółć;3"), "Nowa;7"}));
  EXPECT_GE(blocks[0].seconds, 0.0);
  EXPECT_GE(blocks[1].seconds, blocks[0].seconds);
  EXPECT_EQ(addins.CallsOf(a, "AddCategory").at(0).Field("hr"), "0x0");
}

// Before Outlook 12 the list is a registry value; another program changes it while the
// simulation runs, and "-" sends the watch to standard output.
TEST(ProgramWatch, SeesTheRegistryListChangeFromOutsideOnStandardOutput) {
  RegistrySandbox registry(HKEY_CURRENT_USER);
  const std::string key = "Software\\Microsoft\\Office\\11.0\\Outlook\\Categories";
  const std::wstring before = L"A;B", after = L"A;B;Ź";
  auto write = [&](const std::wstring& list) {
    Qv::UniqueHKey categories;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                categories.Receive(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(categories.Get(), L"MasterList", 0, REG_BINARY,
                               reinterpret_cast<const BYTE*>(list.c_str()),
                               static_cast<DWORD>((list.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  };
  write(before);
  SimProcess sim(11, L"--watch - --run 3 --hkcu \"" + Qv::AnsiToWide(registry.ScratchPath()) + L"\"");
  ASSERT_TRUE(sim.WaitForOutput("B;0")) << sim.Output();
  write(after);
  ASSERT_TRUE(sim.WaitForOutput(Qv::WideToAnsi(L"Ź;0"))) << sim.Output();
  EXPECT_EQ(sim.Wait(), 0u);
  const auto blocks = Blocks(sim.Output());
  ASSERT_EQ(blocks.size(), 2u) << sim.Output();
  EXPECT_EQ(blocks[0].lines, (std::vector<std::string>{"A;0", "B;0"}));
  EXPECT_EQ(blocks[1].lines, (std::vector<std::string>{"A;0", "B;0", Qv::WideToAnsi(L"Ź;0")}));
  EXPECT_GT(blocks[1].seconds, blocks[0].seconds);
}

}  // namespace
