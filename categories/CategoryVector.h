#pragma once
// The category list: items in the order they were added, names compared case-insensitively.
// It neither sorts itself nor refuses duplicates; callers test ContainsName before Add.
#include <algorithm>
#include <string>
#include <vector>

#include "CategoryItem.h"
#include "qv/Text.h"

using CCategoryItems = std::vector<CCategoryItem>;

template <class Less, class Equal>
class CCategoryVectorT {
 public:
  CCategoryVectorT() = default;
  CCategoryVectorT(const CCategoryItems& from, std::string listSeparator, int trim)
      : trimNames(trim), separator(std::move(listSeparator)) {
    AppendNonBlank(from);
  }
  CCategoryVectorT(const CCategoryItem& item, std::string listSeparator, int trim)
      : items{item}, trimNames(trim), separator(std::move(listSeparator)) {}
  CCategoryVectorT(const CCategoryVectorT&) = default;
  CCategoryVectorT(CCategoryVectorT&&) noexcept = default;
  CCategoryVectorT& operator=(const CCategoryVectorT&) = default;
  CCategoryVectorT& operator=(CCategoryVectorT&&) noexcept = default;
  virtual ~CCategoryVectorT() = default;

  void Add(const CCategoryItem& item) { items.push_back(item); }

  bool ContainsName(const std::string& name) const {
    const CCategoryItem probe(name);
    return std::any_of(items.begin(), items.end(),
                       [&](const CCategoryItem& item) { return Equal()(item, probe); });
  }

  void Assign(const CCategoryItems& from) {
    CCategoryItems kept = NonBlank(from);
    items.swap(kept);
  }

  CCategoryVectorT Append(const CCategoryItems& from) const {
    CCategoryVectorT result(*this);
    result.AppendNonBlank(from);
    return result;
  }

  // This list without the names of `other`: a multiset difference on sorted copies, so each
  // item of `other` cancels at most one item here. The result is in ascending name order.
  CCategoryVectorT Subtract(const CCategoryItems& other) const {
    if (other.empty()) return *this;
    // Sorting pointers rather than items keeps long lists from being shuffled in memory.
    std::vector<const CCategoryItem*> mine = PointersTo(items, false);
    std::vector<const CCategoryItem*> theirs = PointersTo(other, true);
    const auto less = [](const CCategoryItem* a, const CCategoryItem* b) { return Less()(*a, *b); };
    std::sort(mine.begin(), mine.end(), less);
    std::sort(theirs.begin(), theirs.end(), less);

    CCategoryVectorT result;
    result.items.reserve(items.size());
    auto a = mine.begin();
    auto b = theirs.begin();
    while (a != mine.end() && b != theirs.end()) {
      if (less(*a, *b)) {
        result.items.push_back(**a++);
      } else if (less(*b, *a)) {
        ++b;
      } else {
        ++a;
        ++b;
      }
    }
    for (; a != mine.end(); ++a) result.items.push_back(**a);
    return result;
  }

  bool EqualNames(const CCategoryItems& other) const {
    return items.size() == other.size() &&
           std::equal(items.begin(), items.end(), other.begin(), Equal());
  }

  // The one-line text form: non-empty names joined by the separator; colours are not kept.
  std::string ToString(const char* separatorText = nullptr) const {
    const std::string between =
        separatorText ? std::string(separatorText) : separator.substr(0, 1);
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i].name.empty()) continue;
      if (i != 0) text += between;
      text += items[i].name;
    }
    return text;
  }

  // Parses the one-line text form: every character of `separator` delimits, runs of
  // delimiters give no tokens, double-byte characters are stepped over whole.
  void FromString(const std::string& text) {
    items.clear();
    size_t start = std::string::npos;
    for (size_t i = 0; i < text.size();) {
      const size_t length = Qv::CharLength(text, i);
      const bool delimiter = length == 1 && separator.find(text[i]) != std::string::npos;
      if (delimiter && start != std::string::npos) {
        AddToken(text.substr(start, i - start));
        start = std::string::npos;
      } else if (!delimiter && start == std::string::npos) {
        start = i;
      }
      i += length;
    }
    if (start != std::string::npos) AddToken(text.substr(start));
  }

  CCategoryItems items;
  int trimNames = 1;
  std::string separator = ";";

 private:
  bool IsBlankName(const std::string& name) const {
    return trimNames ? Qv::IsBlank(name) : name.empty();
  }
  std::vector<const CCategoryItem*> PointersTo(const CCategoryItems& from, bool skipBlank) const {
    std::vector<const CCategoryItem*> pointers;
    pointers.reserve(from.size());
    for (const CCategoryItem& item : from)
      if (!skipBlank || !IsBlankName(item.name)) pointers.push_back(&item);
    return pointers;
  }
  CCategoryItems NonBlank(const CCategoryItems& from) const {
    CCategoryItems kept;
    kept.reserve(from.size());
    for (const CCategoryItem& item : from)
      if (!IsBlankName(item.name)) kept.push_back(item);
    return kept;
  }
  void AppendNonBlank(const CCategoryItems& from) {
    for (const CCategoryItem& item : from)
      if (!IsBlankName(item.name)) items.push_back(item);
  }
  void AddToken(std::string token) {
    items.emplace_back(trimNames ? Qv::TrimWhiteSpace(token) : std::move(token), 0);
  }
};

using CCategoryVector = CCategoryVectorT<BinCategoryItemNoCaseLess, BinCategoryItemNoCaseEqual>;

// The primary list followed by the secondary items whose names the primary list lacks, in
// the secondary's order; on a clash the primary item wins. The primary names are indexed once
// so that long lists merge in n log n, not n squared.
CCategoryVector MergeCategoryLists(const CCategoryVector& primary, const CCategoryVector& secondary);
