#include "AddinUi.h"

#include <mutex>

namespace Addin {
namespace {

std::mutex g_lock;

AddinUi Completed(AddinUi ui) {
  if (!ui.showNoAccessWarning) ui.showNoAccessWarning = [](HWND, const std::string&) {};
  if (!ui.runConfigWizard) ui.runConfigWizard = [](CSettings&) { return IDCANCEL; };
  if (!ui.runCategoryEditor) ui.runCategoryEditor = [](const CPublicFileLocation&) {};
  if (!ui.runOptionsSheet) ui.runOptionsSheet = [] {};
  if (!ui.installCommandBars) ui.installCommandBars = [](IDispatch*) {};
  return ui;
}

AddinUi& Table() {
  static AddinUi table = Completed(AddinUi());
  return table;
}

}  // namespace

const AddinUi& CurrentAddinUi() {
  std::lock_guard<std::mutex> guard(g_lock);
  return Table();
}

AddinUi SetAddinUi(AddinUi ui) {
  std::lock_guard<std::mutex> guard(g_lock);
  AddinUi previous = Table();
  Table() = Completed(std::move(ui));
  return previous;
}

}  // namespace Addin
