#include "MessageBoxes.h"

#include <mutex>

namespace Error {

namespace {

// Message boxes may surface on any thread that shows one; the presenter is swapped by tests.
std::mutex& StateLock() {
  static std::mutex lock;
  return lock;
}
MessageBoxPresenter& Presenter() {
  static MessageBoxPresenter presenter;
  return presenter;
}
std::string& AppName() {
  static std::string name = "Velmora Tagsy";
  return name;
}

UINT WithDefaultIcon(UINT style) {
  if ((style & MB_ICONMASK) != 0) return style;
  switch (style & MB_TYPEMASK) {
    case MB_OK:
    case MB_OKCANCEL:
      return style | MB_ICONEXCLAMATION;
    case MB_YESNO:
    case MB_YESNOCANCEL:
      return style | MB_ICONQUESTION;
    default:
      return style;
  }
}

}  // namespace

MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter) {
  std::lock_guard<std::mutex> guard(StateLock());
  std::swap(Presenter(), presenter);
  return presenter;
}

int ShowMessageBox(const MessageBoxRequest& request) {
  MessageBoxPresenter presenter;
  {
    std::lock_guard<std::mutex> guard(StateLock());
    presenter = Presenter();
  }
  if (presenter) return presenter(request);
  return ::MessageBoxA(request.owner, request.text.c_str(), request.caption.c_str(), request.style);
}

void SetApplicationName(std::string name) {
  std::lock_guard<std::mutex> guard(StateLock());
  AppName() = std::move(name);
}

std::string ApplicationName() {
  std::lock_guard<std::mutex> guard(StateLock());
  return AppName();
}

int AppMessageBox(const std::string& text, UINT style) {
  return ShowMessageBox({::GetActiveWindow(), text, ApplicationName(), WithDefaultIcon(style)});
}

}  // namespace Error
