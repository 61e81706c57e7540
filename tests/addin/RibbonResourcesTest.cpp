// The ribbon XML resources: the Polish one this test carries (as the add-in does) and the
// English one of Tagsy_ResEN.dll.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "AddinBinary.h"
#include "qv/Text.h"

#include <algorithm>
#include <string>

#include "XmlTree.h"
#include "qv/Handles.h"

namespace {

using XmlTree::Element;
using Attributes = std::map<std::wstring, std::wstring>;

constexpr wchar_t kPolishLabel[] = L"Zarz\u0105dzaj Kategoriami";
constexpr wchar_t kEnglishLabel[] = L"Manage Categories";

std::string EnglishLibraryPath() { return Qv::WideToAnsi(AddinPath(L"Tagsy_ResEN.dll")); }

class RibbonResources : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    apartment_ = true;
    english_.Reset(::LoadLibraryA(EnglishLibraryPath().c_str()));
    ASSERT_TRUE(english_) << EnglishLibraryPath();
  }
  void TearDown() override {
    if (apartment_) ::CoUninitialize();
  }

  std::string PolishBytes() const { return XmlTree::ResourceBytes(::GetModuleHandleA(nullptr)); }
  std::string EnglishBytes() const { return XmlTree::ResourceBytes(english_.Get()); }

 private:
  bool apartment_ = false;
  Qv::UniqueModule english_;
};

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::wstring Decode(const std::string& bytes, UINT codePage, DWORD flags = 0) {
  const int size = static_cast<int>(bytes.size());
  const int needed = ::MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
  std::wstring text(static_cast<size_t>(std::max(needed, 0)), L'\0');
  ::MultiByteToWideChar(codePage, flags, bytes.data(), size, text.data(), needed);
  return text;
}

TEST_F(RibbonResources, PolishXmlIsStoredInWindows1250AndSaysSo) {
  const std::string bytes = PolishBytes();
  ASSERT_EQ(0u, bytes.find("<?xml version=\"1.0\" encoding=\"windows-1250\"?>")) << bytes.substr(0, 60);
  EXPECT_EQ(std::string::npos, bytes.find("\xC4\x85")) << "no UTF-8 left: that is a-ogonek in UTF-8";
  EXPECT_EQ(std::string::npos, bytes.find("\xEF\xBB\xBF")) << "no byte-order mark";

  // Every byte is a character of 1250, and the label reads right in it.
  const std::wstring text = Decode(bytes, 1250, MB_ERR_INVALID_CHARS);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(6u, [&] {
    size_t n = 0;
    for (size_t at = text.find(kPolishLabel); at != std::wstring::npos;
         at = text.find(kPolishLabel, at + 1))
      ++n;
    return n;
  }()) << "one label a tab";
  // What GetCustomUI does with it on a Polish system.
  if (::GetACP() == 1250) {
    EXPECT_EQ(text, Decode(bytes, CP_ACP));
  }
}

// The six groups, in order. The journal button's id has no "l".
struct TabCase {
  const wchar_t* idMso;
  const wchar_t* group;
  const wchar_t* button;
  const wchar_t* launcher;
};

constexpr TabCase kTabs[] = {
    {L"TabMail", L"TagsyGroupMail", L"TagsyMail", L"TagsyOptionsMail"},
    {L"TabCalendar", L"TagsyGroupCalendar", L"TagsyCalendar", L"TagsyOptionsCalendar"},
    {L"TabContacts", L"TagsyGroupContacts", L"TagsyContacts", L"TagsyOptionsContacts"},
    {L"TabNotes", L"TagsyGroupNotes", L"TagsyNotes", L"TagsyOptionsNotes"},
    {L"TabJournals", L"TagsyGroupJournals", L"TagsyJournas", L"TagsyOptionsJournals"},
    {L"TabTasks", L"TagsyGroupTasks", L"TagsyTasks", L"TagsyOptionsTasks"},
};

constexpr wchar_t kCustomUiNamespace[] = L"http://schemas.microsoft.com/office/2009/07/customui";

// Every element of the custom UI is in its namespace (the default one the root declares).
void ExpectNamespaceThroughout(const Element& element) {
  EXPECT_EQ(kCustomUiNamespace, element.namespaceUri) << "element " << Narrow(element.name);
  for (const Element& child : element.children) ExpectNamespaceThroughout(child);
}

void ExpectRibbon(const Element& root, const std::wstring& buttonLabel) {
  EXPECT_EQ(L"customUI", root.name);
  EXPECT_EQ(kCustomUiNamespace, root.namespaceUri);
  EXPECT_EQ((Attributes{{L"onLoad", L"OnRibbonLoad"}}), root.attributes);
  ExpectNamespaceThroughout(root);
  ASSERT_EQ(1u, root.children.size());
  const Element& ribbon = root.children[0];
  EXPECT_EQ(L"ribbon", ribbon.name);
  EXPECT_TRUE(ribbon.attributes.empty());
  ASSERT_EQ(1u, ribbon.children.size());
  const Element& tabs = ribbon.children[0];
  EXPECT_EQ(L"tabs", tabs.name);
  ASSERT_EQ(std::size(kTabs), tabs.children.size());

  for (size_t i = 0; i < std::size(kTabs); ++i) {
    const TabCase& c = kTabs[i];
    SCOPED_TRACE(Narrow(c.idMso));
    const Element& tab = tabs.children[i];
    EXPECT_EQ(L"tab", tab.name);
    EXPECT_EQ((Attributes{{L"idMso", c.idMso}}), tab.attributes);
    ASSERT_EQ(1u, tab.children.size());

    const Element& group = tab.children[0];
    EXPECT_EQ(L"group", group.name);
    EXPECT_EQ((Attributes{{L"id", c.group}, {L"label", L"Velmora Tagsy"}}), group.attributes);
    ASSERT_EQ(2u, group.children.size());

    const Element& button = group.children[0];
    EXPECT_EQ(L"button", button.name);
    EXPECT_EQ((Attributes{{L"id", c.button},
                          {L"label", buttonLabel},
                          {L"showImage", L"true"},
                          {L"size", L"large"},
                          {L"onAction", L"OnTagsyButtonClicked"},
                          {L"getImage", L"GetTagsyBtnImage"}}),
              button.attributes);
    EXPECT_TRUE(button.children.empty());

    const Element& launcher = group.children[1];
    EXPECT_EQ(L"dialogBoxLauncher", launcher.name);
    EXPECT_TRUE(launcher.attributes.empty());
    ASSERT_EQ(1u, launcher.children.size());
    EXPECT_EQ(L"button", launcher.children[0].name);
    EXPECT_EQ((Attributes{{L"id", c.launcher}, {L"onAction", L"OnOptionsClicked"}}),
              launcher.children[0].attributes);
    EXPECT_TRUE(launcher.children[0].children.empty());
  }
}

TEST_F(RibbonResources, PolishXmlHoldsTheGroupOfEachTab) {
  ExpectRibbon(XmlTree::Parse(PolishBytes()), kPolishLabel);
}

TEST_F(RibbonResources, EnglishXmlHoldsTheSameControlsWithEnglishLabels) {
  ExpectRibbon(XmlTree::Parse(EnglishBytes()), kEnglishLabel);
}

// Everything but the button labels, element by element, as a check of its own: a control
// added to one language later must be added to the other.
void ExpectSameApartFromButtonLabels(const Element& polish, const Element& english) {
  EXPECT_EQ(polish.name, english.name);
  EXPECT_EQ(polish.namespaceUri, english.namespaceUri);
  Attributes polishAttributes = polish.attributes, englishAttributes = english.attributes;
  const auto label = polishAttributes.find(L"label");
  if (polish.name == L"button" && label != polishAttributes.end() && label->second == kPolishLabel) {
    const auto englishLabel = englishAttributes.find(L"label");
    ASSERT_NE(englishAttributes.end(), englishLabel) << "button " << Narrow(polish.attributes.at(L"id"));
    EXPECT_EQ(kEnglishLabel, englishLabel->second);
    polishAttributes.erase(L"label");
    englishAttributes.erase(L"label");
  }
  EXPECT_EQ(polishAttributes, englishAttributes) << "in " << Narrow(polish.name);
  ASSERT_EQ(polish.children.size(), english.children.size());
  for (size_t i = 0; i < polish.children.size(); ++i)
    ExpectSameApartFromButtonLabels(polish.children[i], english.children[i]);
}

TEST_F(RibbonResources, EnglishXmlDiffersFromThePolishOnlyInTheButtonLabel) {
  ExpectSameApartFromButtonLabels(XmlTree::Parse(PolishBytes()), XmlTree::Parse(EnglishBytes()));
}

TEST_F(RibbonResources, EnglishXmlDeclaresAnEncodingThatReadsItsBytes) {
  const std::string bytes = EnglishBytes();
  ASSERT_EQ(0u, bytes.find("<?xml version=\"1.0\" encoding=\"windows-1252\"?>")) << bytes.substr(0, 60);
  EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
      << "ASCII, so any ANSI code page converts it alike";
}

}  // namespace
