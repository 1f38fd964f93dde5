// Commands, files and environment: the only layer that forks, execs, renames
// and deletes. The program reaches it through a System reference so that tests
// can record command lines or inject faults.
#pragma once

#include <string>

namespace console {

class System {
 public:
  virtual ~System() = default;

  /// Runs a command line through /bin/sh -c and waits for it. The child reads
  /// /dev/null and writes to /dev/null unless the line redirects its output,
  /// so nothing it prints can reach the screen. The outcome is not reported.
  virtual void runCommand(const std::string& line);
  /// Hands a file to the desktop's viewer (xdg-open), detached, never waited for.
  virtual void startDetached(const std::string& file);

  /// The variable's value, "" when unset.
  virtual std::string environmentVariable(const std::string& name);
  /// Makes a directory with mode 0700 (an existing one is left as it is).
  virtual bool makeDirectory(const std::string& path);
  virtual bool changeDirectory(const std::string& path);
  virtual std::string currentDirectory();
  virtual bool deleteFile(const std::string& name);
  /// Renames old to new, replacing new (atomic within one file system).
  virtual bool renameFile(const std::string& from, const std::string& to);
  virtual bool fileExists(const std::string& name);
  /// Copies a file, overwriting the target, keeping the source's run bits.
  virtual bool copyFile(const std::string& from, const std::string& to);
  /// Flushes a directory's entries (after a rename) to the disk.
  virtual void syncDirectory(const std::string& path);
  /// The directory of the running program, "" when unknown.
  virtual std::string executableDirectory();
  /// The system's version text (kernel name and release).
  virtual std::string versionText();

  /// Called at the named steps of multi-step file replacements; tests override
  /// it to stop a writer part-way and check what a next start finds.
  virtual void checkpoint(const char* step) { (void)step; }
};

}  // namespace console
