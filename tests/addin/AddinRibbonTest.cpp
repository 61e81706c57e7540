// The ribbon side of the add-in object: the XML Office asks for, the callbacks it calls by
// name through IDispatch, and the button picture.
#include "AddinInProcess.h"

#include "AddinRegistryValues.h"

#include <olectl.h>

#include "Settings.h"
#include "support/LoopbackServers.h"

namespace {

class AddinRibbon : public AddinInProcess {
 protected:
  void SetUp() override {
    AddinInProcess::SetUp();
    StartOutlook();
  }
  template <class Interface>
  Microsoft::WRL::ComPtr<Interface> As() {
    Microsoft::WRL::ComPtr<Interface> result;
    addin.As(&result);
    return result;
  }
  // A callback by name, as Office calls it: GetIDsOfNames, then Invoke with one
  // dispatch argument.
  HRESULT CallByName(const wchar_t* name, IDispatch* argument, VARIANT* result = nullptr) {
    HRESULT hr = E_FAIL;
    host->RunOnUiThread([&] {
      Microsoft::WRL::ComPtr<IDispatch> dispatch = As<IDispatch>();
      DISPID id = 0;
      LPOLESTR names = const_cast<LPOLESTR>(name);
      hr = dispatch->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id);
      if (FAILED(hr)) return;
      VARIANT arg;
      ::VariantInit(&arg);
      arg.vt = VT_DISPATCH;
      arg.pdispVal = argument;
      DISPPARAMS params = {&arg, nullptr, 1, 0};
      hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr, nullptr);
    });
    return hr;
  }
  std::wstring CustomUi(const wchar_t* ribbonId, HRESULT* hr) {
    std::wstring xml = L"<untouched>";
    host->RunOnUiThread([&] {
      BSTR text = ::SysAllocString(L"<untouched>");
      BSTR id = ::SysAllocString(ribbonId);
      *hr = As<IRibbonExtensibility>()->GetCustomUI(id, &text);
      xml.assign(text, ::SysStringLen(text));
      ::SysFreeString(text);
      ::SysFreeString(id);
    });
    return xml;
  }
};

TEST_F(AddinRibbon, QueryOrderAndDispatchIdsComeFromTheTypeLibrary) {
  host->RunOnUiThread([&] {
    Microsoft::WRL::ComPtr<IQvTagsyAddin> custom = As<IQvTagsyAddin>();
    Microsoft::WRL::ComPtr<IDispatch> dispatch = As<IDispatch>();
    ASSERT_TRUE(custom);
    EXPECT_EQ(static_cast<IUnknown*>(custom.Get()), static_cast<IUnknown*>(dispatch.Get()))
        << "IDispatch is IQvTagsyAddin's";
    EXPECT_TRUE(As<IRibbonExtensibility>());
    const std::pair<const wchar_t*, DISPID> members[] = {
        {L"OnRibbonLoad", 1}, {L"OnOptionsBtnClicked", 2}, {L"OnTagsyButtonClicked", 3},
        {L"GetTagsyBtnImage", 4}, {L"OnOptionsClicked", 5}};
    for (const auto& member : members) {
      DISPID id = -1;
      LPOLESTR name = const_cast<LPOLESTR>(member.first);
      EXPECT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
      EXPECT_EQ(member.second, id);
    }
  });
}

TEST_F(AddinRibbon, ExplorerRibbonGetsTheXmlInAnyLetterCaseOthersGetNothing) {
  HRESULT hr = E_FAIL;
  const std::wstring xml = CustomUi(L"microsoft.OUTLOOK.explorer", &hr);
  EXPECT_EQ(S_OK, hr);
  EXPECT_NE(std::wstring::npos, xml.find(L"Zarz\u0105dzaj Kategoriami")) << "Windows-1250 text read in 1250";
  EXPECT_NE(std::wstring::npos, xml.find(L"onLoad=\"OnRibbonLoad\""));
  EXPECT_EQ(0u, xml.find(L"<?xml"));

  EXPECT_EQ(L"<untouched>", CustomUi(L"Microsoft.Outlook.Mail.Read", &hr));
  EXPECT_EQ(S_OK, hr);
}

TEST_F(AddinRibbon, ButtonImageIsA32By32IconPicture) {
  VARIANT result;
  ::VariantInit(&result);
  ASSERT_EQ(S_OK, CallByName(L"GetTagsyBtnImage", nullptr, &result));
  ASSERT_EQ(VT_DISPATCH, result.vt);
  host->RunOnUiThread([&] {
    Microsoft::WRL::ComPtr<IPicture> picture;
    ASSERT_EQ(S_OK, result.pdispVal->QueryInterface(IID_PPV_ARGS(&picture)));
    SHORT type = 0;
    picture->get_Type(&type);
    EXPECT_EQ(PICTYPE_ICON, type);
    OLE_XSIZE_HIMETRIC width = 0;
    picture->get_Width(&width);
    EXPECT_EQ(::MulDiv(32, 2540, 96), width);
    ::VariantClear(&result);
  });
}

TEST_F(AddinRibbon, TagsyButtonOpensTheWizardUntilConfiguredThenTheEditor) {
  // The button offers the wizard even when the start-up wizard was silenced.
  Addin::WriteAddinDword("DoNotShowConfigWizard", 1);

  ScratchFolder scratch;
  scratch.WriteFile("publiczne.txt", "A;1\r\n");
  wizardAnswer = IDCANCEL;
  EXPECT_EQ(S_OK, CallByName(L"OnTagsyButtonClicked", nullptr));
  EXPECT_EQ((std::vector<std::string>{"wizard"}), UiCallNames());
  CSettings settings;
  settings.Load();
  EXPECT_FALSE(settings.IsConfigured()) << "a cancelled wizard saves nothing";

  wizardAnswer = Addin::kWizardFinish;
  wizardPath = scratch.WindowsPath("publiczne.txt");
  EXPECT_EQ(S_OK, CallByName(L"OnTagsyButtonClicked", nullptr));
  settings.Load();
  EXPECT_TRUE(settings.IsConfigured());

  EXPECT_EQ(S_OK, CallByName(L"OnTagsyButtonClicked", nullptr));
  const std::vector<UiCall> calls = UiCalls();
  ASSERT_EQ(3u, calls.size());
  EXPECT_EQ("editor", calls[2].what);
  EXPECT_EQ(wizardPath, calls[2].text);
  EXPECT_TRUE(boxes.shown.empty()) << BoxTexts();
}

TEST_F(AddinRibbon, LaunchersOpenTheOptionsPageAndFailuresShowTheirText) {
  EXPECT_EQ(S_OK, CallByName(L"OnOptionsClicked", nullptr));
  EXPECT_EQ(S_OK, CallByName(L"OnOptionsBtnClicked", nullptr));
  EXPECT_EQ((std::vector<std::string>{"options", "options"}), UiCallNames());

  Addin::AddinUi failing;
  failing.runOptionsSheet = [] { throw Error::QvExceptionText("boom", nullptr, 0); };
  failing.runCategoryEditor = [](const CPublicFileLocation&) { throw std::runtime_error("boom"); };
  const Addin::AddinUi previous = Addin::SetAddinUi(failing);
  EXPECT_EQ(S_OK, CallByName(L"OnOptionsClicked", nullptr));
  ScratchFolder scratch;
  scratch.WriteFile("publiczne.txt", "A;1\r\n");
  CSettings settings;
  settings.SetDataFilePath(scratch.WindowsPath("publiczne.txt"));
  SaveSettings(settings);
  EXPECT_EQ(S_OK, CallByName(L"OnTagsyButtonClicked", nullptr));
  Addin::SetAddinUi(previous);

  ASSERT_EQ(2u, boxes.shown.size());
  EXPECT_EQ("Unhandled Exception!", boxes.shown[0].text);
  EXPECT_EQ("Unexpected exception!", boxes.shown[1].text);
  EXPECT_EQ("Velmora Tagsy", boxes.shown[1].caption);
}

TEST_F(AddinRibbon, OnRibbonLoadKeepsTheRibbonUi) {
  // Any object that is no IRibbonUI is ignored; a null one too.
  EXPECT_EQ(S_OK, CallByName(L"OnRibbonLoad", nullptr));
  Microsoft::WRL::ComPtr<IDispatch> application;
  host->RunOnUiThread([&] { application = host->Application(); });
  EXPECT_EQ(S_OK, CallByName(L"OnRibbonLoad", application.Get()));
  host->RunOnUiThread([&] { application.Reset(); });
}

TEST_F(AddinRibbon, AggregatedCreationDelegatesToTheOuterObject) {
  host->RunOnUiThread([&] {
    // A minimal outer object: its IUnknown counts and forwards the add-in's interfaces.
    struct Outer : IUnknown {
      LONG references = 1;
      Microsoft::WRL::ComPtr<IUnknown> inner;
      STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (::IsEqualIID(iid, IID_IUnknown)) {
          *object = this;
          AddRef();
          return S_OK;
        }
        return inner->QueryInterface(iid, object);
      }
      STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
      STDMETHODIMP_(ULONG) Release() override { return --references; }
    } outer;
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, CQvParvaneExtModule::GetClassObject(Addin::kClsidQvTagsyAddin, IID_IClassFactory,
                                                        reinterpret_cast<void**>(factory.GetAddressOf())));
    IUnknown* refused = nullptr;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              factory->CreateInstance(&outer, __uuidof(IDTExtensibility2), reinterpret_cast<void**>(&refused)));
    ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown,
                                            reinterpret_cast<void**>(outer.inner.GetAddressOf())));
    IDTExtensibility2* extensibility = nullptr;
    ASSERT_EQ(S_OK, outer.inner->QueryInterface(__uuidof(IDTExtensibility2), reinterpret_cast<void**>(&extensibility)));
    EXPECT_EQ(2, outer.references) << "the interface's reference went to the outer object";
    IUnknown* identity = nullptr;
    extensibility->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity);
    identity->Release();
    extensibility->Release();
    EXPECT_EQ(1, outer.references);
    outer.inner.Reset();
  });
}

}  // namespace
