#include "config/password.h"

#include <gtest/gtest.h>

#include <string>

namespace config {
namespace {

TEST(Password, ScrambledLinesAreByteExact) {
  struct Case {
    std::string plain, line;
  } cases[] = {
      {"abcdefghijklmn", "#```````hhhhhhhP"},
      {"a", std::string("#`zb|}~\x7fxyz{|}~C")},
      {"geheim", std::string("#fgkalk\x7fgdjfmh~H")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(scramblePassword(c.plain), c.line) << c.plain;
    EXPECT_EQ(c.line.size(), 16u);
  }
}

TEST(Password, StarredConversionUsesTheShortBody) {
  EXPECT_EQ(convertStarredPassword("*abc"), "#```|dddE");
  EXPECT_EQ(unscramblePassword("#```|dddE"), "abc");
  // From 7 bytes on the starred body is as long as the written one.
  EXPECT_EQ(convertStarredPassword("*abcdefg").size(), 16u);
}

TEST(Password, EveryLengthReadsBackWhole) {
  std::string plain;
  for (int length = 0; length <= 40; ++length) {
    std::string line = scramblePassword(plain);
    EXPECT_EQ(line[0], '#');
    EXPECT_EQ(line.size(), std::max<size_t>(14, plain.size()) + 2) << length;
    EXPECT_EQ(unscramblePassword(line), plain) << length;
    EXPECT_EQ(unscramblePassword(convertStarredPassword("*" + plain)), plain) << length;
    plain += static_cast<char>('!' + (length * 7) % 94);
  }
  std::string longest(MaxScrambledLength, 'q');
  EXPECT_EQ(unscramblePassword(scramblePassword(longest)), longest);
}

TEST(Password, ThePlainFormDoesNotDecideTheScrambledOne) {
  // Passwords that look like file forms are ordinary passwords.
  for (std::string plain : {"#geheim", "*geheim", "#", "*", " spaties "}) {
    EXPECT_EQ(unscramblePassword(scramblePassword(plain)), plain) << plain;
  }
}

TEST(Password, DegenerateLinesGiveNoPassword) {
  EXPECT_EQ(unscramblePassword(""), "");
  EXPECT_EQ(unscramblePassword("#"), "");
  EXPECT_EQ(unscramblePassword("#B"), "");
  EXPECT_EQ(unscramblePassword("#abc\x01"), "");  // mark below "B"
}

TEST(Password, FormsThatCannotBeOneLineAreRecognised) {
  EXPECT_TRUE(scrambledFormFits("gewoon"));
  EXPECT_FALSE(scrambledFormFits(std::string(MaxScrambledLength + 1, 'q')));
  // Byte 11 at position 1 would be masked into a line feed.
  EXPECT_FALSE(scrambledFormFits("\x0b"));
  EXPECT_FALSE(scrambledFormFits(std::string("ab\x0e")));  // 14 ^ 3 = CR
}

}  // namespace
}  // namespace config
