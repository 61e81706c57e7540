#pragma once
// Registry scripts in the registrar's language, the form COM servers keep their
// registration in (a resource of type "REGISTRY"):
//
//   HKCR
//   {
//       NoRemove CLSID
//       {
//           ForceRemove {...} = s 'Thing Class'
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Apartment'
//               }
//           }
//       }
//   }
//
// Keys are created or opened; `= s 'text'` sets the default value, `val Name = s|d ...`
// a named one. ForceRemove deletes the key's tree before writing it; NoRemove keeps the
// key at unregistration (only its non-NoRemove children and values are removed); every
// other key goes with its whole tree. %NAME% is replaced from the caller's table and %%
// stands for one %; inside quotes '' is one quote.
#include <windows.h>

#include <map>
#include <stdexcept>
#include <string>

namespace Qv {

class RegistryScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class QvRegistrar {
 public:
  // Replacements for %NAME% (the name without the percent signs).
  void AddReplacement(const std::wstring& name, const std::wstring& value);

  // Throw RegistryScriptError for a malformed script; return the first failing registry
  // status otherwise (ERROR_SUCCESS when every write succeeded). Unregistration does not
  // count keys that are already gone as failures.
  LSTATUS Register(const std::string& script) const;
  LSTATUS Unregister(const std::string& script) const;

  // The script stored as resource `id` of type "REGISTRY" in `module`.
  static std::string LoadScript(HMODULE module, UINT id);

 private:
  LSTATUS Run(const std::string& script, bool registering) const;
  std::map<std::wstring, std::wstring> replacements_;
};

}  // namespace Qv
