// Tool runs, files and environment: the only layer that forks, execs, renames
// and deletes. The program reaches it through a System reference so that tests
// can record tool runs or inject faults.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform {

/// The POP3 tool's program file, in the working directory.
#ifdef _WIN32
inline constexpr char ToolFileName[] = "mboxtool.exe";
#else
inline constexpr char ToolFileName[] = "mboxtool";
#endif

/// The most side files one run writes.
inline constexpr size_t MaxSideFiles = 2;

/// One run of the POP3 tool (ToolFileName) in the working directory.
struct ToolRun {
  /// The arguments after the program name; the password's place holds "-".
  std::vector<std::string> arguments;
  /// What the tool reads on its standard input for "-".
  std::string password;
  /// The result file its standard output goes to; "" drops the output.
  std::string outputFile;
  /// The run as one command line, "./mboxtool ... >FILE", for tests and logs.
  std::string line;
  /// Further files the run writes beside outputFile (at most MaxSideFiles),
  /// each named by the argument that equals it: the tool gets a fresh
  /// temporary name in that argument's place. When the run ends well the old
  /// side files go first, then outputFile and then each new side file (if the
  /// tool made it) are put in place, so that a crash at any step never leaves
  /// a side file beside an outputFile of another run.
  std::vector<std::string> sideFiles;
};

/// How a run ended. The tool's exit status tells: 0 done, 1 the server
/// refused or could not be reached (its output says so, as the files'
/// contract has it), 2 the answer broke off part-way, 3 the tool could not
/// write its output. Only Done puts the run's files in place; on every other
/// outcome outputFile and the side files stay as they were.
enum class ToolOutcome {
  Done,        // the tool ran (exit status 0 or 1); its files are in place
  NotStarted,  // the tool is missing or cannot be run
  NotWritten,  // a result file could not be written (by the tool or by us)
  BrokenOff,   // the answer broke off part-way, or the run was killed
};

class System {
 public:
  System();
  /// Ends the runs still going, as stopTools does.
  virtual ~System();
  System(const System&) = delete;
  System& operator=(const System&) = delete;

  /// Starts the tool without a shell, hands it the password on a pipe, and
  /// waits for it. Its output goes to a new private file (never through a
  /// symbolic link, never into a special file) that replaces outputFile only
  /// when the run has ended, so a reader never sees half a file; its error
  /// output is dropped, so nothing it prints can reach the screen. No run
  /// outlives Mailvak: they end with it however it ends.
  virtual ToolOutcome runTool(const ToolRun& run);
  /// Starts the tool as runTool does and returns at once: the run's number
  /// (above 0), or 0 when it could not start, with *outcome saying why.
  virtual int startTool(const ToolRun& run, ToolOutcome* outcome);
  /// Waits up to milliseconds for one of the started runs to end and puts its
  /// result file in place; returns its number with *outcome, or 0 when none
  /// ended in that time or none is running.
  virtual int waitForTools(int milliseconds, ToolOutcome* outcome);
  /// Kills every started run and waits for it; its files stay as they were.
  virtual void stopTools();
  /// Removes the temporary files that runs of an earlier Mailvak left in the
  /// current directory. Only for a directory whose lock this process holds,
  /// before it starts any run.
  virtual void removeStaleRunFiles();
  /// Hands a file to the desktop's viewer (xdg-open; the shell's "open" on
  /// Windows), detached, never waited for.
  virtual void startDetached(const std::string& file);

  /// The variable's value, "" when unset.
  virtual std::string environmentVariable(const std::string& name);
  /// The user's home directory: HOME, else the user's entry in the system's
  /// user database (USERPROFILE on Windows); "" when neither gives one.
  std::string homeDirectory();
  /// Makes a directory with mode 0700 (an existing one is left as it is).
  virtual bool makeDirectory(const std::string& path);
  /// Whether path is a directory of the user's own; when group or others have
  /// any access to it, it gets mode 0700 first. False for anything else.
  virtual bool ownPrivateDirectory(const std::string& path);
  /// Takes the lock of the current directory for the rest of the run; the
  /// kernel drops it when the process ends, however it ends. False while
  /// another process holds it.
  virtual bool lockCurrentDirectory();
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

 private:
  // The runs started and not yet waited for, kept as the system needs them.
  struct Runs;
  // A run's files: where its output and side file go, and the temporary
  // names it writes them under ("" where it has none).
  struct RunFiles {
    std::string outputTemporary, outputFile;
    std::vector<std::string> sideTemporaries, sideFiles;
  };
  ToolOutcome finishRun(int number);
  // Puts a finished run's files in place when outcome is Done, in the order
  // sideFiles' comment gives, else removes its temporaries; returns the
  // outcome, NotWritten when a rename failed.
  ToolOutcome settleRunFiles(ToolOutcome outcome, const RunFiles& files);
  // Picks a free temporary name (and one free with ".new" after it) for each
  // side file of run; false when there are too many or no name is free.
  static bool nameSideFiles(const ToolRun& run, unsigned long process, unsigned* serial,
                            bool (*isFree)(const std::string&), RunFiles* files);
  // The run's arguments with each side file's temporary name in its place.
  static std::vector<std::string> toolArguments(const ToolRun& run, const RunFiles& files);

  std::unique_ptr<Runs> runs_;
};

}  // namespace platform
