#include "console/text.h"

#include <gtest/gtest.h>

#include <climits>

using namespace console;

TEST(ToNumber, ReadsTheLongestNumberPrefix) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"  12 berichten", 12},  {"+abc", 0},       {"", 0},          {"   ", 0},
      {"-7x", -7},             {"3.25 MB", 3.25}, {".5", 0.5},      {"1E3", 1000},
      {"2D2", 200},            {"1e", 1},         {"1E+", 1},       {"12E-1x", 1.2},
      {"&H1F", 31},            {"&hff", 255},     {"&O17", 15},     {"&B101", 5},
      {"&X12", 0},             {"&H", 0},         {"+OK 6 1828", 0}, {"6 1828", 6},
      {"1,5", 1},              {"- 3", 0},        {"007", 7},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(c.value, toNumber(c.text)) << '"' << c.text << '"';
}

TEST(ToNumber, IntegersRoundHalvesToEven) {
  EXPECT_EQ(2, toInteger("2.5"));
  EXPECT_EQ(4, toInteger("3.5"));
  EXPECT_EQ(-2, toInteger("-2.5"));
  EXPECT_EQ(3, toInteger("2.51"));
  EXPECT_EQ(LLONG_MAX, toInteger("1E300"));
  EXPECT_EQ(0, toInteger("x"));
  EXPECT_EQ(27, roundHalfEven(2 * 13.3));
  EXPECT_EQ(7, roundHalfEven(0.5 * 13.3));
}

TEST(ToText, DecimalWithoutLeadingBlank) {
  EXPECT_EQ("0", toText(0));
  EXPECT_EQ("42", toText(42));
  EXPECT_EQ("-3", toText(-3));
}

TEST(Find, PositionsAreOneBasedAndBounded) {
  EXPECT_EQ(4, find(1, "+OK 2 320", " 2"));
  EXPECT_EQ(4, find(1, "+OK 2 320", " "));
  EXPECT_EQ(6, find(5, "+OK 2 320", " "));
  EXPECT_EQ(0, find(1, "abc", ""));
  EXPECT_EQ(0, find(0, "abc", "a"));
  EXPECT_EQ(0, find(4, "abc", "c"));
  EXPECT_EQ(3, find(3, "abc", "c"));
  EXPECT_EQ(0, find(1, "", "a"));
  EXPECT_EQ(0, find(1, "abc", "abcd"));
}

TEST(Middle, CutsAtTheEnds) {
  EXPECT_EQ("bc", middle("abcd", 2, 2));
  EXPECT_EQ("bcd", middle("abcd", 2));
  EXPECT_EQ("bcd", middle("abcd", 2, -5));
  EXPECT_EQ("bcd", middle("abcd", 2, 100));
  EXPECT_EQ("", middle("abcd", 2, 0));
  EXPECT_EQ("", middle("abcd", 0, 2));
  EXPECT_EQ("", middle("abcd", 5, 1));
  EXPECT_EQ("d", middle("abcd", 4, 1));
}

TEST(LeftRightRepeat, EmptyForNonPositiveCounts) {
  EXPECT_EQ("ab", left("abcd", 2));
  EXPECT_EQ("abcd", left("abcd", 9));
  EXPECT_EQ("", left("abcd", 0));
  EXPECT_EQ("", left("abcd", -1));
  EXPECT_EQ("cd", right("abcd", 2));
  EXPECT_EQ("abcd", right("abcd", 9));
  EXPECT_EQ("", right("abcd", -2));
  EXPECT_EQ("   ", repeat(3, ' '));
  EXPECT_EQ("", repeat(-1, ' '));
}

TEST(ByteAt, ZeroOutsideTheText) {
  EXPECT_EQ('a', byteAt("abc", 1));
  EXPECT_EQ(179, byteAt("\xb3", 1));
  EXPECT_EQ(0, byteAt("abc", 0));
  EXPECT_EQ(0, byteAt("abc", 4));
}

TEST(Overwrite, NeverChangesTheLength) {
  std::string text = "abcdef";
  overwrite(text, 2, "XY");
  EXPECT_EQ("aXYdef", text);
  overwrite(text, 5, "12345");
  EXPECT_EQ("aXYd12", text);
  overwrite(text, 1, 1, "QRS");
  EXPECT_EQ("QXYd12", text);
  overwrite(text, 7, "Z");
  overwrite(text, 0, "Z");
  EXPECT_EQ("QXYd12", text);
}
