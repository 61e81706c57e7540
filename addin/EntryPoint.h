#pragma once
// The catch ladder that every method Outlook or Office calls into wraps its body in.
#include <windows.h>
#include <comdef.h>

#include <string>

#include "ComError.h"
#include "Error.h"
#include "MessageBoxes.h"

namespace Error {

// What one entry point shows for the errors that are not the add-in's own.
struct EntryPointTexts {
  const char* otherFailure;  // fixed text for anything that is neither QvException nor COM
  UINT comErrorStyle = 0;
  UINT otherFailureStyle = 0;
  // Entry points that make no COM calls of their own report a COM error as "anything
  // else".
  bool reportComErrors = true;
};

// Runs `body`; any exception is shown (never rethrown) and the caller returns success.
template <class Body>
void GuardEntryPoint(const EntryPointTexts& texts, Body&& body) noexcept {
  try {
    try {
      body();
    } catch (const QvException& e) {
      e.ShowMessage(kErrorBoxStyle);
    } catch (const _com_error& e) {
      if (texts.reportComErrors)
        AppMessageBox(ComErrorText(e), texts.comErrorStyle);
      else
        AppMessageBox(texts.otherFailure, texts.otherFailureStyle);
    } catch (...) {
      AppMessageBox(texts.otherFailure, texts.otherFailureStyle);
    }
  } catch (...) {
    // Showing the message failed too (out of memory): nothing more can be said.
  }
}

// One step of a teardown path: failures are swallowed so the next step still runs.
template <class Step>
void GuardTeardownStep(Step&& step) noexcept {
  try {
    step();
  } catch (...) {
  }
}

}  // namespace Error
