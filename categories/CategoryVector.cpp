#include "CategoryVector.h"

CCategoryVector MergeCategoryLists(const CCategoryVector& primary,
                                   const CCategoryVector& secondary) {
  std::vector<const CCategoryItem*> index;
  index.reserve(primary.items.size());
  for (const CCategoryItem& item : primary.items) index.push_back(&item);
  const auto less = [](const CCategoryItem* a, const CCategoryItem* b) {
    return BinCategoryItemNoCaseLess()(*a, *b);
  };
  std::sort(index.begin(), index.end(), less);

  CCategoryItems missing;
  for (const CCategoryItem& item : secondary.items) {
    if (!std::binary_search(index.begin(), index.end(), &item, less)) missing.push_back(item);
  }
  return primary.Append(missing);
}
