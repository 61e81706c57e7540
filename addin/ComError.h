#pragma once
// COM failures: the one funnel that turns a failed HRESULT into the platform's _com_error,
// and the text shown for such an error.
#include <windows.h>
#include <comdef.h>

#include <string>

namespace Error {

// Raises _com_error for a failed `hr`, carrying the object's error information when the
// object says (ISupportErrorInfo) that it has some for interface `iid`.
void ThrowIfFailed(HRESULT hr, IUnknown* object, REFIID iid);

// Raises _com_error without error information (a wrapper holding no object: E_POINTER).
[[noreturn]] void ThrowComError(HRESULT hr);

// "<description> - <system message>", with "(null)" when the error has no description.
std::string ComErrorText(const _com_error& error);

// The system's message for an HRESULT, without its trailing line break; when the system
// has none, "IDispatch error #n" or "Unknown error 0x...".
std::string HResultMessage(HRESULT hr);

}  // namespace Error
