#pragma once
// The type libraries the add-in's dispatch interfaces are served from.
#include "qv/TypeLibDispatch.h"

namespace Addin {

// QvParvaneExtLib: the module's TYPELIB resource that carries it (resource 1 of
// Tagsy.dll; a test program that links the add-in's code may hold it under another id).
Qv::TypeLibrary& AddinTypeLibrary();
// Office's, as Office setup registered them: the Add-in Designer library 1.0
// (IDTExtensibility2) and the Office library 2.4 or later (the ribbon interfaces).
Qv::TypeLibrary& AddInDesignerTypeLibrary();
Qv::TypeLibrary& OfficeTypeLibrary();

}  // namespace Addin
