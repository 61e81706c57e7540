#pragma once
// The windows the add-in opens from its entry points: the no-access warning, the
// configuration wizard, the category editor, the options page and, before Outlook 2010,
// the command-bar button. The entry points decide when each is due and call it through
// this table, which the dialogs' own code fills in; tests put recorders here.
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>

#include "Settings.h"

namespace Addin {

struct AddinUi {
  // Modal, owned by `parent` (may be null); `path` is the public file location.
  std::function<void(HWND parent, const std::string& path)> showNoAccessWarning;
  // Modal, on a copy of the settings the caller saves on Finish; returns how it ended
  // (ID_WIZFINISH for Finish).
  std::function<int(CSettings& settings)> runConfigWizard;
  // Modal; the hint flag set, no parent.
  std::function<void(const CPublicFileLocation& location)> runCategoryEditor;
  // The options page in a property sheet captioned with the application name.
  std::function<void()> runOptionsSheet;
  // The toolbar button and the Tools-menu item on an explorer; raises on failure.
  std::function<void(IDispatch* explorer)> installCommandBars;
};

// The table in use (every member set: the ones nobody filled in do nothing and the
// wizard reports a cancel).
const AddinUi& CurrentAddinUi();
// Replaces the table; members left empty keep doing nothing. Returns the previous one.
AddinUi SetAddinUi(AddinUi ui);

inline constexpr int kWizardFinish = 12325;  // ID_WIZFINISH

}  // namespace Addin
