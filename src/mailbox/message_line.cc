#include "mailbox/message_line.h"

#include <algorithm>

#include "console/text.h"

namespace mailbox {

namespace {

using console::byteAt;
using console::find;
using console::middle;
using console::repeat;
using console::toText;

// The header value from its first non-blank byte at or after a position (the
// position right after "From: " or "Subject: " when the line begins with it).
std::string_view valueFrom(std::string_view line, size_t position) {
  while (position <= line.size() && byteAt(line, static_cast<long long>(position)) == ' ') {
    ++position;
  }
  if (position > line.size()) return {};
  return line.substr(position - 1);
}

// Lays text into the line from a 1-based column, cutting what falls outside.
void layDown(std::string& line, int column, std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    long long target = column + static_cast<long long>(i);
    if (target > static_cast<long long>(line.size())) break;
    if (target >= 1) line[static_cast<size_t>(target - 1)] = text[i];
  }
}

}  // namespace

std::string dateText(std::string_view dateLine, int dateColumn) {
  int comma = find(dateLine, ",");
  int skip = 2;
  if (comma == 0 && find(dateLine, "Date:") != 0) skip = 7;
  std::string text = middle(dateLine, comma + skip, 116 - dateColumn);
  if (byteAt(text, 2) == ' ') {
    text.insert(text.begin(), '0');
    text.push_back(' ');
  } else {
    text += "  ";
  }
  if (text.size() < 10) text = repeat(21, ' ');
  return text;
}

std::string messageLine(int number, std::string_view fromLine, std::string_view subjectLine,
                        std::string_view dateLine, long long size, int subjectColumn,
                        int dateColumn) {
  const int s = subjectColumn;
  const int d = dateColumn;
  std::string line(LineWidth, ' ');

  std::string numberText = toText(number);
  if (number < 100) numberText = " " + numberText;
  if (number < 10) numberText = " " + numberText;
  layDown(line, 1, numberText + "  ");

  std::string sender(valueFrom(fromLine, 7));
  sender += repeat(s, ' ');
  layDown(line, 6, middle(sender, 1, s));

  std::string subject(valueFrom(subjectLine, 10));
  subject += repeat(d - s, ' ');
  layDown(line, s - 1, "  " + middle(subject, 1, d - s) + " ");

  layDown(line, d - 1, "  " + dateText(dateLine.empty() ? "      " : dateLine, d));
  std::string sizeText(1, ' ');
  sizeText += console::left(toText(size), 9);
  layDown(line, 118, sizeText);
  return line;
}

std::string expandTabs(std::string_view text) {
  std::string expanded;
  expanded.reserve(text.size());
  for (char c : text) {
    if (c == '\t') {
      expanded.append(8, ' ');
    } else {
      expanded += c;
    }
  }
  return expanded;
}

std::string wrapLine(const std::string& line, std::string& continuation) {
  continuation.clear();
  if (line.size() <= static_cast<size_t>(LineWidth)) return line;
  size_t split = 127;
  size_t blank = line.rfind(' ', 125);  // the last blank in columns 1..126
  if (blank != std::string::npos && blank + 1 >= 9) split = blank + 1;
  continuation = line.substr(split - 1);
  return line.substr(0, split - 1);
}

std::string visiblePart(std::string_view line, int textOffset) {
  std::string shown = middle(line, std::max(1, textOffset), LineWidth);
  shown.resize(LineWidth, ' ');
  return shown;
}

}  // namespace mailbox
