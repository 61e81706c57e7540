#pragma once
// Office's type libraries as the simulated Outlook carries them: the Add-in Designer
// library (IDTExtensibility2) and Office's library with the ribbon interfaces, embedded
// next to Outlook's own (resource 1) as resources 2 and 3 of every binary that links the
// simulation. Office setup registers both; an add-in serves IDTExtensibility2's dispatch
// from the registered Add-in Designer library, and COM marshals the interfaces with them.
#include <windows.h>

#include "qv/TypeLibDispatch.h"

namespace OutlookSim {

Qv::TypeLibrary& AddInDesignerTypeLibrary();
Qv::TypeLibrary& OfficeTypeLibrary();

// Registers both in HKEY_CLASSES_ROOT, as Office setup does. The first failure, or S_OK.
HRESULT RegisterOfficeTypeLibraries();

}  // namespace OutlookSim
