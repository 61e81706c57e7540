#include "CategoryItem.h"

#include <windows.h>
#include <mbstring.h>

namespace {

bool AnsiCodePageIsDoubleByte() {
  static const bool doubleByte = [] {
    CPINFO info = {};
    return ::GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1;
  }();
  return doubleByte;
}

unsigned char FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

// What the runtime's comparison does on a single-byte code page in the "C" locale: only
// ASCII letters fold and bytes compare unsigned. Wine's msvcrt compares signed bytes there,
// which would sort national letters below ASCII, so this case is done here.
int CompareSingleByte(const std::string& a, const std::string& b) {
  const auto* x = reinterpret_cast<const unsigned char*>(a.c_str());
  const auto* y = reinterpret_cast<const unsigned char*>(b.c_str());
  for (;; ++x, ++y) {
    const int diff = FoldAscii(*x) - FoldAscii(*y);
    if (diff != 0 || *x == 0) return diff;
  }
}

}  // namespace

int CompareCategoryNames(const std::string& a, const std::string& b) noexcept {
  if (!AnsiCodePageIsDoubleByte()) return CompareSingleByte(a, b);
  // The runtime's multibyte code page is the ANSI code page from process start-up.
  return _mbsicmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                  reinterpret_cast<const unsigned char*>(b.c_str()));
}
