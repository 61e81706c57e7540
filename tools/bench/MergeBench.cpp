// Times MergeCategoryLists followed by Subtract on two lists of n names, half shared.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "CategoryVector.h"

namespace {

double MergeMilliseconds(int n) {
  CCategoryVector outlook, publicList;
  for (int i = 0; i < n; ++i) {
    outlook.Add({"Kategoria " + std::to_string(i), i % 26});
    publicList.Add({"KATEGORIA " + std::to_string(i + n / 2), i % 26});
  }
  const auto start = std::chrono::steady_clock::now();
  const CCategoryVector merged = MergeCategoryLists(publicList, outlook);
  const CCategoryVector removed = merged.Subtract(publicList.items);
  const auto stop = std::chrono::steady_clock::now();
  if (merged.items.size() != static_cast<size_t>(n + n / 2) ||
      removed.items.size() != static_cast<size_t>(n / 2)) {
    std::fprintf(stderr, "merge n=%d gave a wrong result\n", n);
    std::exit(1);
  }
  return std::chrono::duration<double, std::milli>(stop - start).count();
}

}  // namespace

int main() {
  for (int n : {1000, 10000, 100000}) std::printf("merge n=%d ms=%.1f\n", n, MergeMilliseconds(n));
  return 0;
}
