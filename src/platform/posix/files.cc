#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

bool isAbsolutePath(const std::string& path) { return !path.empty() && path[0] == '/'; }

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
  if (mode == Mode::Input) skipByteOrderMark();
  return true;
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

bool TextFile::sync() {
  if (!file_) return false;
  if (std::fflush(file_) != 0) good_ = false;
  if (fsync(fileno(file_)) != 0) good_ = false;
  return good_;
}

}  // namespace platform
