#include "platform/files.h"

#include <fcntl.h>
#include <io.h>

#include "platform/windows/win32.h"

namespace platform {

namespace {

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens name as it stands: a link or junction is never followed, and only a
// plain file on a disk is kept (no folder, device such as NUL or CON, or pipe).
// INVALID_HANDLE_VALUE for anything else.
HANDLE openPlainFile(const std::string& name, DWORD access, DWORD disposition,
                     SECURITY_ATTRIBUTES* security = nullptr) {
  HANDLE file = CreateFileW(widen(name).c_str(), access, ShareAll, security, disposition,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

// Splits a time in 100 ns steps into seconds and nanoseconds.
void splitTime(LARGE_INTEGER time, long long& seconds, long long& nanoseconds) {
  seconds = time.QuadPart / 10000000;
  nanoseconds = time.QuadPart % 10000000 * 100;
}

FileIdentity identityFrom(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  FILE_BASIC_INFO times;
  if (!GetFileInformationByHandle(file, &info) ||
      !GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times)) {
    return FileIdentity{};
  }
  FileIdentity identity;
  identity.exists = true;
  identity.device = info.dwVolumeSerialNumber;
  identity.inode =
      (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  identity.size = static_cast<long long>(
      (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  splitTime(times.LastWriteTime, identity.modifiedSeconds, identity.modifiedNanoseconds);
  splitTime(times.ChangeTime, identity.changedSeconds, identity.changedNanoseconds);
  return identity;
}

}  // namespace

bool isAbsolutePath(const std::string& path) {
  auto separator = [](char c) { return c == '\\' || c == '/'; };
  bool drive = path.size() >= 3 && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') &&
               path[1] == ':' && separator(path[2]);
  return drive || (path.size() >= 2 && separator(path[0]) && separator(path[1]));
}

FileIdentity readRegularFile(const std::string& name, std::string& bytes) {
  bytes.clear();
  HANDLE file = openPlainFile(name, GENERIC_READ, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return FileIdentity{};
  FileIdentity identity = identityFrom(file);
  if (identity.exists) {
    bytes.reserve(static_cast<size_t>(identity.size));
    char buffer[1 << 16];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
      bytes.append(buffer, got);
  }
  CloseHandle(file);
  return identity;
}

FileIdentity identityOf(const std::string& name) {
  HANDLE file = openPlainFile(name, FILE_READ_ATTRIBUTES, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return FileIdentity{};
  FileIdentity identity = identityFrom(file);
  CloseHandle(file);
  return identity;
}

bool TextFile::open(const std::string& name, Mode mode) {
  close();
  good_ = true;
  HANDLE file;
  int flags = 0;
  const char* fmode = "rb";  // binary: no line ends translated, no Ctrl-Z taken for the end
  if (mode == Mode::Input) {
    file = openPlainFile(name, GENERIC_READ, OPEN_EXISTING);
    flags = _O_RDONLY;
  } else {
    // A new file is the user's alone; an existing one is checked before it is
    // emptied, so a link under the name is refused, not cleared.
    PSECURITY_DESCRIPTOR sd = ownerOnlySecurity(false);
    SECURITY_ATTRIBUTES security = {sizeof security, sd, FALSE};
    file = openPlainFile(name, GENERIC_WRITE, OPEN_ALWAYS, sd ? &security : nullptr);
    LocalFree(sd);
    if (mode == Mode::Output && file != INVALID_HANDLE_VALUE && !SetEndOfFile(file)) {
      CloseHandle(file);
      file = INVALID_HANDLE_VALUE;
    }
    flags = mode == Mode::Output ? _O_WRONLY : _O_WRONLY | _O_APPEND;
    fmode = mode == Mode::Output ? "wb" : "ab";
  }
  if (file == INVALID_HANDLE_VALUE) return false;
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), flags);
  if (fd < 0) {
    CloseHandle(file);
    return false;
  }
  file_ = _fdopen(fd, fmode);
  if (!file_) {
    _close(fd);
    return false;
  }
  if (mode == Mode::Input) skipByteOrderMark();
  return true;
}

long long TextFile::length() {
  if (!file_) return 0;
  std::fflush(file_);
  long long size = _filelengthi64(_fileno(file_));
  return size < 0 ? 0 : size;
}

long long TextFile::position() {
  if (!file_) return 1;
  long long pos = _ftelli64(file_);
  return pos < 0 ? 1 : pos + 1;
}

void TextFile::setPosition(long long position) {
  if (!file_ || position < 1) return;
  _fseeki64(file_, position - 1, SEEK_SET);
}

bool TextFile::sync() {
  if (!file_) return false;
  if (std::fflush(file_) != 0) good_ = false;
  HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_)));
  if (!FlushFileBuffers(file)) good_ = false;
  return good_;
}

}  // namespace platform
