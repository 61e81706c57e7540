#pragma once
// Text with its line breaks and backslashes escaped, so a report can carry it on one line.
#include <string>

inline std::string Escaped(const std::string& text) {
  std::string result;
  for (const char c : text) {
    if (c == '\n') result += "\\n";
    else if (c == '\\') result += "\\\\";
    else result += c;
  }
  return result;
}
