// What the POP3 tool needs from the operating system besides its network
// connection: its standard streams, carried as bytes, and the small private
// files it keeps in the working directory. One implementation per system
// (platform/posix/tool_os.cc, platform/windows/tool_os.cc), chosen by the build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// Readies the process for a tool run: standard input and output carry bytes
/// untranslated (no line-end conversion), and a peer or reader that goes away
/// gives a failed write instead of ending the process.
void prepareToolProcess();

/// The program's arguments, argv[0] included, as the bytes Mailvak gave:
/// argv itself on POSIX; on Windows read from the wide command line (the
/// narrow argv would turn it into the local code page and lose what that
/// cannot hold), each lone surrogate turned back into the byte it stands for.
std::vector<std::string> commandLineArguments(int argc, char** argv);

/// Reads one byte of standard input into *c; false at its end or on failure.
bool readStandardInputByte(char* c);

/// Writes all of bytes to standard output; false on failure.
bool writeStandardOutput(std::string_view bytes);

/// Whether anything exists under path; a symbolic link counts as itself.
bool pathExists(const std::string& path);

/// A new file that only the user can read and write, written piece by piece.
class PrivateFileWriter {
 public:
  PrivateFileWriter() = default;
  PrivateFileWriter(const PrivateFileWriter&) = delete;
  PrivateFileWriter& operator=(const PrivateFileWriter&) = delete;
  ~PrivateFileWriter() { close(); }

  /// Creates path; false when anything exists under it (a symbolic link or
  /// reparse point included, never followed) or it cannot be made.
  bool create(const std::string& path);
  /// Writes all of bytes; false on failure, and on every write after one.
  bool write(std::string_view bytes);
  /// Flushes the file to the disk and closes it; false when that, the
  /// creation or any write failed.
  bool close();

 private:
  std::intptr_t handle_ = -1;  // the descriptor, or the HANDLE on Windows
  bool good_ = false;
};

/// Creates path as a new file that only the user can read and write, holding
/// data, flushed to the disk. Fails, leaving nothing behind it did not make,
/// when anything exists under path (a symbolic link included).
inline bool createPrivateFile(const std::string& path, std::string_view data);

/// Puts a new file that only the user can read and write, holding data, in
/// the place of path: written whole under path + ".new" first (anything there
/// removed, never followed), then renamed, so that path holds the old file or
/// the new one, never a part of it. False, with path as it was, on failure.
inline bool replaceWithPrivateFile(const std::string& path, std::string_view data);

/// Puts the file from in the place of to, replacing what was there in one step.
bool replaceFile(const std::string& from, const std::string& to);

/// Removes the file path if it exists.
void removeFile(const std::string& path);

/// Reads the whole of path into *text when it is a plain file of this
/// process's user, not reached through a symbolic link or reparse point, and
/// at most cap bytes long; false for anything else, a larger file included
/// (never cut). Never waits on a FIFO or a device.
bool readOwnFile(const std::string& path, size_t cap, std::string* text);

inline bool createPrivateFile(const std::string& path, std::string_view data) {
  PrivateFileWriter file;
  if (!file.create(path)) return false;
  bool ok = file.write(data);
  ok = file.close() && ok;
  if (!ok) removeFile(path);
  return ok;
}

inline bool replaceWithPrivateFile(const std::string& path, std::string_view data) {
  std::string temp = path + ".new";
  removeFile(temp);
  if (!createPrivateFile(temp, data)) return false;
  if (replaceFile(temp, path)) return true;
  removeFile(temp);
  return false;
}

}  // namespace platform
