#pragma once
// Reading a module's XML resource in a test: its bytes, and the tree of elements MSXML makes
// of them. MSXML decodes the bytes by the encoding their declaration names, so a wrong
// declaration shows up as wrong letters.
#include <windows.h>
#include <msxml2.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "qv/ComObject.h"
#include "qv/Handles.h"
#include "qv/Text.h"

namespace XmlTree {

constexpr UINT kRibbonXmlId = 2038;

// Resource `id` of type "XML", byte for byte; throws when the module has none.
inline std::string ResourceBytes(HMODULE module, UINT id = kRibbonXmlId) {
  HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(id), "XML");
  if (found == nullptr) throw std::runtime_error("no XML resource " + std::to_string(id));
  HGLOBAL loaded = ::LoadResource(module, found);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (data == nullptr) throw std::runtime_error("cannot load XML resource");
  return std::string(static_cast<const char*>(data), ::SizeofResource(module, found));
}

struct Element {
  std::wstring name;
  std::wstring namespaceUri;
  // Namespace declarations left out (Wine's MSXML does not list them; namespaceUri says
  // what they declared).
  std::map<std::wstring, std::wstring> attributes;
  std::vector<Element> children;                     // elements only
};

namespace detail {

inline std::wstring Text(BSTR text) { return text ? std::wstring(text, ::SysStringLen(text)) : L""; }

inline Element Read(IXMLDOMNode* node) {
  Element element;
  Qv::UniqueBstr text;
  node->get_nodeName(text.Receive());
  element.name = Text(text.Get());
  node->get_namespaceURI(text.Receive());
  element.namespaceUri = Text(text.Get());

  Microsoft::WRL::ComPtr<IXMLDOMNamedNodeMap> attributes;
  long count = 0;
  if (SUCCEEDED(node->get_attributes(&attributes)) && attributes &&
      SUCCEEDED(attributes->get_length(&count))) {
    for (long i = 0; i < count; ++i) {
      Microsoft::WRL::ComPtr<IXMLDOMNode> attribute;
      if (FAILED(attributes->get_item(i, &attribute)) || !attribute) continue;
      Qv::UniqueBstr name, value;
      attribute->get_nodeName(name.Receive());
      attribute->get_text(value.Receive());
      const std::wstring key = Text(name.Get());
      if (key == L"xmlns" || key.rfind(L"xmlns:", 0) == 0) continue;
      element.attributes[key] = Text(value.Get());
    }
  }

  Microsoft::WRL::ComPtr<IXMLDOMNodeList> children;
  if (SUCCEEDED(node->get_childNodes(&children)) && children &&
      SUCCEEDED(children->get_length(&count))) {
    for (long i = 0; i < count; ++i) {
      Microsoft::WRL::ComPtr<IXMLDOMNode> child;
      DOMNodeType type = NODE_INVALID;
      if (SUCCEEDED(children->get_item(i, &child)) && child &&
          SUCCEEDED(child->get_nodeType(&type)) && type == NODE_ELEMENT)
        element.children.push_back(Read(child.Get()));
    }
  }
  return element;
}

}  // namespace detail

// The root element of the document the bytes hold, parsed by MSXML 3 from a stream (so
// the declaration decides the encoding). The calling thread must be in an apartment.
inline Element Parse(const std::string& bytes) {
  // DOMDocument30; the mingw headers declare the class without its id.
  static const CLSID kDomDocument30 = {
      0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
  Microsoft::WRL::ComPtr<IXMLDOMDocument> document;
  HRESULT hr = ::CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IXMLDOMDocument, reinterpret_cast<void**>(document.GetAddressOf()));
  if (FAILED(hr)) throw std::runtime_error("no DOMDocument: " + std::to_string(hr));

  IStream* raw = ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()),
                                     static_cast<UINT>(bytes.size()));
  if (raw == nullptr) throw std::runtime_error("SHCreateMemStream");
  const Microsoft::WRL::ComPtr<IStream> stream = Qv::AdoptReference(raw);
  VARIANT source;
  ::VariantInit(&source);
  source.vt = VT_UNKNOWN;
  source.punkVal = stream.Get();  // borrowed for the call
  VARIANT_BOOL loaded = VARIANT_FALSE;
  hr = document->load(source, &loaded);
  if (FAILED(hr) || loaded != VARIANT_TRUE) {
    std::string reason = "the XML does not parse";
    Microsoft::WRL::ComPtr<IXMLDOMParseError> error;
    Qv::UniqueBstr text;
    if (SUCCEEDED(document->get_parseError(&error)) && error &&
        SUCCEEDED(error->get_reason(text.Receive())) && text) {
      reason += ": " + Qv::WideToAnsi(detail::Text(text.Get()));
    }
    throw std::runtime_error(reason);
  }
  Microsoft::WRL::ComPtr<IXMLDOMElement> root;
  if (FAILED(document->get_documentElement(&root)) || !root)
    throw std::runtime_error("the XML has no root element");
  return detail::Read(root.Get());
}

}  // namespace XmlTree
