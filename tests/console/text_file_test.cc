#include "console/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_dir.h"

using console::TextFile;
using testing_support::ScopedTempDir;
using testing_support::writeFile;

namespace {

std::vector<std::string> readAll(const std::string& bytes) {
  writeFile("f.txt", bytes);
  TextFile file("f.txt", TextFile::Mode::Input);
  std::vector<std::string> lines;
  while (!file.endOfFile()) lines.push_back(file.readLine());
  return lines;
}

}  // namespace

TEST(TextFile, EveryLineEndKind) {
  ScopedTempDir dir;
  using Lines = std::vector<std::string>;
  EXPECT_EQ((Lines{"a", "b", "c"}), readAll("a\r\nb\nc\r"));
  EXPECT_EQ((Lines{"a", "b"}), readAll("a\rb"));             // CR only
  EXPECT_EQ((Lines{"a", "", "b"}), readAll("a\r\rb"));       // CR then CR: empty line
  EXPECT_EQ((Lines{"a", "", "b"}), readAll("a\n\r\nb\r\n"));
  EXPECT_EQ((Lines{"last"}), readAll("last"));               // no line end at the end
  EXPECT_EQ((Lines{}), readAll(""));
  EXPECT_EQ((Lines{std::string("x\0y", 3)}), readAll(std::string("x\0y\r\n", 5)));
  std::string longLine(300000, 'z');
  EXPECT_EQ((Lines{longLine, "k"}), readAll(longLine + "\nk"));
}

TEST(TextFile, MissingFileReadsAsEndOfFile) {
  ScopedTempDir dir;
  TextFile file("missing.txt", TextFile::Mode::Input);
  EXPECT_FALSE(file.isOpen());
  EXPECT_TRUE(file.endOfFile());
  EXPECT_EQ("", file.readLine());
  EXPECT_EQ(0, file.length());
}

TEST(TextFile, FifoIsNeverOpenedSoNothingBlocks) {
  ScopedTempDir dir;
  ASSERT_EQ(0, mkfifo("pipe", 0600));
  TextFile file("pipe", TextFile::Mode::Input);
  EXPECT_FALSE(file.isOpen());
  EXPECT_TRUE(file.endOfFile());
}

TEST(TextFile, PositionLengthAndSeek) {
  ScopedTempDir dir;
  writeFile("f.txt", "ab\r\ncd\r\n");
  TextFile file("f.txt", TextFile::Mode::Input);
  EXPECT_EQ(8, file.length());
  EXPECT_EQ(1, file.position());
  EXPECT_EQ("ab", file.readLine());
  EXPECT_EQ(5, file.position());
  file.setPosition(2);
  EXPECT_EQ("b", file.readLine());
}

TEST(TextFile, WritesCrLfAndAppendsInMode0600) {
  ScopedTempDir dir;
  {
    TextFile out("o.txt", TextFile::Mode::Output);
    out.writeLine("one");
    out.write("two");
    EXPECT_TRUE(out.sync());
  }
  {
    TextFile more("o.txt", TextFile::Mode::Append);
    more.writeLine("!");
  }
  EXPECT_EQ("one\r\ntwo!\r\n", testing_support::readFile("o.txt"));
  struct stat info;
  ASSERT_EQ(0, stat("o.txt", &info));
  EXPECT_EQ(0600u, info.st_mode & 0777);
}
