#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "VersionInfo.h"
#include "fixtures/VersionProbes.h"
#include "qv/Handles.h"
#include "support/RegistrySandbox.h"
#include "support/WineVersion.h"

namespace {

// ---- CFileVersionInfo ----------------------------------------------------------------

struct FileCase {
  const char* probe;
  WORD parts[4];  // parts 3, 2, 1, 0
  const char* text1;
  const char* text2;
  const char* text3;
  const char* text4;
  const char* productVersion;
};

const FileCase kFileCases[] = {
    {"version_probe_12", {12, 0, 6423, 1000}, "12", "12.0", "12.0.6423", "12.0.6423.1000",
     "12.0.6423.1000 probe"},
    {"version_probe_3", {3, 2, 0, 15}, "3", "3.2", "3.2.0", "3.2.0.15", "3.2.0.15 probe"},
    {"version_probe_16", {16, 65535, 40000, 7}, "16", "16.65535", "16.65535.40000",
     "16.65535.40000.7", "16.65535.40000.7 probe"},
    {"version_probe_none", {0, 0, 0, 0}, "0", "0.0", "0.0.0", "0.0.0.0", ""},
};

TEST(FileVersionInfo, ReadsPartsAndTextOfEachProbe) {
  for (const FileCase& c : kFileCases) {
    SCOPED_TRACE(c.probe);
    const CFileVersionInfo info(ProbePath(c.probe));
    EXPECT_EQ(c.parts[0], info.Part(3));
    EXPECT_EQ(c.parts[1], info.Part(2));
    EXPECT_EQ(c.parts[2], info.Part(1));
    EXPECT_EQ(c.parts[3], info.Part(0));
    EXPECT_EQ(0, info.Part(4));
    EXPECT_EQ(0, info.Part(-1));
    EXPECT_EQ(c.text1, info.VersionText(1));
    EXPECT_EQ(c.text2, info.VersionText(2));
    EXPECT_EQ(c.text3, info.VersionText(3));
    EXPECT_EQ(c.text4, info.VersionText(4));
    EXPECT_EQ(c.text1, info.VersionText(0)) << "the major number is always written";
    EXPECT_EQ(c.text4, info.VersionText(7)) << "there are only four parts";
    EXPECT_EQ(c.productVersion, info.ProductVersion());
  }
}

TEST(FileVersionInfo, KeepsTheRawFixedBlock) {
  const CFileVersionInfo info(ProbePath("version_probe_3"));
  EXPECT_EQ(VS_FFI_SIGNATURE, info.FixedInfo().dwSignature);
  EXPECT_EQ(MAKELONG(2, 3), info.FixedInfo().dwFileVersionMS);
  EXPECT_EQ(MAKELONG(15, 0), info.FixedInfo().dwFileVersionLS);
  EXPECT_EQ(static_cast<DWORD>(VFT_APP), info.FixedInfo().dwFileType);

  const CFileVersionInfo none(ProbePath("version_probe_none"));
  const VS_FIXEDFILEINFO zero = {};
  EXPECT_EQ(0, std::memcmp(&zero, &none.FixedInfo(), sizeof(zero)));
}

TEST(FileVersionInfo, MissingFileAndResetGiveZeroes) {
  const CFileVersionInfo missing(ProbePath("no_such_probe"));
  EXPECT_EQ("0.0.0.0", missing.VersionText(4));

  CFileVersionInfo info(ProbePath("version_probe_12"));
  ASSERT_EQ(12, info.Part(3));
  info.Reset();
  EXPECT_EQ("0.0.0.0", info.VersionText(4));
  EXPECT_EQ("", info.ProductVersion());
  EXPECT_EQ(0u, info.FixedInfo().dwSignature);
}

TEST(FileVersionInfo, ReadsTheFileAModuleWasLoadedFrom) {
  // Mapped as an image without running it: no imports bound, no entry point called.
  const std::string path = ProbePath("version_probe_12");
  Qv::UniqueModule module(::LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
  ASSERT_TRUE(module) << ::GetLastError();
  EXPECT_EQ("12.0.6423.1000", CFileVersionInfo(module.Get()).VersionText(4));
}

TEST(FileVersionInfo, NullModuleMeansThisProcessExecutable) {
  char self[MAX_PATH] = {};
  ASSERT_NE(0u, ::GetModuleFileNameA(nullptr, self, MAX_PATH));
  const CFileVersionInfo byName(self);
  const CFileVersionInfo byHandle(static_cast<HMODULE>(nullptr));
  EXPECT_EQ(0, std::memcmp(&byName.FixedInfo(), &byHandle.FixedInfo(), sizeof(VS_FIXEDFILEINFO)));
  // The probes cover a null handle whose executable does have a version (below).
}

// ---- OutlookMajorVersion, in fresh processes ----------------------------------------

struct MajorCase {
  const char* probe;
  const char* major;
  const char* ownVersion;
};

TEST(OutlookMajorVersion, IsTheExecutablesMajorNumberButAtLeastEight) {
  const MajorCase cases[] = {
      {"version_probe_12", "12", "12.0.6423.1000"},
      {"version_probe_16", "16", "16.65535.40000.7"},
      {"version_probe_3", "8", "3.2.0.15"},  // 3 is older than any Outlook we know
      {"version_probe_none", "8", "0.0.0.0"},
  };
  for (const MajorCase& c : cases) {
    SCOPED_TRACE(c.probe);
    ProbeReport report = RunProbe(ProbePath(c.probe));
    EXPECT_EQ(c.major, report["OutlookMajorVersion"]);
    EXPECT_EQ(c.ownVersion, report["OwnFileVersion"]);
    const std::string m = c.major;
    EXPECT_EQ(m + "," + m + "," + m + "," + m, report["ThreadedOutlookMajorVersion"])
        << "threads racing to the first call all see the one value";
  }
}

TEST(OutlookMajorVersion, InThisProcessFollowsThisExecutable) {
  const WORD own = CFileVersionInfo(static_cast<HMODULE>(nullptr)).Part(3);
  EXPECT_EQ(std::max<WORD>(own, 8), OutlookMajorVersion());
}

// ---- CVersionNumber -------------------------------------------------------------------

struct NumberCase {
  const char* text;
  const char* separators;
  std::vector<int> numbers;
};

TEST(VersionNumber, SplitsAtSeparatorsAndConvertsEachToken) {
  const NumberCase cases[] = {
      {"14.0.4760.1000", ".", {14, 0, 4760, 1000}},
      {"12,0", ".,", {12, 0}},
      {"9.0.0.8217,", ".,", {9, 0, 0, 8217}},
      {"", ".,", {}},
      {".,.,", ".,", {}},
      {"..3..x.5", ".", {3, 0, 5}},
      {"abc", ".", {0}},
      {"16.0.4266.1001", ",", {16}},  // strtol stops at the first non-digit
      {" 11 . -2", ".", {11, -2}},
      {"15", "", {15}},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.text + "\" at \"" + c.separators + "\"");
    const CVersionNumber version(c.text, c.separators);
    EXPECT_EQ(c.numbers, version.Numbers());
    ASSERT_EQ(c.numbers.size(), version.Count());
    for (size_t i = 0; i < c.numbers.size(); ++i) EXPECT_EQ(c.numbers[i], version[i]);
    EXPECT_EQ(0, version[version.Count()]) << "a number the text did not give reads as 0";
  }
}

// ---- QvOsVersionInfo ------------------------------------------------------------------

OSVERSIONINFOEXA Record(DWORD major, DWORD minor, BYTE productType, DWORD build = 0) {
  OSVERSIONINFOEXA info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  info.dwMajorVersion = major;
  info.dwMinorVersion = minor;
  info.dwBuildNumber = build;
  info.dwPlatformId = VER_PLATFORM_WIN32_NT;
  info.wProductType = productType;
  return info;
}

struct OsCase {
  const char* name;
  OSVERSIONINFOEXA info;
  bool windows7;
};

TEST(OsVersionInfo, IsWindows7OnlyForTheWorkstationOfVersion61) {
  const OsCase cases[] = {
      {"XP", Record(5, 1, VER_NT_WORKSTATION, 2600), false},
      {"Vista", Record(6, 0, VER_NT_WORKSTATION, 6002), false},
      {"7", Record(6, 1, VER_NT_WORKSTATION, 7600), true},
      {"7 SP1", Record(6, 1, VER_NT_WORKSTATION, 7601), true},
      {"Server 2008 R2", Record(6, 1, VER_NT_SERVER, 7601), false},
      {"2008 R2 domain controller", Record(6, 1, VER_NT_DOMAIN_CONTROLLER, 7601), false},
      {"8", Record(6, 2, VER_NT_WORKSTATION, 9200), false},
      {"10", Record(10, 0, VER_NT_WORKSTATION, 19045), false},
      {"7.1, not a real system", Record(7, 1, VER_NT_WORKSTATION), false},
  };
  for (const OsCase& c : cases)
    EXPECT_EQ(c.windows7, QvOsVersionInfo::IsWindows7(c.info)) << c.name;
}

TEST(OsVersionInfo, HoldsWhatGetVersionExReports) {
  const QvOsVersionInfo os;
  OSVERSIONINFOEXA direct = {};
  direct.dwOSVersionInfoSize = sizeof(direct);
  ASSERT_TRUE(::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&direct)));
  EXPECT_EQ(156u, os.Info().dwOSVersionInfoSize);
  EXPECT_EQ(direct.dwMajorVersion, os.Info().dwMajorVersion);
  EXPECT_EQ(direct.dwMinorVersion, os.Info().dwMinorVersion);
  EXPECT_EQ(direct.dwBuildNumber, os.Info().dwBuildNumber);
  EXPECT_EQ(direct.wProductType, os.Info().wProductType);
  EXPECT_NE(0, os.Info().wProductType) << "the extended fields were filled";
  EXPECT_EQ(QvOsVersionInfo::IsWindows7(direct), os.IsWindows7());
}


struct WineCase {
  const char* version;    // Wine's name for the system
  const char* osVersion;  // what GetVersionExA then says
};

TEST(OsVersionInfo, AnswersForTheSystemWineIsToldToBe) {
  if (!RunningUnderWine()) GTEST_SKIP() << "only Wine sets the Windows version per executable";
  // Wine 8.0 swaps the product types of its "win7" and "win2008r2" (the first reports a
  // server, the second a workstation), so the answer is checked against the record the
  // probe saw, and the run must have met both kinds of 6.1.
  const WineCase cases[] = {
      {"win7", "6.1"},
      {"win2008r2", "6.1"},
      {"vista", "6.0"},
      {"win8", "6.2"},
      {"win10", "6.2"},  // an executable without a compatibility manifest is told 6.2
  };
  bool sawWorkstation61 = false, sawServer61 = false;
  for (const WineCase& c : cases) {
    SCOPED_TRACE(c.version);
    const WineVersionForExecutable version("version_probe_none.exe", c.version);
    ProbeReport report = RunProbe(ProbePath("version_probe_none"));
    ASSERT_EQ(c.osVersion, report["OsVersion"]);
    const bool workstation = report["ProductType"] == "1";
    const bool is61 = report["OsVersion"] == "6.1";
    EXPECT_EQ(is61 && workstation ? "1" : "0", report["IsWindows7"])
        << "product type " << report["ProductType"];
    if (is61) (workstation ? sawWorkstation61 : sawServer61) = true;
  }
  EXPECT_TRUE(sawWorkstation61) << "no case ran as Windows 7";
  EXPECT_TRUE(sawServer61) << "no case ran as Server 2008 R2";
}

// ---- OutlookExecutableInfo, with HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE sandboxed ----

constexpr char kOutlookClsid[] = "{0006F03A-0000-0000-C000-000000000046}";
constexpr char kOtherClsid[] = "{7A5C3E10-2B4D-4C6E-9F81-0D2E3A4B5C6D}";

// What a LocalServer32 key holds in one case.
enum class Server {
  Absent, EmptyValue, Probe12, Probe3, ProbeNone, Probe12WithArguments,
  Longest,   // 1023 characters: fills the 1024-byte buffer with its terminator
  TooLong,   // 1024 characters: does not fit, so nothing is read
};

std::string ServerText(Server server) {
  switch (server) {
    case Server::Probe12: return ProbePath("version_probe_12");
    case Server::Probe3: return ProbePath("version_probe_3");
    case Server::ProbeNone: return ProbePath("version_probe_none");
    case Server::Probe12WithArguments:
      return "\"" + ProbePath("version_probe_12") + "\" /automation";
    case Server::Longest: return "C:\\" + std::string(1020, 'o');
    case Server::TooLong: return "C:\\" + std::string(1021, 'o');
    default: return "";
  }
}

class OutlookExecutable : public ::testing::Test {
 protected:
  // nullptr: no Outlook.Application key at all.
  void RegisterOutlookApplication(const char* clsid) {
    if (clsid == nullptr) return;
    WriteRegistryString(classes_.Scratch(), "Outlook.Application\\CLSID", nullptr, clsid);
  }
  void RegisterServer(const char* clsid, Server server) {
    if (server == Server::Absent) return;
    WriteRegistryString(machine_.Scratch(),
                        std::string("Software\\Classes\\CLSID\\") + clsid + "\\LocalServer32",
                        nullptr, ServerText(server));
  }

  RegistrySandbox classes_{HKEY_CLASSES_ROOT};
  RegistrySandbox machine_{HKEY_LOCAL_MACHINE};
};

struct ExecutableCase {
  const char* name;
  const char* outlookApplicationClsid;
  Server otherServer;    // LocalServer32 of kOtherClsid
  Server outlookServer;  // LocalServer32 of Outlook's own CLSID
  Server expectedPath;
  WORD fileMajor;
  const char* fileVersion;
};

TEST_F(OutlookExecutable, FollowsOutlookApplicationToItsLocalServer) {
  const ExecutableCase cases[] = {
      {"registered CLSID wins", kOtherClsid, Server::Probe12, Server::Probe3, Server::Probe12, 12,
       "12.0.6423.1000"},
      {"no Outlook.Application key", nullptr, Server::Probe12, Server::Probe3, Server::Probe3, 3,
       "3.2.0.15"},
      {"empty CLSID value", "", Server::Probe12, Server::Probe3, Server::Probe3, 3, "3.2.0.15"},
      {"registered CLSID has no server", kOtherClsid, Server::Absent, Server::Probe3,
       Server::Absent, 0, ""},
      {"server value empty", nullptr, Server::Absent, Server::EmptyValue, Server::Absent, 0, ""},
      {"nothing registered", nullptr, Server::Absent, Server::Absent, Server::Absent, 0, ""},
      {"quotes and arguments kept", nullptr, Server::Absent, Server::Probe12WithArguments,
       Server::Probe12WithArguments, 0, "0.0.0.0"},
      {"no version resource, no minimum", nullptr, Server::Absent, Server::ProbeNone,
       Server::ProbeNone, 0, "0.0.0.0"},
      {"longest path read", nullptr, Server::Absent, Server::Longest, Server::Longest, 0,
       "0.0.0.0"},
      {"longer path ignored", nullptr, Server::Absent, Server::TooLong, Server::Absent, 0, ""},
  };
  for (const ExecutableCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteTreeA(classes_.Scratch(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteTreeA(machine_.Scratch(), nullptr));
    RegisterOutlookApplication(c.outlookApplicationClsid);
    RegisterServer(kOtherClsid, c.otherServer);
    RegisterServer(kOutlookClsid, c.outlookServer);

    const OutlookExecutableInfo info = BuildOutlookExecutableInfo();
    EXPECT_EQ(ServerText(c.expectedPath), info.Path);
    EXPECT_EQ(c.fileMajor, info.FileMajor);
    EXPECT_EQ(c.fileVersion, info.FileVersion);
  }
}

TEST_F(OutlookExecutable, ProcessWideRecordIsBuiltOnce) {
  RegisterServer(kOutlookClsid, Server::Probe12);
  const OutlookExecutableInfo& first = GetOutlookExecutableInfo();
  EXPECT_EQ(ServerText(Server::Probe12), first.Path);

  RegisterServer(kOutlookClsid, Server::Probe3);
  ASSERT_EQ(ServerText(Server::Probe3), BuildOutlookExecutableInfo().Path);
  EXPECT_EQ(&first, &GetOutlookExecutableInfo());
  EXPECT_EQ(ServerText(Server::Probe12), GetOutlookExecutableInfo().Path);
  EXPECT_EQ(12, GetOutlookExecutableInfo().FileMajor);
}

bool KeyExists(HKEY root, const std::string& path) {
  Qv::UniqueHKey key;
  return ::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

TEST(RegistrySandbox, HidesTheRealKeyAndRestoresIt) {
  const std::string marker = "Software\\TagsyTest\\SandboxMarker";
  WriteRegistryString(HKEY_CURRENT_USER, marker, nullptr, "real");
  std::string scratchPath;
  {
    const RegistrySandbox sandbox(HKEY_CURRENT_USER);
    scratchPath = sandbox.ScratchPath();
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, marker));
    WriteRegistryString(HKEY_CURRENT_USER, "Software\\Inside", nullptr, "sandboxed");
    EXPECT_TRUE(KeyExists(sandbox.Scratch(), "Software\\Inside"));
  }
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, marker));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Inside"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, scratchPath)) << "the scratch tree is deleted";
  ::RegDeleteTreeA(HKEY_CURRENT_USER, marker.c_str());
}

}  // namespace
