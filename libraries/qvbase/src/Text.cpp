#include "qv/Text.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace Qv {

std::string TrimWhiteSpace(std::string_view text) {
  size_t begin = 0, end = text.size();
  // White-space bytes are all below 0x40, so none of them can be a trail byte.
  while (begin < end && IsWhiteSpace(text[begin])) ++begin;
  while (end > begin && IsWhiteSpace(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

bool IsBlank(std::string_view text) {
  for (char c : text)
    if (!IsWhiteSpace(c)) return false;
  return true;
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string result;
  if (length > 0) {
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, again);
    result.assign(buffer.data(), static_cast<size_t>(length));
  }
  va_end(again);
  return result;
}

std::wstring AnsiToWide(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int needed = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring result(static_cast<size_t>(needed), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, result.data(), needed);
  return result;
}

std::string WideToAnsi(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int needed =
      ::WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(needed), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text.data(), size, result.data(), needed, nullptr, nullptr);
  return result;
}

size_t FindLastChar(std::string_view text, char c) {
  size_t found = std::string_view::npos;
  for (size_t i = 0; i < text.size(); i += CharLength(text, i))
    if (text[i] == c) found = i;
  return found;
}

}  // namespace Qv
