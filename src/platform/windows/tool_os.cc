#include "platform/tool_os.h"

#include <algorithm>

#include "platform/windows/win32.h"

namespace platform {

// Nothing to do: Windows has no SIGPIPE (a write to a closed pipe fails), and the
// standard handles are read and written with ReadFile/WriteFile, which translate
// no line ends and take no Ctrl-Z for the end.
std::vector<std::string> commandLineArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(narrow(wide[i]));
  LocalFree(wide);
  return arguments;
}

void prepareToolProcess() {}

bool readStandardInputByte(char* c) {
  DWORD got = 0;
  return ReadFile(GetStdHandle(STD_INPUT_HANDLE), c, 1, &got, nullptr) && got == 1;
}

bool writeStandardOutput(std::string_view bytes) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  while (!bytes.empty()) {
    DWORD done = 0;
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1 << 20));
    if (!WriteFile(out, bytes.data(), chunk, &done, nullptr) || done == 0) return false;
    bytes.remove_prefix(done);
  }
  return true;
}

bool pathExists(const std::string& path) {
  // The attributes of a link are its own: it is not followed.
  return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool PrivateFileWriter::create(const std::string& path) {
  close();
  PSECURITY_DESCRIPTOR sd = ownerOnlySecurity(false);
  if (!sd) return false;
  SECURITY_ATTRIBUTES sa = {sizeof sa, sd, FALSE};
  // CREATE_NEW fails on anything under the name, a link included; a
  // reparse point is never opened as its target.
  HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, &sa, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  LocalFree(sd);
  if (file == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(file);
  good_ = true;
  return true;
}

bool PrivateFileWriter::write(std::string_view bytes) {
  HANDLE file = reinterpret_cast<HANDLE>(handle_);
  while (good_ && !bytes.empty()) {
    DWORD done = 0;
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1 << 20));
    good_ = WriteFile(file, bytes.data(), chunk, &done, nullptr) && done > 0;
    if (good_) bytes.remove_prefix(done);
  }
  return good_;
}

bool PrivateFileWriter::close() {
  if (handle_ == -1) return false;
  HANDLE file = reinterpret_cast<HANDLE>(handle_);
  handle_ = -1;
  bool ok = FlushFileBuffers(file) && good_;
  ok = CloseHandle(file) && ok;
  good_ = false;
  return ok;
}

bool replaceFile(const std::string& from, const std::string& to) {
  return MoveFileExW(widen(from).c_str(), widen(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

void removeFile(const std::string& path) { DeleteFileW(widen(path).c_str()); }

bool readOwnFile(const std::string& path, size_t cap, std::string* text) {
  text->clear();
  // A reparse point (a link, a junction) is opened as itself and refused below.
  HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  LARGE_INTEGER size;
  bool ok = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
            !(info.dwFileAttributes &
              (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) &&
            GetFileSizeEx(file, &size) && static_cast<unsigned long long>(size.QuadPart) <= cap &&
            ownedByCurrentUser(file);
  // The file may grow after the size was taken: read one byte past the cap to notice.
  char chunk[64 * 1024];
  while (ok) {
    DWORD want = static_cast<DWORD>(std::min(sizeof chunk, cap + 1 - text->size()));
    DWORD got = 0;
    if (!ReadFile(file, chunk, want, &got, nullptr)) ok = false;
    if (!ok || got == 0) break;
    text->append(chunk, got);
    ok = text->size() <= cap;
  }
  CloseHandle(file);
  if (!ok) text->clear();
  return ok;
}

}  // namespace platform
