#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "ComError.h"
#include "EntryPoint.h"
#include "Error.h"
#include "MessageBoxRecorder.h"

using Microsoft::WRL::ComPtr;

namespace {

TEST(QvException, KeepsOnlyTheFileNamePartOfTheSourcePath) {
  struct Case {
    const char* path;
    const char* file;
  } cases[] = {
      {"C:\\src\\addin\\Extension.cpp", "Extension.cpp"},
      {"../addin/Extension.cpp", "Extension.cpp"},
      {"a/b\\c.cpp", "c.cpp"},
      {"Extension.cpp", "Extension.cpp"},
      {"", ""},
      {nullptr, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.file, Error::QvExceptionText("x", c.path, 1).File()) << (c.path ? c.path : "null");
}

TEST(QvException, ShowMessageUsesTheTrimmedTextAndTheErrorCaption) {
  MessageBoxRecorder boxes(IDCANCEL);
  const Error::QvExceptionText error("  Nie mo\xBFna  \n", "x.cpp", 3);
  EXPECT_EQ(IDCANCEL, error.ShowMessage(Error::kErrorBoxStyle));
  ASSERT_EQ(1u, boxes.shown.size());
  EXPECT_EQ(nullptr, boxes.shown[0].owner);
  EXPECT_EQ("Nie mo\xBFna", boxes.shown[0].text);
  EXPECT_EQ("Error", boxes.shown[0].caption);
  EXPECT_EQ(0x50010u, boxes.shown[0].style);
}

TEST(QvException, BlankTextShowsFileAndLine) {
  MessageBoxRecorder boxes;
  Error::QvExceptionText(" \t\r\n", "..\\..\\addin\\Sync.cpp", 42).ShowMessage(0);
  Error::QvExceptionText("", nullptr, 0).ShowMessage(0);
  ASSERT_EQ(2u, boxes.shown.size());
  EXPECT_EQ("Unknown error occured\nFile: Sync.cpp, Line: 42", boxes.shown[0].text);
  EXPECT_EQ("Unknown error occured\nFile: , Line: 0", boxes.shown[1].text);
}

TEST(QvExceptionCommon, CodeZeroGivesParenthesisedZero) {
  EXPECT_EQ("(0) x", Error::QvExceptionCommon(0, "x", nullptr, 0).GetText());
}

TEST(QvExceptionCommon, KnownCodeGivesSystemMessageCodeAndText) {
  const std::string system = Error::SystemMessage(ERROR_ACCESS_DENIED);
  ASSERT_FALSE(system.empty()) << "the system has a message for code 5";
  std::string trimmed = system;
  while (!trimmed.empty() && isspace(static_cast<unsigned char>(trimmed.back()))) trimmed.pop_back();
  EXPECT_EQ(trimmed + " (0x5)\n\nx", Error::QvExceptionCommon(5, "x", nullptr, 0).GetText());
}

TEST(QvExceptionCommon, UnknownCodeGivesCodeAndText) {
  // Only the ends of the whole text are trimmed.
  EXPECT_EQ("(0x3fffff00)   brak", Error::QvExceptionCommon(0x3FFFFF00, "  brak  ", "f", 1).GetText());
}

TEST(QvException, IsCopyableAndCaughtThroughTheBase) {
  try {
    QV_THROW_TEXT("tekst");
  } catch (const Error::QvException& e) {
    EXPECT_EQ("tekst", e.GetText());
    EXPECT_EQ("ErrorTest.cpp", e.File());
    EXPECT_GT(e.Line(), 0);
  }
}

// A COM error carrying an error-information record with the given description.
_com_error WithDescription(HRESULT hr, const wchar_t* description) {
  ComPtr<ICreateErrorInfo> create;
  EXPECT_EQ(S_OK, CreateErrorInfo(&create));
  create->SetDescription(const_cast<LPOLESTR>(description));
  IErrorInfo* info = nullptr;
  create->QueryInterface(IID_PPV_ARGS(&info));
  return _com_error(hr, info, false);
}

TEST(ComErrorText, DescriptionThenSystemMessage) {
  const std::string system = Error::HResultMessage(E_ACCESSDENIED);
  EXPECT_EQ("Brak dost\xEApu - " + system, Error::ComErrorText(WithDescription(E_ACCESSDENIED, L"Brak dost\x0119pu")));
}

TEST(ComErrorText, TakesNoReferenceOfItsOwn) {
  const _com_error error = WithDescription(E_FAIL, L"x");
  IErrorInfo* info = error.ErrorInfo();  // one reference for this test
  const ULONG before = info->AddRef();
  info->Release();
  Error::ComErrorText(error);
  const ULONG after = info->AddRef();
  info->Release();
  info->Release();
  EXPECT_EQ(before, after);
}

TEST(ComErrorText, NoRecordPrintsNullDescription) {
  const std::string text = Error::ComErrorText(_com_error(E_POINTER));
  EXPECT_EQ("(null) - " + Error::HResultMessage(E_POINTER), text);
}

TEST(HResultMessage, HasNoTrailingLineBreak) {
  const std::string text = Error::HResultMessage(E_OUTOFMEMORY);
  ASSERT_FALSE(text.empty());
  EXPECT_NE('\n', text.back());
  EXPECT_NE('\r', text.back());
}

TEST(HResultMessage, FallbackTextsForCodesWithoutSystemText) {
  struct Case {
    HRESULT hr;
    const char* text;
  } cases[] = {
      {static_cast<HRESULT>(0x80040201), "IDispatch error #1"},
      {static_cast<HRESULT>(0x8004FFFF), "IDispatch error #65023"},
      {static_cast<HRESULT>(0x80040200), "Unknown error 0x80040200"},
      {static_cast<HRESULT>(0x80050000), "Unknown error 0x80050000"},
      {static_cast<HRESULT>(0x2EE0FFFF), "Unknown error 0x2EE0FFFF"},
  };
  for (const Case& c : cases) {
    if (!Error::SystemMessage(static_cast<DWORD>(c.hr)).empty()) continue;  // system knows it
    EXPECT_EQ(c.text, Error::HResultMessage(c.hr));
  }
}

// An object that offers error information for one interface only.
class ErrorSource : public ISupportErrorInfo {
 public:
  explicit ErrorSource(REFIID supported) : supported_(supported) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_ISupportErrorInfo) {
      *out = static_cast<ISupportErrorInfo*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override {
    return iid == supported_ ? S_OK : S_FALSE;
  }
  ULONG refs = 1;

 private:
  IID supported_;
};

void SetThreadErrorInfo(const wchar_t* description) {
  ComPtr<ICreateErrorInfo> create;
  ASSERT_EQ(S_OK, CreateErrorInfo(&create));
  create->SetDescription(const_cast<LPOLESTR>(description));
  ComPtr<IErrorInfo> info;
  create.As(&info);
  SetErrorInfo(0, info.Get());
}

TEST(ThrowIfFailed, TakesErrorInfoWhenTheObjectSupportsItForTheInterface) {
  ErrorSource source(IID_IDispatch);
  SetThreadErrorInfo(L"Nie ma takiej kategorii.");
  try {
    Error::ThrowIfFailed(E_INVALIDARG, &source, IID_IDispatch);
    FAIL() << "no exception";
  } catch (const _com_error& e) {
    EXPECT_EQ(E_INVALIDARG, e.Error());
    EXPECT_EQ("Nie ma takiej kategorii. - " + Error::HResultMessage(E_INVALIDARG), Error::ComErrorText(e));
  }
  EXPECT_EQ(1u, source.refs) << "no reference to the object is leaked";
}

TEST(ThrowIfFailed, IgnoresErrorInfoForOtherInterfaces) {
  ErrorSource source(IID_IDispatch);
  SetThreadErrorInfo(L"stale");
  try {
    Error::ThrowIfFailed(E_FAIL, &source, IID_IUnknown);
    FAIL() << "no exception";
  } catch (const _com_error& e) {
    EXPECT_EQ(nullptr, e.ErrorInfo());
  }
  SetErrorInfo(0, nullptr);
}

TEST(ThrowIfFailed, SuccessDoesNothing) {
  EXPECT_NO_THROW(Error::ThrowIfFailed(S_OK, nullptr, IID_IUnknown));
  EXPECT_NO_THROW(Error::ThrowIfFailed(S_FALSE, nullptr, IID_IUnknown));
  EXPECT_THROW(Error::ThrowIfFailed(E_POINTER, nullptr, IID_IUnknown), _com_error);
}

TEST(GuardEntryPoint, EachKindOfErrorGoesToItsBox) {
  MessageBoxRecorder boxes;
  const Error::EntryPointTexts texts{"Failed to load Velmora Tagsy addin.", 0, 0};
  Error::GuardEntryPoint(texts, [] { QV_THROW_TEXT("own"); });
  Error::GuardEntryPoint(texts, [] { throw _com_error(E_POINTER); });
  Error::GuardEntryPoint(texts, [] { throw std::runtime_error("x"); });
  Error::GuardEntryPoint(texts, [] { throw 7; });
  bool ran = false;
  Error::GuardEntryPoint(texts, [&] { ran = true; });
  EXPECT_TRUE(ran);
  ASSERT_EQ(4u, boxes.shown.size());
  EXPECT_EQ("own", boxes.shown[0].text);
  EXPECT_EQ("Error", boxes.shown[0].caption);
  EXPECT_EQ(Error::kErrorBoxStyle, boxes.shown[0].style);
  EXPECT_EQ("(null) - " + Error::HResultMessage(E_POINTER), boxes.shown[1].text);
  EXPECT_EQ("Velmora Tagsy", boxes.shown[1].caption);
  EXPECT_EQ(static_cast<UINT>(MB_ICONEXCLAMATION), boxes.shown[1].style) << "OK box without icon";
  EXPECT_EQ("Failed to load Velmora Tagsy addin.", boxes.shown[2].text);
  EXPECT_EQ("Failed to load Velmora Tagsy addin.", boxes.shown[3].text);
}

TEST(GuardTeardownStep, SwallowsEverythingSilently) {
  MessageBoxRecorder boxes;
  int steps = 0;
  Error::GuardTeardownStep([&] { ++steps; QV_THROW_TEXT("a"); });
  Error::GuardTeardownStep([&] { ++steps; throw _com_error(E_FAIL); });
  Error::GuardTeardownStep([&] { ++steps; });
  EXPECT_EQ(3, steps);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(AppMessageBox, IconDefaultsAndCaption) {
  MessageBoxRecorder boxes;
  struct Case {
    UINT style, shown;
  } cases[] = {
      {0, MB_ICONEXCLAMATION},
      {MB_OKCANCEL, MB_OKCANCEL | MB_ICONEXCLAMATION},
      {MB_YESNO, MB_YESNO | MB_ICONQUESTION},
      {MB_ICONERROR, MB_ICONERROR},
      {MB_YESNO | MB_ICONINFORMATION, MB_YESNO | MB_ICONINFORMATION},
      {MB_RETRYCANCEL, MB_RETRYCANCEL},
  };
  for (const Case& c : cases) {
    boxes.shown.clear();
    Error::AppMessageBox("t", c.style);
    ASSERT_EQ(1u, boxes.shown.size());
    EXPECT_EQ(c.shown, boxes.shown[0].style) << c.style;
    EXPECT_EQ("Velmora Tagsy", boxes.shown[0].caption);
  }
}

}  // namespace
