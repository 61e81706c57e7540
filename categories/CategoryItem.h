#pragma once
// A category as every part of the add-in exchanges it: a name and Outlook's colour number.
#include <string>

// Case-insensitive comparison of two category names: the C runtime's multibyte comparison
// in the ANSI code page. On a single-byte code page only ASCII letters fold (so "Ą" and "ą"
// are two names); on a double-byte code page each character folds as a whole.
// Returns <0, 0 or >0.
int CompareCategoryNames(const std::string& a, const std::string& b) noexcept;

struct CCategoryItem {
  CCategoryItem() = default;
  CCategoryItem(std::string itemName, int itemColour = 0)  // NOLINT: a name alone is an item
      : name(std::move(itemName)), colour(itemColour) {}

  std::string name;  // ANSI code page; neither trimmed nor checked
  int colour = 0;    // 0 = no colour, 1..25 Outlook's colours; not range-checked here
};

// Orders by name, case-insensitively; colours are ignored.
struct BinCategoryItemNoCaseLess {
  bool operator()(const CCategoryItem& a, const CCategoryItem& b) const noexcept {
    return CompareCategoryNames(a.name, b.name) < 0;
  }
};

// Same name, case-insensitively; colours are ignored.
struct BinCategoryItemNoCaseEqual {
  bool operator()(const CCategoryItem& a, const CCategoryItem& b) const noexcept {
    return CompareCategoryNames(a.name, b.name) == 0;
  }
};

// The item order of an ordered set of categories: by name, then by colour.
struct CategoryItemOrder {
  bool operator()(const CCategoryItem& a, const CCategoryItem& b) const noexcept {
    const int byName = CompareCategoryNames(a.name, b.name);
    return byName < 0 || (byName == 0 && a.colour < b.colour);
  }
};
