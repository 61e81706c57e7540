#pragma once
// User-visible text comes from string resources of the current resource module: the
// language library when one is loaded, else the module that carries the Polish strings.
#include <windows.h>

#include <string>

namespace Qv {

// The module string resources are loaded from; the executable until someone sets one.
HMODULE ResourceModule();
void SetResourceModule(HMODULE module);

// String `id` in the ANSI code page; "" when the module has no such string.
std::string LoadText(UINT id);

// String `id` with its "%s" replaced by `argument` (and "%%" by "%"). The text is never
// used as a printf format, so a stray % in a translation cannot do harm.
std::string FormatText(UINT id, const std::string& argument);

}  // namespace Qv
