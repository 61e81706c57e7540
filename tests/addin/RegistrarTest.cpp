// The registry-script registrar, on a sandboxed HKEY_CLASSES_ROOT.
#include <gtest/gtest.h>

#include "RegistrySandbox.h"
#include "RegistryTree.h"
#include "qv/Registrar.h"

namespace {

const char kScript[] = R"(
HKCR
{
	NoRemove Parent
	{
		'%NAME%' = s 'Default text'
		{
			val Number = d '7'
			val Text = s 'it''s %%100'
		}
		ForceRemove Replaced = s 'new'
		{
			Child
		}
		NoRemove Kept
		{
			val Gone = s 'x'
		}
		{6B29FC40-CA47-1067-B31D-00DD010662DA} = s 'bare GUID'
	}
}
)";

class RegistrarTest : public ::testing::Test {
 protected:
  RegistrySandbox classes_{HKEY_CLASSES_ROOT};
  Qv::QvRegistrar registrar_;
  void SetUp() override { registrar_.AddReplacement(L"NAME", L"O'Brien"); }
};

TEST_F(RegistrarTest, RegisterWritesKeysValuesAndReplacements) {
  ASSERT_EQ(ERROR_SUCCESS, registrar_.Register(kScript));
  const RegistryTree expected = {
      {L"\\", L""},
      {L"\\O'Brien\\", L""},
      {L"\\O'Brien\\|", L"sz:Default text"},
      {L"\\O'Brien\\|Number", L"dword:7"},
      {L"\\O'Brien\\|Text", L"sz:it's %100"},
      {L"\\Replaced\\", L""},
      {L"\\Replaced\\|", L"sz:new"},
      {L"\\Replaced\\Child\\", L""},
      {L"\\Kept\\", L""},
      {L"\\Kept\\|Gone", L"sz:x"},
      {L"\\{6B29FC40-CA47-1067-B31D-00DD010662DA}\\", L""},
      {L"\\{6B29FC40-CA47-1067-B31D-00DD010662DA}\\|", L"sz:bare GUID"},
  };
  EXPECT_EQ(expected, RegistryTreeOf(HKEY_CLASSES_ROOT, L"Parent"));
}

TEST_F(RegistrarTest, ForceRemoveDeletesWhatWasThereBeforeAndOtherKeysKeepIt) {
  Qv::UniqueHKey stale;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Parent\\Replaced\\Stale", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, stale.Receive(), nullptr));
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Parent\\O'Brien\\Other", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, stale.Receive(), nullptr));
  ASSERT_EQ(ERROR_SUCCESS, registrar_.Register(kScript));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, L"Parent\\Replaced\\Stale"));
  EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, L"Parent\\O'Brien\\Other"));
}

TEST_F(RegistrarTest, RegisteringTwiceGivesTheSameTree) {
  ASSERT_EQ(ERROR_SUCCESS, registrar_.Register(kScript));
  const RegistryTree first = RegistryTreeOf(HKEY_CLASSES_ROOT, L"Parent");
  ASSERT_EQ(ERROR_SUCCESS, registrar_.Register(kScript));
  EXPECT_EQ(first, RegistryTreeOf(HKEY_CLASSES_ROOT, L"Parent"));
}

TEST_F(RegistrarTest, UnregisterKeepsNoRemoveKeysAndRemovesTheRest) {
  ASSERT_EQ(ERROR_SUCCESS, registrar_.Register(kScript));
  Qv::UniqueHKey foreign;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Parent\\Foreign", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, foreign.Receive(), nullptr));
  ASSERT_EQ(ERROR_SUCCESS, registrar_.Unregister(kScript));
  const RegistryTree expected = {{L"\\", L""}, {L"\\Kept\\", L""}, {L"\\Foreign\\", L""}};
  EXPECT_EQ(expected, RegistryTreeOf(HKEY_CLASSES_ROOT, L"Parent"));
  // Unregistering what is already gone is not a failure.
  EXPECT_EQ(ERROR_SUCCESS, registrar_.Unregister(kScript));
}

TEST_F(RegistrarTest, MalformedScriptsRaiseAndWriteNothing) {
  const char* const broken[] = {
      "HKCR { Key = s 'unterminated }",
      "HKCR { Key = x 'bad type' }",
      "HKXX { Key }",
      "HKCR { Key { }",
      "HKCR { Key = s '%MISSING%' }",
  };
  for (const char* script : broken) {
    EXPECT_THROW(registrar_.Register(script), Qv::RegistryScriptError) << script;
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, L"Key")) << script;
  }
}

}  // namespace
