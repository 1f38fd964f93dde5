// The line reading and writing of TextFile, the same on every system; opening,
// positions and flushing to the disk are each system's own (posix/, windows/).
#include "platform/files.h"

#include <cstring>

namespace platform {

namespace {

// One byte without taking the stream's lock each time: lines are read a byte
// at a time from files of many megabytes.
int readByte(std::FILE* file) {
#ifdef _WIN32
  return _getc_nolock(file);
#else
  return getc_unlocked(file);
#endif
}

}  // namespace

void TextFile::skipByteOrderMark() {
  // A UTF-8 byte-order mark, as some editors write one, is no text.
  char mark[3];
  if (std::fread(mark, 1, 3, file_) != 3 || std::memcmp(mark, "\xEF\xBB\xBF", 3) != 0) {
    std::rewind(file_);
  }
}

void TextFile::close() {
  if (file_) {
    if (std::fclose(file_) != 0) good_ = false;
    file_ = nullptr;
  }
}

std::string TextFile::readLine() {
  std::string line;
  if (!file_) return line;
  for (;;) {
    int c = readByte(file_);
    if (c == EOF) break;
    if (c == '\n') break;
    if (c == '\r') {
      int next = readByte(file_);
      if (next != '\n' && next != EOF) ungetc(next, file_);
      break;
    }
    line += static_cast<char>(c);
  }
  return line;
}

bool TextFile::endOfFile() {
  if (!file_) return true;
  int c = readByte(file_);
  if (c == EOF) return true;
  ungetc(c, file_);
  return false;
}

void TextFile::writeLine(std::string_view text) {
  write(text);
  write("\r\n");
}

void TextFile::write(std::string_view text) {
  if (!file_) {
    good_ = false;
    return;
  }
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file_) != text.size())
    good_ = false;
}

std::string TextFile::readRest() {
  std::string bytes;
  if (!file_) return bytes;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) bytes.append(buffer, n);
  return bytes;
}

std::string readWholeFile(const std::string& name) {
  TextFile file(name, TextFile::Mode::Input);
  return file.readRest();
}

}  // namespace platform
