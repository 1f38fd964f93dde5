#include "platform/tool_os.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>

namespace platform {

std::vector<std::string> commandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void prepareToolProcess() { std::signal(SIGPIPE, SIG_IGN); }

bool readStandardInputByte(char* c) {
  ssize_t n;
  while ((n = ::read(STDIN_FILENO, c, 1)) < 0 && errno == EINTR) {
  }
  return n == 1;
}

bool writeStandardOutput(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool pathExists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

bool PrivateFileWriter::create(const std::string& path) {
  close();
  handle_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  good_ = handle_ >= 0;
  return good_;
}

bool PrivateFileWriter::write(std::string_view bytes) {
  while (good_ && !bytes.empty()) {
    ssize_t n = ::write(static_cast<int>(handle_), bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    good_ = n > 0;
    if (good_) bytes.remove_prefix(static_cast<size_t>(n));
  }
  return good_;
}

bool PrivateFileWriter::close() {
  if (handle_ < 0) return false;
  int fd = static_cast<int>(handle_);
  handle_ = -1;
  bool ok = ::fsync(fd) == 0 && good_;
  ok = ::close(fd) == 0 && ok;
  good_ = false;
  return ok;
}

bool replaceFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

void removeFile(const std::string& path) { ::unlink(path.c_str()); }

bool readOwnFile(const std::string& path, size_t cap, std::string* text) {
  text->clear();
  // O_NONBLOCK: opening a FIFO returns at once; fstat then refuses it.
  int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
            static_cast<unsigned long long>(info.st_size) <= cap;
  // The file may grow after fstat: read one byte past the cap to notice.
  char chunk[64 * 1024];
  while (ok) {
    size_t want = std::min(sizeof chunk, cap + 1 - text->size());
    ssize_t n = ::read(fd, chunk, want);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    text->append(chunk, static_cast<size_t>(n));
    ok = text->size() <= cap;
  }
  ::close(fd);
  if (!ok) text->clear();
  return ok;
}

}  // namespace platform
