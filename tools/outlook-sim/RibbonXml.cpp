#include "RibbonXml.h"

#include <objbase.h>
#include <msxml2.h>
#include <wrl/client.h>

#include <set>

#include "qv/ComVariant.h"
#include "qv/Handles.h"

// msxml2.h names no interface ids for __uuidof; these are MSXML's.
__CRT_UUID_DECL(IXMLDOMDocument2, 0x2933bf95, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60)
__CRT_UUID_DECL(IXMLDOMElement, 0x2933bf86, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60)

namespace OutlookSim {
namespace {

using Microsoft::WRL::ComPtr;

// MSXML 6.0's DOMDocument, else 3.0's: what Office parses with.
constexpr CLSID kDomDocument60 = {0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
constexpr CLSID kDomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};

std::wstring Take(BSTR text) {
  Qv::UniqueBstr owner(text);
  return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
}

std::wstring LocalName(IXMLDOMNode* node) {
  BSTR name = nullptr;
  node->get_baseName(&name);
  return Take(name);
}

std::wstring NamespaceOf(IXMLDOMNode* node) {
  BSTR uri = nullptr;
  node->get_namespaceURI(&uri);
  return Take(uri);
}

std::wstring Attribute(IXMLDOMNode* node, const wchar_t* name) {
  ComPtr<IXMLDOMElement> element;
  if (FAILED(node->QueryInterface(IID_PPV_ARGS(&element)))) return {};
  Qv::UniqueBstr attribute(::SysAllocString(name));
  Qv::ScopedVariant value;
  if (element->getAttribute(attribute.Get(), value.Receive()) != S_OK || value.Type() != VT_BSTR)
    return {};
  std::wstring text;
  Qv::VariantToString(*value, &text);
  return text;
}

// The child elements of `node` in the custom-UI namespace named `name`.
std::vector<ComPtr<IXMLDOMNode>> Children(IXMLDOMNode* node, const wchar_t* name) {
  std::vector<ComPtr<IXMLDOMNode>> found;
  ComPtr<IXMLDOMNode> child;
  node->get_firstChild(&child);
  while (child) {
    DOMNodeType type = NODE_INVALID;
    child->get_nodeType(&type);
    if (type == NODE_ELEMENT && LocalName(child.Get()) == name &&
        NamespaceOf(child.Get()) == kCustomUiNamespace)
      found.push_back(child);
    ComPtr<IXMLDOMNode> next;
    child->get_nextSibling(&next);
    child = next;
  }
  return found;
}

class Checker {
 public:
  explicit Checker(RibbonXmlCheck& result) : result_(result) {}

  void Root(IXMLDOMNode* root) {
    result_.rootName = LocalName(root);
    result_.rootNamespace = NamespaceOf(root);
    result_.onLoad = Attribute(root, L"onLoad");
    if (result_.rootName != L"customUI")
      Problem(L"the root element is " + result_.rootName + L", not customUI");
    if (result_.rootNamespace != kCustomUiNamespace)
      Problem(L"customUI is in the namespace \"" + result_.rootNamespace + L"\", not " +
              kCustomUiNamespace);
    if (!result_.problems.empty()) return;
    for (const auto& ribbon : Children(root, L"ribbon"))
      for (const auto& tabs : Children(ribbon.Get(), L"tabs"))
        for (const auto& tab : Children(tabs.Get(), L"tab")) result_.tabs.push_back(Tab(tab.Get()));
  }

 private:
  RibbonTab Tab(IXMLDOMNode* node) {
    RibbonTab tab;
    tab.idMso = Attribute(node, L"idMso");
    if (tab.idMso.empty() && Attribute(node, L"id").empty()) Problem(L"a tab has neither idMso nor id");
    for (const auto& group : Children(node, L"group")) tab.groups.push_back(Group(group.Get()));
    return tab;
  }

  RibbonGroup Group(IXMLDOMNode* node) {
    RibbonGroup group;
    group.id = Attribute(node, L"id");
    group.label = Attribute(node, L"label");
    Id(group.id, L"a group");
    for (const auto& button : Children(node, L"button")) group.buttons.push_back(Button(button.Get()));
    for (const auto& launcher : Children(node, L"dialogBoxLauncher")) {
      const auto buttons = Children(launcher.Get(), L"button");
      if (buttons.size() != 1) {
        Problem(L"the dialogBoxLauncher of group " + group.id + L" does not hold exactly one button");
        continue;
      }
      RibbonLauncher button{Attribute(buttons[0].Get(), L"id"), Attribute(buttons[0].Get(), L"onAction")};
      Id(button.id, L"a dialogBoxLauncher button");
      group.launchers.push_back(button);
    }
    return group;
  }

  RibbonButton Button(IXMLDOMNode* node) {
    RibbonButton button{Attribute(node, L"id"),       Attribute(node, L"label"),
                        Attribute(node, L"size"),     Attribute(node, L"showImage"),
                        Attribute(node, L"onAction"), Attribute(node, L"getImage")};
    Id(button.id, L"a button");
    if (!button.size.empty() && button.size != L"normal" && button.size != L"large")
      Problem(L"button " + button.id + L" has size \"" + button.size + L"\"");
    static const std::set<std::wstring> kBooleans = {L"true", L"false", L"1", L"0"};
    if (!button.showImage.empty() && !kBooleans.count(button.showImage))
      Problem(L"button " + button.id + L" has showImage \"" + button.showImage + L"\"");
    return button;
  }

  // Office refuses a control without an id, and two controls of one id.
  void Id(const std::wstring& id, const wchar_t* what) {
    if (id.empty())
      Problem(std::wstring(what) + L" has no id");
    else if (!ids_.insert(id).second)
      Problem(L"the id " + id + L" is used twice");
  }

  void Problem(std::wstring text) { result_.problems.push_back(std::move(text)); }

  RibbonXmlCheck& result_;
  std::set<std::wstring> ids_;
};

ComPtr<IXMLDOMDocument2> NewDocument(HRESULT* hr) {
  ComPtr<IXMLDOMDocument2> document;
  *hr = ::CoCreateInstance(kDomDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&document));
  if (FAILED(*hr))
    *hr = ::CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&document));
  return document;
}

}  // namespace

std::vector<RibbonButton> RibbonXmlCheck::Buttons() const {
  std::vector<RibbonButton> buttons;
  for (const RibbonTab& tab : tabs)
    for (const RibbonGroup& group : tab.groups)
      buttons.insert(buttons.end(), group.buttons.begin(), group.buttons.end());
  return buttons;
}

bool RibbonXmlCheck::FindAction(const std::wstring& controlId, std::wstring* onAction) const {
  for (const RibbonTab& tab : tabs) {
    for (const RibbonGroup& group : tab.groups) {
      for (const RibbonButton& button : group.buttons)
        if (button.id == controlId) return *onAction = button.onAction, true;
      for (const RibbonLauncher& launcher : group.launchers)
        if (launcher.id == controlId) return *onAction = launcher.onAction, true;
    }
  }
  return false;
}

RibbonXmlCheck CheckRibbonXml(const std::wstring& xml) {
  RibbonXmlCheck result;
  HRESULT hr = S_OK;
  ComPtr<IXMLDOMDocument2> document = NewDocument(&hr);
  if (!document) {
    result.parseError = L"MSXML is not available (CoCreateInstance failed)";
    result.problems.push_back(result.parseError);
    return result;
  }
  document->put_async(VARIANT_FALSE);
  document->put_validateOnParse(VARIANT_FALSE);
  document->put_resolveExternals(VARIANT_FALSE);
  Qv::UniqueBstr text(::SysAllocStringLen(xml.data(), static_cast<UINT>(xml.size())));
  VARIANT_BOOL loaded = VARIANT_FALSE;
  hr = document->loadXML(text.Get(), &loaded);
  ComPtr<IXMLDOMElement> root;
  if (SUCCEEDED(hr) && loaded == VARIANT_TRUE) document->get_documentElement(&root);
  if (!root) {
    ComPtr<IXMLDOMParseError> error;
    BSTR reason = nullptr;
    long line = 0, column = 0;
    if (SUCCEEDED(document->get_parseError(&error)) && error) {
      error->get_reason(&reason);
      error->get_line(&line);
      error->get_linepos(&column);
    }
    std::wstring why = Take(reason);
    while (!why.empty() && (why.back() == L'\n' || why.back() == L'\r')) why.pop_back();
    result.parseError = (why.empty() ? L"no document" : why) + L" (line " + std::to_wstring(line) +
                        L", column " + std::to_wstring(column) + L")";
    result.problems.push_back(L"not well-formed: " + result.parseError);
    return result;
  }
  result.wellFormed = true;
  Checker(result).Root(root.Get());
  return result;
}

}  // namespace OutlookSim
