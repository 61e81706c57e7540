#include "qv/Registrar.h"

#include <cwctype>
#include <memory>
#include <vector>

#include "qv/Handles.h"

namespace Qv {
namespace {

// A script parsed into a tree before anything is written, so a malformed script changes
// nothing.
struct ScriptValue {
  wchar_t type = 0;  // 's' or 'd'
  std::wstring text;
};

struct ScriptKey {
  std::wstring name;
  bool noRemove = false;
  bool forceRemove = false;
  bool hasDefault = false;
  ScriptValue defaultValue;
  std::vector<std::pair<std::wstring, ScriptValue>> values;
  std::vector<ScriptKey> children;
};

class ScriptParser {
 public:
  ScriptParser(const std::wstring& text) : text_(text) {}

  std::vector<std::pair<HKEY, ScriptKey>> ParseRoots() {
    std::vector<std::pair<HKEY, ScriptKey>> roots;
    for (;;) {
      SkipSpace();
      if (AtEnd()) break;
      const std::wstring name = Token();
      ScriptKey root;
      root.name = name;
      root.noRemove = true;  // a root is never deleted
      SkipSpace();
      if (Peek() != L'{') Fail("'{' expected after " + Narrow(name));
      ParseBlock(root);
      roots.emplace_back(RootKey(name), std::move(root));
    }
    return roots;
  }

 private:
  static std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
  [[noreturn]] void Fail(const std::string& what) const {
    throw RegistryScriptError("registry script, offset " + std::to_string(position_) + ": " + what);
  }

  static HKEY RootKey(const std::wstring& name) {
    const wchar_t* names[] = {L"HKCR", L"HKEY_CLASSES_ROOT", L"HKCU", L"HKEY_CURRENT_USER",
                              L"HKLM", L"HKEY_LOCAL_MACHINE", L"HKU", L"HKEY_USERS"};
    HKEY keys[] = {HKEY_CLASSES_ROOT, HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_CURRENT_USER,
                   HKEY_LOCAL_MACHINE, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_USERS};
    for (size_t i = 0; i < sizeof(names) / sizeof(names[0]); ++i)
      if (::_wcsicmp(name.c_str(), names[i]) == 0) return keys[i];
    throw RegistryScriptError("registry script: unknown root key " + Narrow(name));
  }

  bool AtEnd() const { return position_ >= text_.size(); }
  wchar_t Peek() const { return AtEnd() ? L'\0' : text_[position_]; }
  void SkipSpace() {
    while (!AtEnd() && std::iswspace(text_[position_])) ++position_;
  }

  // A bare word or a quoted string.
  std::wstring Token() {
    SkipSpace();
    if (AtEnd()) Fail("unexpected end");
    std::wstring token;
    if (Peek() == L'\'') {
      ++position_;
      for (;;) {
        if (AtEnd()) Fail("unterminated quoted string");
        const wchar_t c = text_[position_++];
        if (c == L'\'') {
          if (Peek() == L'\'') {
            token += L'\'';
            ++position_;
            continue;
          }
          break;
        }
        token += c;
      }
      return token;
    }
    // A GUID written bare ({...}) is a name, not the start of a block.
    if (Peek() == L'{' && position_ + 1 < text_.size() && std::iswxdigit(text_[position_ + 1])) {
      const size_t end = text_.find(L'}', position_);
      if (end == std::wstring::npos) Fail("unterminated GUID");
      token = text_.substr(position_, end + 1 - position_);
      position_ = end + 1;
      return token;
    }
    while (!AtEnd() && !std::iswspace(Peek()) && Peek() != L'{' && Peek() != L'}' && Peek() != L'=')
      token += text_[position_++];
    if (token.empty()) Fail("name expected");
    return token;
  }

  static bool Is(const std::wstring& token, const wchar_t* word) {
    return ::_wcsicmp(token.c_str(), word) == 0;
  }

  ScriptValue Value() {
    SkipSpace();
    if (Peek() != L'=') Fail("'=' expected");
    ++position_;
    const std::wstring type = Token();
    ScriptValue value;
    if (Is(type, L"s"))
      value.type = L's';
    else if (Is(type, L"d"))
      value.type = L'd';
    else
      Fail("value type s or d expected");
    value.text = Token();
    return value;
  }

  void ParseBlock(ScriptKey& parent) {
    ++position_;  // '{'
    for (;;) {
      SkipSpace();
      if (AtEnd()) Fail("'}' expected");
      if (Peek() == L'}') {
        ++position_;
        return;
      }
      std::wstring token = Token();
      if (Is(token, L"val")) {
        std::wstring name = Token();
        parent.values.emplace_back(std::move(name), Value());
        continue;
      }
      ScriptKey key;
      for (;;) {
        if (Is(token, L"NoRemove"))
          key.noRemove = true;
        else if (Is(token, L"ForceRemove"))
          key.forceRemove = true;
        else
          break;
        token = Token();
      }
      key.name = token;
      SkipSpace();
      if (Peek() == L'=') {
        key.hasDefault = true;
        key.defaultValue = Value();
        SkipSpace();
      }
      if (Peek() == L'{') ParseBlock(key);
      parent.children.push_back(std::move(key));
    }
  }

  std::wstring text_;
  size_t position_ = 0;
};

LSTATUS SetValue(HKEY key, const wchar_t* name, const ScriptValue& value) {
  if (value.type == L'd') {
    const DWORD number = static_cast<DWORD>(std::wcstoul(value.text.c_str(), nullptr, 0));
    return ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                            sizeof(number));
  }
  return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                          static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t)));
}

void Keep(LSTATUS& first, LSTATUS status) {
  if (first == ERROR_SUCCESS && status != ERROR_SUCCESS) first = status;
}

LSTATUS RegisterKey(HKEY parent, const ScriptKey& key) {
  if (key.forceRemove) ::RegDeleteTreeW(parent, key.name.c_str());
  UniqueHKey opened;
  LSTATUS status = ::RegCreateKeyExW(parent, key.name.c_str(), 0, nullptr, 0,
                                     KEY_READ | KEY_WRITE, nullptr, opened.Receive(), nullptr);
  if (status != ERROR_SUCCESS) return status;
  if (key.hasDefault) Keep(status, SetValue(opened.Get(), nullptr, key.defaultValue));
  for (const auto& value : key.values) Keep(status, SetValue(opened.Get(), value.first.c_str(), value.second));
  for (const ScriptKey& child : key.children) Keep(status, RegisterKey(opened.Get(), child));
  return status;
}

bool Gone(LSTATUS status) {
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND;
}

LSTATUS UnregisterKey(HKEY parent, const ScriptKey& key) {
  if (!key.noRemove) {
    const LSTATUS status = ::RegDeleteTreeW(parent, key.name.c_str());
    return Gone(status) ? ERROR_SUCCESS : status;
  }
  UniqueHKey opened;
  LSTATUS status = ::RegOpenKeyExW(parent, key.name.c_str(), 0, KEY_READ | KEY_WRITE, opened.Receive());
  if (status != ERROR_SUCCESS) return Gone(status) ? ERROR_SUCCESS : status;
  for (const auto& value : key.values) {
    const LSTATUS deleted = ::RegDeleteValueW(opened.Get(), value.first.c_str());
    if (!Gone(deleted)) Keep(status, deleted);
  }
  for (const ScriptKey& child : key.children) Keep(status, UnregisterKey(opened.Get(), child));
  return status;
}

}  // namespace

void QvRegistrar::AddReplacement(const std::wstring& name, const std::wstring& value) {
  replacements_[name] = value;
}

LSTATUS QvRegistrar::Register(const std::string& script) const { return Run(script, true); }
LSTATUS QvRegistrar::Unregister(const std::string& script) const { return Run(script, false); }

LSTATUS QvRegistrar::Run(const std::string& script, bool registering) const {
  // Scripts are ASCII apart from what the replacements bring in, which is already UTF-16.
  std::wstring expanded;
  for (size_t i = 0; i < script.size(); ++i) {
    const char c = script[i];
    if (c != '%') {
      expanded += static_cast<wchar_t>(static_cast<unsigned char>(c));
      continue;
    }
    const size_t end = script.find('%', i + 1);
    if (end == std::string::npos) throw RegistryScriptError("registry script: unmatched %");
    if (end == i + 1) {
      expanded += L'%';
    } else {
      const std::string name = script.substr(i + 1, end - i - 1);
      const auto found = replacements_.find(std::wstring(name.begin(), name.end()));
      if (found == replacements_.end())
        throw RegistryScriptError("registry script: no replacement for %" + name + "%");
      // A quote in a replacement would end the quoted string it stands in.
      for (wchar_t w : found->second) {
        expanded += w;
        if (w == L'\'') expanded += L'\'';
      }
    }
    i = end;
  }

  const auto roots = ScriptParser(expanded).ParseRoots();
  LSTATUS status = ERROR_SUCCESS;
  for (const auto& root : roots)
    for (const ScriptKey& key : root.second.children)
      Keep(status, registering ? RegisterKey(root.first, key) : UnregisterKey(root.first, key));
  return status;
}

std::string QvRegistrar::LoadScript(HMODULE module, UINT id) {
  HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(id), "REGISTRY");
  if (!found) throw RegistryScriptError("registry script resource " + std::to_string(id) + " missing");
  HGLOBAL loaded = ::LoadResource(module, found);
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  if (!bytes) throw RegistryScriptError("registry script resource " + std::to_string(id) + " unreadable");
  return std::string(static_cast<const char*>(bytes), ::SizeofResource(module, found));
}

}  // namespace Qv
