#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "Settings.h"
#include "ShellWrapper.h"
#include "qv/Handles.h"

namespace {

constexpr UINT kPolishCodePage = 1250;
constexpr UINT kJapaneseCodePage = 932;
const std::vector<std::string> kAllKeys = {
    "DataFilePath", "DataFileUrl", "IsInternetFile", "AuthRequired", "User",
    "Password", "CacheLifeTimeChanged", "Interval", "OutlookUnblocked"};

std::string EnvironmentValue(const char* name) {
  char value[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableA(name, value, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(value, length) : std::string();
}

bool DirectoryExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The prefix's real settings file, found without the code under test. Whatever a test
// leaves there is removed, and the product folder too when the test brought it into being.
class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string appData = EnvironmentValue("APPDATA");
    ASSERT_FALSE(appData.empty()) << "APPDATA is not set";
    folder_ = appData + "\\Velmora Tagsy";
    file_ = folder_ + "\\settings.ini";
    folderExisted_ = DirectoryExists(folder_);
    ::DeleteFileA(file_.c_str());
  }
  void TearDown() override {
    if (file_.empty()) return;
    ::DeleteFileA(file_.c_str());
    if (!folderExisted_) ::RemoveDirectoryA(folder_.c_str());
  }

  void WriteSettingsText(const std::string& text) const {
    ::CreateDirectoryA(folder_.c_str(), nullptr);
    Qv::UniqueFile file(::CreateFileA(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.IsValid()) << file_;
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written,
                            nullptr));
  }
  std::string SettingsText() const {
    std::ifstream in(file_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::string StoredValue(const char* key) const {
    std::vector<char> value(8192, '\0');
    ::GetPrivateProfileStringA("General", key, "", value.data(), 8191, file_.c_str());
    return value.data();
  }
  // The keys of the General section in file order.
  std::vector<std::string> StoredKeys() const {
    std::vector<char> list(8192, '\0');
    ::GetPrivateProfileStringA("General", nullptr, "", list.data(), 8191, file_.c_str());
    std::vector<std::string> keys;
    for (const char* key = list.data(); *key != '\0'; key += keys.back().size() + 1)
      keys.emplace_back(key);
    return keys;
  }
  bool HasKey(const char* key) const {
    const std::vector<std::string> keys = StoredKeys();
    return std::find(keys.begin(), keys.end(), key) != keys.end();
  }

  std::string folder_;
  std::string file_;
  bool folderExisted_ = false;
};

// Every member, in declaration order, for comparing whole objects.
using Members = std::tuple<bool, bool, bool, bool, int, std::string, std::string, std::string,
                           std::string>;

Members MembersOf(const CSettings& s) {
  return {s.GetIsInternetFile(), s.GetAuthRequired(), s.GetCacheLifeTimeChanged(),
          s.GetOutlookUnblocked(), s.GetInterval(), s.GetDataFilePath(), s.GetDataFileUrl(),
          s.GetUser(), s.GetPassword()};
}

const Members kDefaults{false, false, false, false, 0, "", "", "", ""};
const Members kFilled{true, true, true, true, -42, "\\\\srv\\share\\cats.txt",
                      "ftp://127.0.0.1:2121/cats.txt", "jan", "abc"};

// Every member away from its default, each to a value of its own.
void FillEveryMember(CSettings& s) {
  s.SetIsInternetFile(true);
  s.SetAuthRequired(true);
  s.SetCacheLifeTimeChanged(true);
  s.SetOutlookUnblocked(true);
  s.SetInterval(-42);
  s.SetDataFilePath("\\\\srv\\share\\cats.txt");
  s.SetDataFileUrl("ftp://127.0.0.1:2121/cats.txt");
  s.SetUser("jan");
  s.SetPassword("abc");
}

TEST(Settings, NewObjectHoldsTheDefaults) { EXPECT_EQ(kDefaults, MembersOf(CSettings())); }

TEST(Settings, CloneCarriesEveryMemberAndIsAnObjectOfItsOwn) {
  CSettings original;
  FillEveryMember(original);
  const CRefCountPtr<CSettings> copy = original.Clone();
  ASSERT_FALSE(copy.IsNull());
  EXPECT_EQ(kFilled, MembersOf(*copy));
  copy->SetUser("other");
  copy->SetInterval(7);
  EXPECT_EQ("jan", original.GetUser());
  EXPECT_EQ(-42, original.GetInterval());
}

auto FieldsOf(const CPublicFileLocation& l) {
  return std::make_tuple(l.Path, l.AuthRequired, l.IsInternetFile, l.User, l.Password);
}

TEST(Settings, PublicFileLocationTakesThePathOfTheChosenKind) {
  CSettings s;
  FillEveryMember(s);
  EXPECT_EQ(std::make_tuple(std::string("ftp://127.0.0.1:2121/cats.txt"), true, true,
                            std::string("jan"), std::string("abc")),
            FieldsOf(s.GetPublicFileLocation()))
      << "the password goes plain, not shifted";
  s.SetIsInternetFile(false);
  s.SetAuthRequired(false);
  EXPECT_EQ(std::make_tuple(std::string("\\\\srv\\share\\cats.txt"), false, false,
                            std::string("jan"), std::string("abc")),
            FieldsOf(s.GetPublicFileLocation()));
}

TEST(Settings, PasswordShiftsEveryByteByTen) {
  const struct {
    std::string plain;
    std::string stored;
  } cases[] = {
      {"", ""},
      {"abc", "klm"},
      {"\xF6", std::string(1, '\0')},
      {"\xFF", "\x09"},
      {"\xF5\xF7", "\xFF\x01"},
      {"Za\xBF\xF3\xB3\xE6", "dk\xC9\xFD\xBD\xF0"},  // "Zażółć" in code page 1250
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.plain);
    EXPECT_EQ(c.stored, EncodePassword(c.plain));
    EXPECT_EQ(c.plain, DecodePassword(c.stored));
  }
  std::string everyByte;
  for (int b = 0; b < 256; ++b) everyByte += static_cast<char>(b);
  EXPECT_EQ(everyByte, DecodePassword(EncodePassword(everyByte)));
}

TEST_F(SettingsFile, LoadWithoutAFileResetsEveryMember) {
  CSettings s;
  FillEveryMember(s);
  s.Load();
  EXPECT_EQ(kDefaults, MembersOf(s));
  EXPECT_FALSE(s.IsConfigured());
}

TEST_F(SettingsFile, FileWithoutTheGeneralSectionLoadsAsDefaults) {
  WriteSettingsText(
      "[Other]\r\nDataFilePath=C:\\cats.txt\r\nDataFileUrl=http://127.0.0.1/c.txt\r\n"
      "IsInternetFile=True\r\nAuthRequired=True\r\nUser=jan\r\nPassword=klm\r\n"
      "CacheLifeTimeChanged=True\r\nInterval=90\r\nOutlookUnblocked=True\r\n");
  CSettings s;
  s.Load();
  EXPECT_EQ(kDefaults, MembersOf(s));
  EXPECT_FALSE(s.IsConfigured());
}

TEST_F(SettingsFile, HandWrittenFileLoadsEveryKey) {
  WriteSettingsText(
      "[General]\r\nDataFilePath=\\\\srv\\share\\cats.txt\r\n"
      "DataFileUrl=ftp://127.0.0.1:2121/cats.txt\r\nIsInternetFile=True\r\nAuthRequired=true\r\n"
      "User=jan\r\nPassword=klm\r\nCacheLifeTimeChanged=TRUE\r\nInterval=-42\r\n"
      "OutlookUnblocked=True\r\n");
  CSettings s;
  s.Load();
  EXPECT_EQ(kFilled, MembersOf(s));
  EXPECT_TRUE(s.IsConfigured());
}

TEST_F(SettingsFile, ValuesLongerThanTheBufferLoadAsTheirFirst2046Characters) {
  std::string text = "[General]\r\n";
  std::string longValue;
  for (int i = 0; i < 3000; ++i) longValue += static_cast<char>('a' + i % 26);
  for (const char* key : {"DataFilePath", "DataFileUrl", "User", "Password"})
    text += std::string(key) + "=" + longValue + "\r\n";
  WriteSettingsText(text);
  CSettings s;
  s.Load();
  const std::string first = longValue.substr(0, 2046);
  EXPECT_EQ(first, s.GetDataFilePath());
  EXPECT_EQ(first, s.GetDataFileUrl());
  EXPECT_EQ(first, s.GetUser());
  EXPECT_EQ(DecodePassword(first), s.GetPassword());
}

struct ValueCase {
  const char* text;  // as it stands in the file after "Key="
  bool flag;
  int number;
};

class StoredValue : public SettingsFile, public ::testing::WithParamInterface<ValueCase> {};

// The profile functions themselves trim blanks and strip one pair of quotes, so a quoted
// value is what shows the add-in's own trimming.
const ValueCase kValues[] = {
    {"True", true, 0},          {"true", true, 0},        {"tRuE", true, 0},
    {"  TRUE \t", true, 0},     {"\" TRUE \"", true, 0},  {"\"\vtrue\f\"", true, 0},
    {"yes", false, 0},          {"1", false, 1},          {"", false, 0},
    {"False", false, 0},        {"truely", false, 0},     {"\"tr ue\"", false, 0},
    {"90s", false, 90},         {"abc", false, 0},        {"-5", false, -5},
    {" 42", false, 42},         {"\" \t42\"", false, 42}, {"+7", false, 7},
    {"0x1F", false, 0},         {"12 34", false, 12},     {"2147483647", false, INT_MAX},
    {"-2147483648", false, INT_MIN},
};

TEST_P(StoredValue, ReadsAsFlagAndInterval) {
  const ValueCase& c = GetParam();
  std::string text = "[General]\r\n";
  for (const char* key : {"IsInternetFile", "AuthRequired", "CacheLifeTimeChanged",
                          "OutlookUnblocked", "Interval"})
    text += std::string(key) + "=" + c.text + "\r\n";
  WriteSettingsText(text);
  CSettings s;
  s.Load();
  EXPECT_EQ(c.flag, s.GetIsInternetFile());
  EXPECT_EQ(c.flag, s.GetAuthRequired());
  EXPECT_EQ(c.flag, s.GetCacheLifeTimeChanged());
  EXPECT_EQ(c.flag, s.GetOutlookUnblocked());
  EXPECT_EQ(c.number, s.GetInterval());
}

INSTANTIATE_TEST_SUITE_P(Table, StoredValue, ::testing::ValuesIn(kValues));

TEST_F(SettingsFile, SaveWritesTheNineKeysInOrderAndTheirStoredForms) {
  CSettings s;
  s.Save();
  EXPECT_EQ(kAllKeys, StoredKeys());
  for (const char* key : {"IsInternetFile", "AuthRequired", "CacheLifeTimeChanged",
                          "OutlookUnblocked"})
    EXPECT_EQ("False", StoredValue(key)) << key;
  EXPECT_EQ("0", StoredValue("Interval"));

  FillEveryMember(s);
  s.Save();
  EXPECT_EQ(kAllKeys, StoredKeys());
  EXPECT_EQ("\\\\srv\\share\\cats.txt", StoredValue("DataFilePath"));
  EXPECT_EQ("ftp://127.0.0.1:2121/cats.txt", StoredValue("DataFileUrl"));
  for (const char* key : {"IsInternetFile", "AuthRequired", "CacheLifeTimeChanged",
                          "OutlookUnblocked"})
    EXPECT_EQ("True", StoredValue(key)) << key;
  EXPECT_EQ("jan", StoredValue("User"));
  EXPECT_EQ("-42", StoredValue("Interval"));
  EXPECT_NE(std::string::npos, SettingsText().find("\nPassword=klm\r\n")) << SettingsText();

  CSettings loaded;
  loaded.Load();
  EXPECT_EQ(kFilled, MembersOf(loaded));
}

TEST_F(SettingsFile, SaveWritesEveryKeyWhenOnlyOneChanged) {
  WriteSettingsText("[General]\r\nUser=jan\r\nInterval=5\r\n");
  CSettings s;
  s.Load();
  s.SetInterval(INT_MIN);
  s.Save();
  std::vector<std::string> keys = StoredKeys();
  std::sort(keys.begin(), keys.end());
  std::vector<std::string> expected = kAllKeys;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, keys);
  EXPECT_EQ("jan", StoredValue("User"));
  EXPECT_EQ("-2147483648", StoredValue("Interval"));
  EXPECT_EQ("False", StoredValue("OutlookUnblocked"));
}

struct PasswordCase {
  const char* name;
  std::string password;
  std::string hex;  // of the stored form; written instead of it when that cannot be read back
  bool plainIn1250;
  bool plainIn932;
};

const PasswordCase kPasswords[] = {
    {"Empty", "", "", true, true},
    {"Letters", "abc", "6B6C6D", true, true},
    {"LoneF6", "\xF6", "00", false, false},
    {"EndsInF6", "abc\xF6", "6B6C6D00", false, false},
    {"F6AtBothEnds", "\xF6" "abc\xF6", "006B6C6D00", false, false},
    {"LeadingFF", "\xFF" "abc", "096B6C6D", false, false},        // tab: trimmed
    {"Trailing16", "abc\x16", "6B6C6D20", false, false},          // space: trimmed
    {"Quoted18", "\x18" "abc\x18", "226B6C6D22", false, false},   // "klm": quotes stripped
    {"Quoted1D", "\x1D" "abc\x1D", "276B6C6D27", false, false},   // 'klm': quotes stripped
    {"InnerCR", "a\x03" "b", "6B0D6C", false, false},            // ends the line
    {"OneQuoteOnly", "\x18" "abc", "226B6C6D", true, true},
    // 'w' shifts to 0x81, a lead byte in 932, here followed by no valid trail byte.
    {"LeadByteIn932", "p@ss w0rd!", "7A4A7D7D2A813A7C6E2B", true, false},
    {"PolishIn1250", "Za\xBF\xF3\xB3\xE6", "646BC9FDBDF0", true, false},
    {"KanjiIn932", "\x95\x5C", "9F66", true, true},
};

class PasswordStorage : public SettingsFile, public ::testing::WithParamInterface<PasswordCase> {};

TEST_P(PasswordStorage, RoundTripsAndKeepsTheShiftedFormWhenItCan) {
  const PasswordCase& c = GetParam();
  const UINT codePage = ::GetACP();
  if (codePage != kPolishCodePage && codePage != kJapaneseCodePage)
    GTEST_SKIP() << "cases are written for code pages 1250 and 932, not " << codePage;
  CSettings s;
  s.SetPassword(c.password);
  s.Save();
  CSettings loaded;
  loaded.Load();
  EXPECT_EQ(c.password, loaded.GetPassword());

  const bool plain = codePage == kPolishCodePage ? c.plainIn1250 : c.plainIn932;
  if (plain) {
    EXPECT_EQ(EncodePassword(c.password), StoredValue("Password"));
    EXPECT_FALSE(HasKey("PasswordHex"));
  } else {
    EXPECT_EQ("", StoredValue("Password"));
    EXPECT_EQ(c.hex, StoredValue("PasswordHex"));
    EXPECT_EQ("Password", StoredKeys().at(5)) << "PasswordHex follows Password";
    EXPECT_EQ("PasswordHex", StoredKeys().at(6));
  }
}

INSTANTIATE_TEST_SUITE_P(Table, PasswordStorage, ::testing::ValuesIn(kPasswords),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsFile, PasswordOfEveryByteRoundTrips) {
  std::string everyByte;
  for (int b = 1; b < 256; ++b) everyByte += static_cast<char>(b);
  CSettings s;
  s.SetPassword(everyByte);
  s.Save();
  CSettings loaded;
  loaded.Load();
  EXPECT_EQ(everyByte, loaded.GetPassword());
}

TEST_F(SettingsFile, SavingAPlainPasswordRemovesPasswordHex) {
  CSettings s;
  s.SetPassword("\xF6" "abc\xF6");
  s.Save();
  ASSERT_TRUE(HasKey("PasswordHex"));
  s.SetPassword("abc");
  s.Save();
  EXPECT_FALSE(HasKey("PasswordHex"));
  EXPECT_EQ("klm", StoredValue("Password"));
  EXPECT_EQ(kAllKeys, StoredKeys());
}

TEST_F(SettingsFile, WellFormedPasswordHexWinsOverPassword) {
  const struct {
    const char* lines;
    std::string expected;
  } cases[] = {
      {"Password=klm\r\n", "abc"},
      {"Password=\r\nPasswordHex=6B6C6D\r\n", "abc"},
      {"Password=xyz\r\nPasswordHex=6b6c6d\r\n", "abc"},
      {"Password=\r\nPasswordHex=006B6C6D00\r\n", "\xF6" "abc\xF6"},
      {"Password=klm\r\nPasswordHex=6B6C6\r\n", "abc"},
      {"Password=klm\r\nPasswordHex=6B6Z6D\r\n", "abc"},
      {"Password=klm\r\nPasswordHex=\r\n", "abc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines);
    WriteSettingsText(std::string("[General]\r\n") + c.lines);
    CSettings s;
    s.Load();
    EXPECT_EQ(c.expected, s.GetPassword());
  }
}

TEST_F(SettingsFile, IsConfiguredNeedsTheFileAndANonBlankLocationInMemory) {
  const struct {
    const char* name;
    bool fileExists;
    bool isInternetFile;
    const char* path;
    const char* url;
    bool expected;
  } cases[] = {
      {"no file", false, false, "C:\\cats.txt", "", false},
      {"path", true, false, "\\\\srv\\share\\cats.txt", "", true},
      {"url", true, true, "", "http://127.0.0.1/cats.txt", true},
      {"internet file without url", true, true, "C:\\cats.txt", "", false},
      {"path without url", true, false, "", "http://127.0.0.1/cats.txt", false},
      {"blank path", true, false, " \t ", "", false},
      {"blank url", true, true, "", "\t", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ::DeleteFileA(file_.c_str());
    if (c.fileExists) WriteSettingsText("[General]\r\n");  // the location is not reloaded
    CSettings s;
    s.SetIsInternetFile(c.isInternetFile);
    s.SetDataFilePath(c.path);
    s.SetDataFileUrl(c.url);
    EXPECT_EQ(c.expected, s.IsConfigured());
  }
}

TEST_F(SettingsFile, SettingsFolderIsCreatedByEveryUse) {
  const struct {
    const char* name;
    void (*use)();
  } uses[] = {
      {"GetSettingsFolder", [] { GetSettingsFolder(); }},
      {"Load", [] { CSettings().Load(); }},
      {"Save", [] { CSettings().Save(); }},
      {"IsConfigured", [] { CSettings().IsConfigured(); }},
  };
  for (const auto& u : uses) {
    SCOPED_TRACE(u.name);
    ::DeleteFileA(file_.c_str());
    if (DirectoryExists(folder_) && !::RemoveDirectoryA(folder_.c_str()))
      GTEST_SKIP() << folder_ << " holds other files";
    u.use();
    EXPECT_TRUE(DirectoryExists(folder_));
  }
  EXPECT_EQ(folder_, GetSettingsFolder());
  EXPECT_EQ(file_, GetSettingsFilePath());
}

TEST(ShellWrapper, FindsTheApplicationDataFolder) {
  char path[4096] = {};
  EXPECT_EQ(S_OK, QvShellWrapper().GetFolderPath(nullptr, 0x801A, nullptr, 1, path));
  EXPECT_EQ(EnvironmentValue("APPDATA"), path);
}

TEST(ShellWrapper, MissingLibraryOrFunctionGivesNoFolder) {
  for (const char* library : {"tagsy-no-such-library.dll", "kernel32.dll"}) {
    SCOPED_TRACE(library);
    const QvShellWrapper shell(library);
    char path[4096] = "untouched";
    EXPECT_EQ(E_FAIL, shell.GetFolderPath(nullptr, 0x801A, nullptr, 1, path));
    EXPECT_STREQ("untouched", path);
    EXPECT_EQ("", GetSettingsFolder(shell));
    EXPECT_EQ("settings.ini", GetSettingsFilePath(shell));
  }
}

}  // namespace
