// The add-in loader's check of ribbon XML with the system's MSXML: what it reads from a
// good document, and what makes Office refuse one.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "RibbonXml.h"

using OutlookSim::CheckRibbonXml;
using OutlookSim::RibbonXmlCheck;

namespace {

class RibbonXml : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
  void TearDown() override { ::CoUninitialize(); }
};

std::wstring Document(const std::wstring& tabs, const wchar_t* space = L"http://schemas.microsoft.com/office/2009/07/customui") {
  return std::wstring(L"<customUI xmlns=\"") + space + L"\" onLoad=\"Loaded\"><ribbon><tabs>" + tabs +
         L"</tabs></ribbon></customUI>";
}

std::wstring Group(const std::wstring& inside, const wchar_t* id = L"G1") {
  return std::wstring(L"<tab idMso=\"TabMail\"><group id=\"") + id + L"\" label=\"L\">" + inside + L"</group></tab>";
}

TEST_F(RibbonXml, ReadsTabsGroupsButtonsAndLaunchersOfAGoodDocument) {
  // As an add-in's resource declares it: the declared code page does not matter to a
  // string that is already UTF-16.
  const std::wstring xml =
      L"<?xml version=\"1.0\" encoding=\"Windows-1250\"?>\r\n"
      L"<customUI xmlns=\"http://schemas.microsoft.com/office/2009/07/customui\" onLoad=\"OnRibbonLoad\">"
      L"<ribbon><tabs>"
      L"<tab idMso=\"TabMail\"><group id=\"GroupMail\" label=\"Velmora Tagsy\">"
      L"<button id=\"Mail\" label=\"Zarządzaj Kategoriami\" showImage=\"true\" size=\"large\" "
      L"onAction=\"OnButton\" getImage=\"GetImage\"/>"
      L"<dialogBoxLauncher><button id=\"OptionsMail\" onAction=\"OnOptions\"/></dialogBoxLauncher>"
      L"</group></tab>"
      L"<tab idMso=\"TabTasks\"><group id=\"GroupTasks\" label=\"Velmora Tagsy\">"
      L"<button id=\"Tasks\" label=\"Zadania\" onAction=\"OnButton\"/>"
      L"</group></tab>"
      L"</tabs></ribbon></customUI>";
  const RibbonXmlCheck check = CheckRibbonXml(xml);
  ASSERT_TRUE(check.Accepted()) << (check.problems.empty() ? "" : testing::PrintToString(check.problems[0]));
  EXPECT_EQ(check.rootName, L"customUI");
  EXPECT_EQ(check.rootNamespace, OutlookSim::kCustomUiNamespace);
  EXPECT_EQ(check.onLoad, L"OnRibbonLoad");
  ASSERT_EQ(check.tabs.size(), 2u);
  EXPECT_EQ(check.tabs[0].idMso, L"TabMail");
  EXPECT_EQ(check.tabs[1].idMso, L"TabTasks");
  ASSERT_EQ(check.tabs[0].groups.size(), 1u);
  const auto& group = check.tabs[0].groups[0];
  EXPECT_EQ(group.id, L"GroupMail");
  EXPECT_EQ(group.label, L"Velmora Tagsy");
  ASSERT_EQ(group.buttons.size(), 1u);
  const auto& button = group.buttons[0];
  EXPECT_EQ(button.id, L"Mail");
  EXPECT_EQ(button.label, L"Zarządzaj Kategoriami");
  EXPECT_EQ(button.size, L"large");
  EXPECT_EQ(button.showImage, L"true");
  EXPECT_EQ(button.onAction, L"OnButton");
  EXPECT_EQ(button.getImage, L"GetImage");
  ASSERT_EQ(group.launchers.size(), 1u);
  EXPECT_EQ(group.launchers[0].id, L"OptionsMail");
  EXPECT_EQ(group.launchers[0].onAction, L"OnOptions");
  EXPECT_TRUE(check.tabs[1].groups[0].launchers.empty());
  EXPECT_EQ(check.tabs[1].groups[0].buttons[0].getImage, L"");

  ASSERT_EQ(check.Buttons().size(), 2u);
  EXPECT_EQ(check.Buttons()[1].id, L"Tasks");
  std::wstring action;
  EXPECT_TRUE(check.FindAction(L"OptionsMail", &action));
  EXPECT_EQ(action, L"OnOptions");
  EXPECT_TRUE(check.FindAction(L"Tasks", &action));
  EXPECT_EQ(action, L"OnButton");
  EXPECT_FALSE(check.FindAction(L"GroupMail", &action));
}

TEST_F(RibbonXml, WhatOfficeRefuses) {
  const struct {
    const char* what;
    std::wstring xml;
    bool wellFormed;
    const wchar_t* problem;  // part of the first problem
  } cases[] = {
      {"cut off", Document(Group(L"<button id=\"B\"/>")).substr(0, 120), false, L"not well-formed"},
      {"empty", L"", false, L"not well-formed"},
      {"the 2006 namespace", Document(Group(L"<button id=\"B\"/>"), L"http://schemas.microsoft.com/office/2006/01/customui"),
       true, L"namespace"},
      {"no namespace", L"<customUI onLoad=\"X\"><ribbon/></customUI>", true, L"namespace"},
      {"another root", L"<ribbon xmlns=\"http://schemas.microsoft.com/office/2009/07/customui\"/>", true,
       L"root element is ribbon"},
      {"one id twice", Document(Group(L"<button id=\"B\"/><button id=\"B\"/>")), true, L"the id B is used twice"},
      {"a group id as a button id", Document(Group(L"<button id=\"G1\"/>")), true, L"the id G1 is used twice"},
      {"a button without id", Document(Group(L"<button label=\"x\"/>")), true, L"a button has no id"},
      {"a group without id", Document(L"<tab idMso=\"TabMail\"><group label=\"x\"/></tab>"), true, L"a group has no id"},
      {"a tab without idMso or id", Document(L"<tab><group id=\"G\"/></tab>"), true, L"a tab has neither"},
      {"an unknown size", Document(Group(L"<button id=\"B\" size=\"huge\"/>")), true, L"size \"huge\""},
      {"showImage not boolean", Document(Group(L"<button id=\"B\" showImage=\"yes\"/>")), true, L"showImage \"yes\""},
      {"a launcher of two buttons",
       Document(Group(L"<dialogBoxLauncher><button id=\"L1\"/><button id=\"L2\"/></dialogBoxLauncher>")), true,
       L"exactly one button"},
      {"a launcher button without id", Document(Group(L"<dialogBoxLauncher><button onAction=\"A\"/></dialogBoxLauncher>")),
       true, L"a dialogBoxLauncher button has no id"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const RibbonXmlCheck check = CheckRibbonXml(c.xml);
    EXPECT_FALSE(check.Accepted());
    EXPECT_EQ(check.wellFormed, c.wellFormed);
    EXPECT_EQ(check.parseError.empty(), c.wellFormed);
    ASSERT_FALSE(check.problems.empty());
    EXPECT_NE(check.problems[0].find(c.problem), std::wstring::npos) << testing::PrintToString(check.problems[0]);
  }
}

// Elements of other namespaces are not Office's controls; absent attributes read empty.
TEST_F(RibbonXml, OnlyElementsOfTheCustomUiNamespaceCount) {
  const RibbonXmlCheck check = CheckRibbonXml(Document(
      L"<tab idMso=\"TabMail\"><group id=\"G\">"
      L"<x:button xmlns:x=\"urn:other\" id=\"Foreign\"/><button id=\"Own\"/>"
      L"</group></tab><x:tab xmlns:x=\"urn:other\" idMso=\"TabTasks\"/>"));
  ASSERT_TRUE(check.Accepted());
  ASSERT_EQ(check.tabs.size(), 1u);
  ASSERT_EQ(check.Buttons().size(), 1u);
  EXPECT_EQ(check.Buttons()[0].id, L"Own");
  EXPECT_EQ(check.Buttons()[0].label, L"");
  EXPECT_EQ(check.Buttons()[0].onAction, L"");
  EXPECT_EQ(check.tabs[0].groups[0].label, L"");
}

}  // namespace
