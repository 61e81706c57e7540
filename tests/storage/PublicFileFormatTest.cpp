#include <gtest/gtest.h>

#include <string>

#include "PublicFileFormat.h"

namespace {

struct LineCase {
  const char* line;
  bool added;
  const char* name;
  int colour;
  bool copied;
};

const LineCase kLines[] = {
    {"Projekt;7", true, "Projekt", 7, true},
    {"Projekt", true, "Projekt", 0, true},
    {"Projekt;", true, "Projekt", 0, true},
    {";;Projekt;7", true, "Projekt", 7, true},
    {"Projekt;;7", true, "Projekt", 7, true},
    {"Projekt; 7 ;x", true, "Projekt", 7, true},
    {"Projekt;7abc", true, "Projekt", 7, true},
    {"Projekt;abc", true, "Projekt", 0, true},
    {"Projekt;26", true, "Projekt", 0, true},
    {"Projekt;-1", true, "Projekt", 0, true},
    {"Projekt;25", true, "Projekt", 25, true},
    {"Projekt;0", true, "Projekt", 0, true},
    {"Projekt;+5", true, "Projekt", 5, true},
    {"Projekt;99999999999999", true, "Projekt", 0, true},
    {"A,B;3", true, "AB", 3, true},
    {"  Projekt  ;4", true, "Projekt", 4, true},
    {"\tProjekt\v;4", true, "Projekt", 4, true},
    {"", false, "", 0, false},
    {";;", false, "", 0, false},
    {"   ;5", false, "", 0, true},
    {",;3", true, "", 3, true},
};

class ParseLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(ParseLine, GivesTheCategoryAndTheCopy) {
  const LineCase& c = GetParam();
  CCategoryItems items = {{"left over", 1}};
  std::string copy;
  ParseLines(std::string(c.line) + "\r\n", items, &copy);
  if (c.added) {
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ(c.name, items[0].name);
    EXPECT_EQ(c.colour, items[0].colour);
  } else {
    EXPECT_TRUE(items.empty());
  }
  EXPECT_EQ(c.copied ? std::string(c.line) + "\n" : std::string(), copy)
      << "the copy holds the line as read, with LF";
}

INSTANTIATE_TEST_SUITE_P(EveryRow, ParseLine, ::testing::ValuesIn(kLines));

TEST(PublicFileFormat, EmptyFileIsEmptyList) {
  CCategoryItems items = {{"x", 1}};
  std::string copy = "stale";
  ParseLines("", items, &copy);
  EXPECT_TRUE(items.empty());
  EXPECT_EQ("stale", copy) << "ParseLines only appends to the copy";
}

TEST(PublicFileFormat, KeepsFileOrderAndDuplicatesAcrossLineEnds) {
  CCategoryItems items;
  ParseLines("Beta;2\nalfa;1\r\n\r\nBeta;9\nlast;4", items);
  ASSERT_EQ(4u, items.size());
  EXPECT_EQ("Beta", items[0].name);
  EXPECT_EQ("alfa", items[1].name);
  EXPECT_EQ(9, items[2].colour);
  EXPECT_EQ("last", items[3].name) << "a last line without a line end still counts";
  EXPECT_EQ(4, items[3].colour);
}

TEST(PublicFileFormat, ByteOrderMarkBecomesPartOfTheFirstName) {
  CCategoryItems items;
  ParseLines("\xEF\xBB\xBFProjekt;1\n", items);
  ASSERT_EQ(1u, items.size());
  EXPECT_EQ("\xEF\xBB\xBFProjekt", items[0].name);
}

TEST(PublicFileFormat, NulByteEndsTheLine) {
  CCategoryItems items;
  std::string copy;
  ParseLines(std::string("Przed\0Po;3\nDruga;4\n\0;5\n", 23), items, &copy);
  ASSERT_EQ(2u, items.size());
  EXPECT_EQ("Przed", items[0].name);
  EXPECT_EQ(0, items[0].colour);
  EXPECT_EQ("Druga", items[1].name);
  EXPECT_EQ("Przed\nDruga;4\n", copy);
}

TEST(PublicFileFormat, WritesNameSemicolonColourPerLine) {
  const CCategoryItems items = {{"Alfa", 3}, {"Beta", 0}};
  EXPECT_EQ("Alfa;3\r\nBeta;0\r\n", WriteLines(items, LineEnd::CrLf));
  EXPECT_EQ("Alfa;3\nBeta;0\n", WriteLines(items, LineEnd::Lf));
  EXPECT_EQ("", WriteLines({}, LineEnd::CrLf));
  EXPECT_EQ("x;-4\nx;-4\n", WriteLines({{"x", -4}, {"x", -4}}, LineEnd::Lf))
      << "duplicates and odd colours are written as held";
}

TEST(PublicFileFormat, WriteThenReadGivesTheSameList) {
  const CCategoryItems items = {{"Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1", 12}, {"b c", 25}};
  CCategoryItems back;
  ParseLines(WriteLines(items, LineEnd::CrLf), back);
  ASSERT_EQ(items.size(), back.size());
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i].name, back[i].name);
    EXPECT_EQ(items[i].colour, back[i].colour);
  }
}

TEST(PublicFileFormat, NameWithSemicolonReadsBackAsNameAndColour) {
  CCategoryItems back;
  ParseLines(WriteLines({{"a;7", 3}}, LineEnd::Lf), back);
  ASSERT_EQ(1u, back.size());
  EXPECT_EQ("a", back[0].name);
  EXPECT_EQ(7, back[0].colour);
}

}  // namespace
