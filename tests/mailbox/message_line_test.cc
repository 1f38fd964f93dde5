#include "mailbox/message_line.h"

#include <gtest/gtest.h>

#include <string>

using mailbox::dateText;
using mailbox::messageLine;

namespace {

const char* const From = "From: Bob Smith <bob@example.com>";
const char* const Subject = "Subject: Hello there";
const char* const Date = "Date: Tue, 5 Mar 2024 10:00:00 +0100";

std::string blanks(size_t n) { return std::string(n, ' '); }
std::string padded(const std::string& text, size_t width) {
  return (text + blanks(width)).substr(0, width);
}

}  // namespace

// The subject and date columns move independently; each pair shows which part
// covers which columns (later parts overwrite earlier ones further left).
TEST(MessageLine, LayoutForSubjectAndDateColumns) {
  struct Case {
    int s, d;
    std::string expected;
  } cases[] = {
      {37, 96,
       "  7  " + padded("Bob Smith <bob@example.com>", 30) + "  " + padded("Hello there", 57) +
           "  " + "05 Mar 2024 10:00:00 " + " 1234" + blanks(5)},
      // The subject starts at column 2 and covers the number's last digits.
      {3, 35,
       " " + blanks(2) + padded("Hello there", 30) + "  " + "05 Mar 2024 10:00:00 +0100 " +
           blanks(55) + " 1234" + blanks(5)},
      // Subject column right of the date column: the whole subject shows behind the date.
      {75, 35,
       "  7  " + padded("Bob Smith <bob@example.com>", 28) + "  " + "05 Mar 2024 10:00:00 +0100 " +
           blanks(11) + "  " + padded("Hello there", 42) + " 1234" + blanks(5)},
      {75, 105,
       "  7  " + padded("Bob Smith <bob@example.com>", 68) + "  " + padded("Hello there", 28) +
           "  " + "05 Mar 2024 " + " 1234" + blanks(5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.s) + "/" + std::to_string(c.d));
    ASSERT_EQ(127u, c.expected.size());
    EXPECT_EQ(c.expected, messageLine(7, From, Subject, Date, 1234, c.s, c.d));
  }
}

TEST(MessageLine, NumberSizeAndHeaderValues) {
  struct Case {
    const char* name;
    int number;
    std::string from, subject;
    long long size;
    std::string columns1to35;  // number, sender, start of the subject
    std::string sizeColumns;   // columns 118..127
  } cases[] = {
      {"one digit", 7, From, Subject, 5, "  7  Bob Smith <bob@example.com>   ", " 5        "},
      {"two digits", 42, From, Subject, 5, " 42  Bob Smith <bob@example.com>   ", " 5        "},
      {"three digits", 512, From, Subject, 5, "512  Bob Smith <bob@example.com>   ", " 5        "},
      {"ten-digit size", 1, From, Subject, 1234567890, "  1  Bob Smith <bob@example.com>   ",
       " 123456789"},
      {"blanks after the colon", 1, "From:      Bob", Subject, 0, "  1  Bob" + blanks(27), " 0        "},
      {"no sender", 1, "", Subject, 0, "  1" + blanks(32), " 0        "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string line = messageLine(c.number, c.from, c.subject, Date, c.size, 37, 96);
    ASSERT_EQ(127u, line.size());
    EXPECT_EQ(padded(c.columns1to35, 35), line.substr(0, 35));
    EXPECT_EQ(c.sizeColumns, line.substr(117));
  }
}

TEST(DateText, SkipsTheWeekdayAndPadsOneDigitDays) {
  struct Case {
    std::string dateLine;
    int d;
    std::string expected;
  } cases[] = {
      {Date, 96, "05 Mar 2024 10:00:00  "},
      {"Date: Tue, 15 Mar 2024 10:00:00 +0100", 96, "15 Mar 2024 10:00:00  "},
      {"Date: 5 Mar 2024 10:00:00 +0100", 96, "05 Mar 2024 10:00:00  "},
      {"Date: 15 Mar 2024 10:00:00 +0100", 96, "15 Mar 2024 10:00:00  "},
      {Date, 105, "05 Mar 2024  "},
      {Date, 35, "05 Mar 2024 10:00:00 +0100 "},
      {"      ", 96, blanks(21)},             // no Date line at all
      {"Date: Tue,", 96, blanks(21)},          // too little after the comma
      {"Date: 1 Jan", 96, blanks(21)},         // "01 Jan " is still short
      {"Date: 12 Jan 99", 96, "12 Jan 99  "},  // ten characters is enough
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, dateText(c.dateLine, c.d)) << c.dateLine << " / " << c.d;
  }
}
