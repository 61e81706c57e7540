#pragma once
// Narrow-text helpers. Text inside the add-in is in the system's ANSI code page; these
// helpers step over double-byte characters where a byte could be mistaken for ASCII.
#include <windows.h>

#include <string>
#include <string_view>

namespace Qv {

// White space as the add-in trims it: the space and the control characters 0x09..0x0D.
inline bool IsWhiteSpace(char c) noexcept {
  const unsigned char u = static_cast<unsigned char>(c);
  return u == ' ' || (u >= 0x09 && u <= 0x0D);
}

std::string TrimWhiteSpace(std::string_view text);
bool IsBlank(std::string_view text);

// printf-style formatting into a string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Conversions between the ANSI code page and UTF-16 (COM and registry boundaries).
std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);

// Position of the last byte c that is a character of its own (not the trail byte of
// a double-byte character), or npos when there is none. c must be below 0x80.
size_t FindLastChar(std::string_view text, char c);

// Length in bytes of the character that starts at text[i] (1 or 2) in the ANSI code page.
inline size_t CharLength(std::string_view text, size_t i) noexcept {
  return (i + 1 < text.size() && ::IsDBCSLeadByte(static_cast<BYTE>(text[i]))) ? 2 : 1;
}

}  // namespace Qv
