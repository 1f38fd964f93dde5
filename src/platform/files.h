// Numbered text files of the program, read and written line by line.
//
// A line ends at CR, LF or CR LF; a CR followed by any other byte ends the
// line and leaves that byte unread. A last line without a line end is returned
// whole; at end of file a read gives "". Lines have no length limit. A failed
// open for input is silent and reads as end of file at once; it never blocks
// (only regular files are opened, never through a symbolic link). A UTF-8
// byte-order mark at the start of a file read is skipped. Files are created
// with mode 0600.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace platform {

/// What joins the names of a path on this system.
#ifdef _WIN32
inline constexpr char PathSeparator = '\\';
#else
inline constexpr char PathSeparator = '/';
#endif

/// Whether path names its place from the root of a file system ("/..." here,
/// "C:\..." or "\\server\..." on Windows), not from the current directory.
bool isAbsolutePath(const std::string& path);

class TextFile {
 public:
  enum class Mode { Input, Output, Append };

  TextFile() = default;
  TextFile(const std::string& name, Mode mode) { open(name, mode); }
  ~TextFile() { close(); }
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  /// Opens name; returns whether it is open. Output truncates.
  bool open(const std::string& name, Mode mode);
  bool isOpen() const { return file_ != nullptr; }
  void close();

  /// The next line without its line end; "" at end of file or when not open.
  std::string readLine();
  /// Every byte from the read position to the end.
  std::string readRest();
  /// True at end of file, and always for a file that failed to open.
  bool endOfFile();
  /// Length in bytes (0 when not open).
  long long length();
  /// 1-based position of the next byte to read or write.
  long long position();
  void setPosition(long long position);

  /// Writes text followed by CR LF.
  void writeLine(std::string_view text);
  /// Writes text without a line end.
  void write(std::string_view text);
  /// Flushes to the file system and to the disk; returns false on any error.
  bool sync();
  /// False once any write failed.
  bool good() const { return good_; }

 private:
  void skipByteOrderMark();

  std::FILE* file_ = nullptr;
  bool good_ = true;
};

/// What tells one version of a file from another without reading it.
struct FileIdentity {
  bool exists = false;
  unsigned long long device = 0;
  unsigned long long inode = 0;
  long long size = 0;
  long long modifiedSeconds = 0, modifiedNanoseconds = 0;
  long long changedSeconds = 0, changedNanoseconds = 0;
  bool operator==(const FileIdentity&) const = default;
};

/// The identity of a file as it is now (exists is false for a missing or
/// non-regular file).
FileIdentity identityOf(const std::string& name);
/// Reads a regular file whole into bytes and returns its identity, taken from
/// the open file before reading (so a file that changes while it is read
/// differs on the next look). Never blocks on a FIFO; bytes stays empty and
/// exists false for a missing or non-regular file.
FileIdentity readRegularFile(const std::string& name, std::string& bytes);

/// Reads a whole file; "" when it cannot be read.
std::string readWholeFile(const std::string& name);

}  // namespace platform
