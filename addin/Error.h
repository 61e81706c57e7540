#pragma once
// The add-in's own exceptions. Thrown by value, caught by reference to QvException.
#include <windows.h>

#include <string>

namespace Error {

// Style every caller passes to ShowMessage: error icon, set-foreground, topmost.
constexpr UINT kErrorBoxStyle = MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST;

class QvException {
 public:
  // `file` may be a full source path; only its last component is kept. Null gives "".
  QvException(const char* file, int line);
  virtual ~QvException() = default;
  virtual std::string GetText() const = 0;

  // Shows the text in a box with no owner and the caption "Error"; returns the button.
  int ShowMessage(UINT type) const;

  const std::string& File() const noexcept { return file_; }
  int Line() const noexcept { return line_; }

 private:
  std::string file_;
  int line_ = 0;
};

class QvExceptionText : public QvException {
 public:
  QvExceptionText(std::string text, const char* file, int line);
  std::string GetText() const override { return text_; }

 private:
  std::string text_;
};

// A failure with a Win32 error code; the text adds the system's message for the code.
class QvExceptionCommon : public QvException {
 public:
  QvExceptionCommon(DWORD code, std::string text, const char* file, int line);
  std::string GetText() const override;
  DWORD Code() const noexcept { return code_; }

 private:
  DWORD code_ = 0;
  std::string text_;
};

// The system's message for a Win32 error or HRESULT (language neutral), or "".
std::string SystemMessage(DWORD code);

}  // namespace Error

#define QV_THROW_TEXT(text) throw ::Error::QvExceptionText((text), __FILE__, __LINE__)
#define QV_THROW_LAST_ERROR(text) \
  throw ::Error::QvExceptionCommon(::GetLastError(), (text), __FILE__, __LINE__)
