#pragma once
// The one place that shows message boxes. Tests install a presenter that records what would
// be shown (owner, text, caption, style) and answers for the user.
#include <windows.h>

#include <functional>
#include <string>

namespace Error {

struct MessageBoxRequest {
  HWND owner = nullptr;
  std::string text;     // ANSI code page
  std::string caption;  // ANSI code page
  UINT style = 0;
};

using MessageBoxPresenter = std::function<int(const MessageBoxRequest&)>;

// Replaces the presenter (an empty one means the real MessageBoxA); returns the previous.
MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter);

// Shows one box through the current presenter and returns the button pressed.
int ShowMessageBox(const MessageBoxRequest& request);

// The application's name, the caption of the application message box.
void SetApplicationName(std::string name);
std::string ApplicationName();

// The application message box: owned by the calling thread's active window, captioned with
// the application name. With no icon in `style`, OK boxes get the exclamation icon and
// Yes/No boxes the question icon.
int AppMessageBox(const std::string& text, UINT style = 0);

}  // namespace Error
