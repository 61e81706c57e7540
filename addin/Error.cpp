#include "Error.h"

#include <cstring>

#include "MessageBoxes.h"
#include "qv/Text.h"

namespace Error {

namespace {

std::string FileNamePart(const char* path) {
  if (path == nullptr) return {};
  const char* cut = std::strrchr(path, '\\');
  if (cut == nullptr) cut = std::strrchr(path, '/');
  return cut ? std::string(cut + 1) : std::string(path);
}

}  // namespace

std::string SystemMessage(DWORD code) {
  char* buffer = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text;
  if (length != 0 && buffer != nullptr) text.assign(buffer, length);
  if (buffer != nullptr) ::LocalFree(buffer);
  return text;
}

QvException::QvException(const char* file, int line) : file_(FileNamePart(file)), line_(line) {}

int QvException::ShowMessage(UINT type) const {
  std::string text = Qv::TrimWhiteSpace(GetText());
  if (text.empty())
    text = Qv::Format("Unknown error occured\nFile: %s, Line: %d", file_.c_str(), line_);
  return ShowMessageBox({nullptr, text, "Error", type});
}

QvExceptionText::QvExceptionText(std::string text, const char* file, int line)
    : QvException(file, line), text_(std::move(text)) {}

QvExceptionCommon::QvExceptionCommon(DWORD code, std::string text, const char* file, int line)
    : QvException(file, line), code_(code), text_(std::move(text)) {}

std::string QvExceptionCommon::GetText() const {
  const std::string system = code_ != 0 ? Qv::TrimWhiteSpace(SystemMessage(code_)) : std::string();
  const std::string text =
      system.empty()
          ? Qv::Format("(%#x) %s", static_cast<unsigned>(code_), text_.c_str())
          : Qv::Format("%s (%#x)\n\n%s", system.c_str(), static_cast<unsigned>(code_), text_.c_str());
  return Qv::TrimWhiteSpace(text);
}

}  // namespace Error
