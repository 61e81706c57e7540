// Name comparison follows the ANSI code page: run under 1250 and under 932.
#include <windows.h>

#include <gtest/gtest.h>

#include "CategoryItem.h"

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(CategoryName, AsciiLettersFoldOnEveryCodePage) {
  EXPECT_EQ(0, CompareCategoryNames("A", "a"));
  EXPECT_EQ(0, CompareCategoryNames("Projekt X", "pROJEKT x"));
  EXPECT_LT(CompareCategoryNames("abc", "abd"), 0);
  EXPECT_LT(CompareCategoryNames("ab", "abc"), 0) << "a prefix sorts first";
  EXPECT_GT(CompareCategoryNames("b", "A"), 0);
  EXPECT_EQ(0, CompareCategoryNames("", ""));
}

TEST(CategoryName, CentralEuropeanLettersDoNotFold) {
  if (GetACP() != 1250) GTEST_SKIP() << "needs ANSI code page 1250, this is " << GetACP();
  // Ą is 0xA5 and ą is 0xB9 in code page 1250: two different names.
  EXPECT_NE(0, CompareCategoryNames("\xA5", "\xB9"));
  EXPECT_LT(CompareCategoryNames("\xA5", "\xB9"), 0) << "bytes compare by value";
  EXPECT_NE(0, CompareCategoryNames("\x8C" "ciana", "\x9C" "ciana"));  // Ściana / ściana
  EXPECT_GT(CompareCategoryNames("\xB9", "z"), 0) << "national letters sort above ASCII";
}

TEST(CategoryName, DoubleByteCharactersFoldAsWholeCharacters) {
  if (GetACP() != 932) GTEST_SKIP() << "needs ANSI code page 932, this is " << GetACP();
  // Fullwidth Ａ (82 60) and ａ (82 81) are one name.
  EXPECT_EQ(0, CompareCategoryNames("\x82\x60", "\x82\x81"));
  // ア (83 41) and ャ (83 61): the trail bytes look like 'A' and 'a' but must not fold.
  EXPECT_NE(0, CompareCategoryNames("\x83\x41", "\x83\x61"));
  EXPECT_EQ(0, CompareCategoryNames("\x83\x41" "B", "\x83\x41" "b"));
  EXPECT_EQ(Sign(CompareCategoryNames("\x83\x41", "\x83\x61")),
            -Sign(CompareCategoryNames("\x83\x61", "\x83\x41")));
}

TEST(CategoryItemOrder, NamesFirstThenColours) {
  const CategoryItemOrder before;
  EXPECT_TRUE(before({"a", 9}, {"B", 1}));
  EXPECT_TRUE(before({"A", 1}, {"a", 2}));
  EXPECT_FALSE(before({"a", 2}, {"A", 1}));
  EXPECT_FALSE(before({"a", 2}, {"A", 2})) << "same name and colour are the same item";
  EXPECT_FALSE(before({"A", 2}, {"a", 2}));
}

}  // namespace
