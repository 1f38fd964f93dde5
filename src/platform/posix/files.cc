#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

FileIdentity identityFrom(const struct stat& info) {
  FileIdentity identity;
  identity.exists = S_ISREG(info.st_mode);
  if (!identity.exists) return FileIdentity{};
  identity.device = info.st_dev;
  identity.inode = info.st_ino;
  identity.size = info.st_size;
  identity.modifiedSeconds = info.st_mtim.tv_sec;
  identity.modifiedNanoseconds = info.st_mtim.tv_nsec;
  identity.changedSeconds = info.st_ctim.tv_sec;
  identity.changedNanoseconds = info.st_ctim.tv_nsec;
  return identity;
}

}  // namespace

FileIdentity readRegularFile(const std::string& name, std::string& bytes) {
  bytes.clear();
  // O_NONBLOCK: a fifo under a result file's name must never hang the program.
  int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return FileIdentity{};
  struct stat info {};
  FileIdentity identity;
  if (::fstat(fd, &info) == 0) identity = identityFrom(info);
  if (identity.exists) {
    bytes.reserve(static_cast<size_t>(info.st_size));
    char buffer[1 << 16];
    for (;;) {
      ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      bytes.append(buffer, static_cast<size_t>(got));
    }
  }
  ::close(fd);
  return identity;
}

FileIdentity identityOf(const std::string& name) {
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0) return FileIdentity{};
  return identityFrom(info);
}

bool TextFile::open(const std::string& name, Mode mode) {
  close();
  good_ = true;
  int fd;
  const char* fmode;
  switch (mode) {
    case Mode::Input:
      // O_NONBLOCK so that a FIFO or device under the name can never block us;
      // anything but a regular file counts as missing.
      fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      fmode = "rb";
      break;
    case Mode::Output:
      fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                  0600);
      fmode = "wb";
      break;
    case Mode::Append:
    default:
      fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                  0600);
      fmode = "ab";
      break;
  }
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  file_ = fdopen(fd, fmode);
  if (!file_) {
    ::close(fd);
    return false;
  }
  if (mode == Mode::Input) {
    // A UTF-8 byte-order mark, as some editors write one, is no text.
    char mark[3];
    if (std::fread(mark, 1, 3, file_) != 3 || std::memcmp(mark, "\xEF\xBB\xBF", 3) != 0) {
      std::rewind(file_);
    }
  }
  return true;
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
    int c = getc_unlocked(file_);
    if (c == EOF) break;
    if (c == '\n') break;
    if (c == '\r') {
      int next = getc_unlocked(file_);
      if (next != '\n' && next != EOF) ungetc(next, file_);
      break;
    }
    line += static_cast<char>(c);
  }
  return line;
}

bool TextFile::endOfFile() {
  if (!file_) return true;
  int c = getc_unlocked(file_);
  if (c == EOF) return true;
  ungetc(c, file_);
  return false;
}

long long TextFile::length() {
  if (!file_) return 0;
  std::fflush(file_);
  struct stat info;
  if (fstat(fileno(file_), &info) != 0) return 0;
  return info.st_size;
}

long long TextFile::position() {
  if (!file_) return 1;
  long pos = std::ftell(file_);
  return pos < 0 ? 1 : pos + 1;
}

void TextFile::setPosition(long long position) {
  if (!file_ || position < 1) return;
  std::fseek(file_, static_cast<long>(position - 1), SEEK_SET);
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

bool TextFile::sync() {
  if (!file_) return false;
  if (std::fflush(file_) != 0) good_ = false;
  if (fsync(fileno(file_)) != 0) good_ = false;
  return good_;
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
