#pragma once
// The explorer's frame window: a real top-level window of Outlook's own class name on the
// UI thread, showing the master category list so a screenshot tells what Outlook holds.
// Closing it (WM_CLOSE) closes the explorer, Close event first; `allClosed` is set when
// it was the last one.
#include <windows.h>

#include <memory>

namespace OutlookSim {

class SimModel;

// Creates and shows the window and adds the explorer to the model. Null on failure.
HWND OpenExplorerWindow(const std::shared_ptr<SimModel>& model, HANDLE allClosed);

}  // namespace OutlookSim
