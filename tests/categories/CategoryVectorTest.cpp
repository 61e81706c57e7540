#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CategoryVector.h"

namespace {

CCategoryVector List(std::vector<CCategoryItem> items) {
  CCategoryVector list;
  list.items = std::move(items);  // exactly as given, blank names included
  return list;
}

std::vector<std::string> Names(const CCategoryVector& list) {
  std::vector<std::string> names;
  for (const CCategoryItem& item : list.items) names.push_back(item.name);
  return names;
}

using Names_ = std::vector<std::string>;

TEST(CategoryVector, DefaultListTrimsAndUsesSemicolon) {
  const CCategoryVector list;
  EXPECT_TRUE(list.items.empty());
  EXPECT_EQ(1, list.trimNames);
  EXPECT_EQ(";", list.separator);
}

TEST(CategoryVector, ConstructionFromArraySkipsBlankNamesButKeepsThemUntrimmed) {
  const CCategoryItems from = {{" a ", 1}, {"  ", 2}, {"", 3}, {"b", 4}};
  const CCategoryVector trimming(from, ";", 1);
  EXPECT_EQ((Names_{" a ", "b"}), Names(trimming));
  const CCategoryVector plain(from, ",", 0);
  EXPECT_EQ((Names_{" a ", "  ", "b"}), Names(plain)) << "without trimming only empty names go";
  EXPECT_EQ(",", plain.separator);
}

TEST(CategoryVector, ConstructionFromOneItemKeepsItUnconditionally) {
  const CCategoryVector list(CCategoryItem("  ", 5), ";", 1);
  ASSERT_EQ(1u, list.items.size());
  EXPECT_EQ(5, list.items[0].colour);
}

TEST(CategoryVector, CopiesKeepBlankNamesAndSettings) {
  CCategoryVector original = List({{"a", 1}, {" ", 2}});
  original.separator = ",";
  original.trimNames = 0;
  const CCategoryVector copy(original);
  EXPECT_EQ(Names(original), Names(copy));
  EXPECT_EQ(",", copy.separator);
  EXPECT_EQ(0, copy.trimNames);
}

TEST(CategoryVector, AddAppendsUnconditionallyAndContainsNameIgnoresCase) {
  CCategoryVector list;
  list.Add({"Red", 1});
  list.Add({"red", 2});
  list.Add({"", 0});
  EXPECT_EQ(3u, list.items.size());
  EXPECT_TRUE(list.ContainsName("RED"));
  EXPECT_TRUE(list.ContainsName(""));
  EXPECT_FALSE(list.ContainsName("Re"));
}

TEST(CategoryVector, AssignAndAppendDropBlankNames) {
  CCategoryVector list = List({{"x", 1}});
  list.Assign({{"a", 1}, {" \t", 2}, {"b", 3}});
  EXPECT_EQ((Names_{"a", "b"}), Names(list));

  const CCategoryVector appended = list.Append({{"", 0}, {"c", 4}, {"a", 5}});
  EXPECT_EQ((Names_{"a", "b", "c", "a"}), Names(appended)) << "Append does not test names";
  EXPECT_EQ((Names_{"a", "b"}), Names(list)) << "the source list is unchanged";
}

TEST(CategoryVector, SubtractWithEmptyArrayKeepsOwnOrder) {
  const CCategoryVector list = List({{"b", 1}, {" ", 2}, {"a", 3}});
  EXPECT_EQ((Names_{"b", " ", "a"}), Names(list.Subtract(CCategoryItems{})));
}

TEST(CategoryVector, SubtractWithOnlyBlankNameSortsThisList) {
  const CCategoryVector list = List({{"c", 1}, {"a", 2}, {"B", 3}});
  EXPECT_EQ((Names_{"a", "B", "c"}), Names(list.Subtract(CCategoryItems{{"  ", 0}})));
}

TEST(CategoryVector, SubtractCancelsOneItemPerNameAndKeepsSurvivorsColours) {
  const CCategoryVector list = List({{"b", 1}, {"A", 2}, {"a", 3}});
  const CCategoryVector result = list.Subtract(CCategoryItems{{"a", 9}});
  ASSERT_EQ(2u, result.items.size());
  EXPECT_EQ(0, CompareCategoryNames("a", result.items[0].name));
  EXPECT_EQ(result.items[0].name == "A" ? 2 : 3, result.items[0].colour);
  EXPECT_EQ("b", result.items[1].name);
  EXPECT_EQ(1, result.items[1].colour);
  EXPECT_EQ(";", result.separator);
  EXPECT_EQ(1, result.trimNames);
}

TEST(CategoryVector, SubtractIgnoresNamesOnlyTheOtherListHas) {
  const CCategoryVector list = List({{"m", 1}, {"z", 2}});
  EXPECT_EQ((Names_{"z"}), Names(list.Subtract(CCategoryItems{{"a"}, {"M"}, {"q"}, {"zz"}})));
}

TEST(CategoryVector, EqualNames) {
  EXPECT_TRUE(List({{"Red", 1}}).EqualNames({{"red", 1}}));
  EXPECT_FALSE(List({{"a"}, {"b"}}).EqualNames({{"b"}, {"a"}}));
  EXPECT_TRUE(List({{"a", 1}, {"b", 2}}).EqualNames({{"A", 7}, {"b", 0}}));
  EXPECT_TRUE(List({}).EqualNames({}));
  EXPECT_FALSE(List({{"a"}}).EqualNames({{"a"}, {"b"}}));
}

TEST(CategoryVector, ToString) {
  struct Case {
    std::vector<CCategoryItem> items;
    std::string text;
  } cases[] = {
      {{}, ""},
      {{{"a"}}, "a"},
      {{{""}, {"a"}}, ";a"},
      {{{"a"}, {""}, {"b"}}, "a;b"},
      {{{"a"}, {"  "}, {"b"}}, "a;  ;b"},
      {{{"a", 5}, {"b", 7}}, "a;b"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, List(c.items).ToString()) << c.text;

  CCategoryVector commas = List({{"a"}, {"b"}});
  commas.separator = ",;";
  EXPECT_EQ("a,b", commas.ToString()) << "the first separator character is used";
  EXPECT_EQ("a | b", commas.ToString(" | "));
  commas.separator.clear();
  EXPECT_EQ("ab", commas.ToString());
}

TEST(CategoryVector, FromString) {
  struct Case {
    std::string text;
    std::vector<std::string> names;
  } cases[] = {
      {"", {}},
      {";", {}},
      {";;a;;b;", {"a", "b"}},
      {"a;  ;b", {"a", "", "b"}},
      {" x ;\ty\r", {"x", "y"}},
  };
  for (const Case& c : cases) {
    CCategoryVector list = List({{"old", 3}});
    list.FromString(c.text);
    EXPECT_EQ(c.names, Names(list)) << '"' << c.text << '"';
    for (const CCategoryItem& item : list.items) EXPECT_EQ(0, item.colour);
  }
}

TEST(CategoryVector, FromStringWithoutTrimmingKeepsBlanks) {
  CCategoryVector list;
  list.trimNames = 0;
  list.FromString(" a ; ;b");
  EXPECT_EQ((Names_{" a ", " ", "b"}), Names(list));
}

TEST(CategoryVector, NameWithSeparatorSplitsOnRoundTrip) {
  CCategoryVector list = List({{"a;b", 1}, {"c", 2}});
  CCategoryVector back;
  back.FromString(list.ToString());
  EXPECT_EQ((Names_{"a", "b", "c"}), Names(back));
}

TEST(CategoryVector, FromStringStepsOverDoubleByteCharacters) {
  if (GetACP() != 932) GTEST_SKIP() << "needs ANSI code page 932, this is " << GetACP();
  // 表 is 95 5C: its trail byte is a backslash, which must not split the token.
  CCategoryVector list;
  list.separator = "\\";
  list.FromString("\x95\x5C" "\\" "a\\\\\x95\x5C" "b");
  EXPECT_EQ((Names_{"\x95\x5C", "a", "\x95\x5C" "b"}), Names(list));
}

TEST(MergeCategoryLists, PrimaryWinsOnClash) {
  const CCategoryVector merged =
      MergeCategoryLists(List({{"A", 3}}), List({{"a", 7}, {"B", 0}}));
  ASSERT_EQ(2u, merged.items.size());
  EXPECT_EQ("A", merged.items[0].name);
  EXPECT_EQ(3, merged.items[0].colour);
  EXPECT_EQ("B", merged.items[1].name);
  EXPECT_EQ(0, merged.items[1].colour);
}

TEST(MergeCategoryLists, KeepsOrdersDuplicatesAndDropsBlankSecondaryNames) {
  const CCategoryVector primary = List({{"z", 1}, {" ", 2}, {"m", 3}, {"z", 4}});
  const CCategoryVector secondary =
      List({{"q", 5}, {"M", 6}, {"", 7}, {"b", 8}, {"q", 9}, {"  ", 10}});
  const CCategoryVector merged = MergeCategoryLists(primary, secondary);
  EXPECT_EQ((Names_{"z", " ", "m", "z", "q", "b", "q"}), Names(merged));
  EXPECT_EQ(9, merged.items.back().colour);
}

TEST(MergeCategoryLists, EmptyLists) {
  EXPECT_TRUE(MergeCategoryLists(List({}), List({})).items.empty());
  EXPECT_EQ((Names_{"a"}), Names(MergeCategoryLists(List({}), List({{"a"}}))));
  EXPECT_EQ((Names_{"a"}), Names(MergeCategoryLists(List({{"a"}}), List({}))));
}

TEST(MergeCategoryLists, PolishLettersAreDistinctNames) {
  if (GetACP() != 1250) GTEST_SKIP() << "needs ANSI code page 1250, this is " << GetACP();
  const CCategoryVector merged =
      MergeCategoryLists(List({{"\xA5", 1}, {"A", 2}}), List({{"\xB9", 3}, {"a", 4}}));
  EXPECT_EQ((Names_{"\xA5", "A", "\xB9"}), Names(merged));
}

TEST(MergeCategoryLists, LargeListsMatchTheLinearDefinition) {
  // Checks the indexed merge against the plain definition on a list with many clashes.
  CCategoryVector primary, secondary;
  for (int i = 0; i < 3000; ++i) {
    primary.Add({"Name" + std::to_string(i * 3), i % 26});
    secondary.Add({(i % 2 ? "name" : "NAME") + std::to_string(i * 2), i % 7});
  }
  CCategoryItems expected = primary.items;
  for (const CCategoryItem& item : secondary.items)
    if (!primary.ContainsName(item.name)) expected.push_back(item);
  const CCategoryVector merged = MergeCategoryLists(primary, secondary);
  ASSERT_EQ(expected.size(), merged.items.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].name, merged.items[i].name);
    EXPECT_EQ(expected[i].colour, merged.items[i].colour);
  }
}

}  // namespace
