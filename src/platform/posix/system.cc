#include "platform/system.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <vector>

#include "platform/posix/run_table.h"
#include "platform/run_files.h"

namespace platform {

namespace {

// In a forked child: stdin and stdout/stderr on /dev/null, default signals.
void detachStdio() {
  int null = ::open("/dev/null", O_RDWR);
  if (null >= 0) {
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    if (null > 2) ::close(null);
  }
  signal(SIGPIPE, SIG_DFL);
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  signal(SIGHUP, SIG_DFL);
  signal(SIGQUIT, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

int waitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

// Whether the process has ended; it stays unwaited for.
bool hasEnded(pid_t pid, int options) {
  siginfo_t info{};
  int result;
  while ((result = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT | options)) < 0 &&
         errno == EINTR) {
  }
  return result < 0 || info.si_pid == pid;
}

// Whether nothing at all stands under name, not even a dangling link.
bool isFree(const std::string& name) {
  struct stat info;
  return ::lstat(name.c_str(), &info) != 0 && errno == ENOENT;
}

}  // namespace

struct System::Runs {
  struct Started {
    int pid = 0;
    int pidFd = -1;   // readable once the run has ended
    int output = -1;  // the temporary result file, -1 when the output is dropped
    int slot = -1;    // in the run table
    RunFiles files;
  };
  std::map<int, Started> started;
  int lastRun = 0;
};

System::System() : runs_(std::make_unique<Runs>()) {}

System::~System() { stopTools(); }

ToolOutcome System::runTool(const ToolRun& run) {
  ToolOutcome outcome = ToolOutcome::NotStarted;
  int number = startTool(run, &outcome);
  return number > 0 ? finishRun(number) : outcome;
}

int System::startTool(const ToolRun& run, ToolOutcome* outcome) {
  static unsigned serial = 0;
  Runs::Started started;
  started.files.outputFile = run.outputFile;
  int password[2] = {-1, -1};
  pid_t pid = -1;
  {
    // The run and its files are in the run table before a signal can end Mailvak.
    HeldEndSignals held;
    // A fresh name that nobody else can have prepared: O_EXCL refuses an
    // existing file, link or FIFO under it.
    for (int attempt = 0; !run.outputFile.empty() && started.output < 0 && attempt < 100;
         ++attempt) {
      started.files.outputTemporary = runTemporaryName(run.outputFile, getpid(), ++serial);
      started.output = ::open(started.files.outputTemporary.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (started.output < 0 && errno != EEXIST) break;
    }
    // For the side files only free names: the tool makes the files itself.
    bool sideNamed = nameSideFiles(run, getpid(), &serial, isFree, &started.files);
    if ((!run.outputFile.empty() && started.output < 0) || !sideNamed) {
      if (started.output >= 0) {
        ::close(started.output);
        ::unlink(started.files.outputTemporary.c_str());
      }
      *outcome = ToolOutcome::NotWritten;
      return 0;
    }
    started.slot = enterRun(started.files.outputTemporary, started.files.sideTemporaries);
    std::vector<std::string> arguments = toolArguments(run, started.files);
    std::vector<char*> argv;
    std::string program = std::string("./") + ToolFileName;
    argv.push_back(program.data());
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    // Without a pidfd (an old kernel, or a test that asks so) the runs are
    // looked at in turn.
    const bool watchByPidFd = std::getenv("MAILVAK_NO_PIDFD") == nullptr;

    pid_t parent = getpid();
    if (started.slot >= 0 && pipe2(password, O_CLOEXEC) == 0) pid = fork();
    if (pid == 0) {
      // A group of its own, which a stop kills whole; and it dies with
      // Mailvak however Mailvak ends, also when it ended before this line.
      setpgid(0, 0);
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(127);
      detachStdio();
      dup2(password[0], 0);
      if (started.output >= 0) dup2(started.output, 1);
      ::umask(077);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    if (pid > 0) {
      setpgid(pid, pid);
      setRunProcess(started.slot, pid);
      started.pid = pid;
      started.pidFd = watchByPidFd ? static_cast<int>(syscall(SYS_pidfd_open, pid, 0)) : -1;
    } else {
      if (started.output >= 0) ::close(started.output);
      settleRunFiles(ToolOutcome::NotStarted, started.files);
      if (started.slot >= 0) leaveRun(started.slot);
    }
  }
  if (password[0] >= 0) ::close(password[0]);
  if (pid > 0) {
    // The tool may end before it reads: a closed pipe must not end Mailvak.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    // The tool reads one line of at most 4096 bytes.
    std::string line = run.password.substr(0, 4096) + "\n";
    for (size_t done = 0; done < line.size();) {
      ssize_t n = ::write(password[1], line.data() + done, line.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    sigaction(SIGPIPE, &previous, nullptr);
  }
  if (password[1] >= 0) ::close(password[1]);
  if (pid <= 0) {
    *outcome = ToolOutcome::NotStarted;
    return 0;
  }
  runs_->started[++runs_->lastRun] = started;
  return runs_->lastRun;
}

ToolOutcome System::finishRun(int number) {
  Runs::Started run = runs_->started[number];
  runs_->started.erase(number);
  // The ended run is waited for only with the signals held, so that its
  // process number, free again once waited for, never meets a kill from the
  // run table.
  hasEnded(run.pid, 0);
  HeldEndSignals held;
  int status = waitFor(run.pid);
  if (run.pidFd >= 0) ::close(run.pidFd);
  ToolOutcome outcome = WIFEXITED(status) ? outcomeOfExitStatus(WEXITSTATUS(status))
                                          : ToolOutcome::BrokenOff;  // killed
  if (run.output >= 0 && ::close(run.output) != 0 && outcome == ToolOutcome::Done) {
    outcome = ToolOutcome::NotWritten;
  }
  outcome = settleRunFiles(outcome, run.files);
  leaveRun(run.slot);
  return outcome;
}

int System::waitForTools(int milliseconds, ToolOutcome* outcome) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  while (!runs_->started.empty()) {
    std::vector<pollfd> ends;
    std::vector<int> numbers;
    bool lookedAt = false;  // a run without a pidfd, looked at again after a short wait
    for (const auto& [number, run] : runs_->started) {
      if (run.pidFd >= 0) {
        ends.push_back({run.pidFd, POLLIN, 0});
        numbers.push_back(number);
      } else if (hasEnded(run.pid, WNOHANG)) {
        const int ended = number;  // finishRun frees the entry number refers to
        *outcome = finishRun(ended);
        return ended;
      } else {
        lookedAt = true;
      }
    }
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    int wait = milliseconds < 0 ? -1 : static_cast<int>(std::max<long long>(left, 0));
    if (lookedAt && (wait < 0 || wait > 10)) wait = 10;
    if (::poll(ends.data(), ends.size(), wait) > 0) {
      for (size_t i = 0; i < ends.size(); ++i) {
        if (ends[i].revents != 0) {
          *outcome = finishRun(numbers[i]);
          return numbers[i];
        }
      }
    }
    if (milliseconds >= 0 && Clock::now() >= deadline) break;
  }
  return 0;
}

void System::stopTools() {
  for (const auto& [number, run] : runs_->started) ::kill(-run.pid, SIGKILL);
  while (!runs_->started.empty()) finishRun(runs_->started.begin()->first);
}

void System::removeStaleRunFiles() {
  DIR* directory = ::opendir(".");
  if (directory == nullptr) return;
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(directory)) {
    if (isRunTemporaryName(entry->d_name)) stale.push_back(entry->d_name);
  }
  ::closedir(directory);
  for (const std::string& name : stale) ::unlink(name.c_str());
}

void System::startDetached(const std::string& file) {
  pid_t pid = fork();
  if (pid == 0) {
    // The middle child starts the viewer in its own session and leaves at once,
    // so the viewer is never our child and never waited for.
    setsid();
    detachStdio();
    pid_t viewer = fork();
    if (viewer == 0) {
      execlp("xdg-open", "xdg-open", file.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    _exit(0);
  }
  if (pid > 0) waitFor(pid);
}

std::string System::environmentVariable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value ? value : "";
}

std::string System::homeDirectory() {
  std::string home = environmentVariable("HOME");
  if (home.empty()) {
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) home = entry->pw_dir;
  }
  return home;
}

bool System::makeDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0700) == 0; }

bool System::ownPrivateDirectory(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid()) {
    return false;
  }
  return (info.st_mode & 077) == 0 || ::chmod(path.c_str(), 0700) == 0;
}

bool System::lockCurrentDirectory() {
  // Never closed: the lock lives as long as the process.
  int fd = ::open("mailvak.lock", O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
}

bool System::changeDirectory(const std::string& path) { return ::chdir(path.c_str()) == 0; }

std::string System::currentDirectory() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) ? buffer : "";
}

bool System::deleteFile(const std::string& name) { return ::unlink(name.c_str()) == 0; }

bool System::renameFile(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool System::fileExists(const std::string& name) {
  struct stat info;
  return ::stat(name.c_str(), &info) == 0;
}

bool System::copyFile(const std::string& from, const std::string& to) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat info;
  if (fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(in);
    return false;
  }
  // Write a fresh file beside the target and rename it over, so that a running
  // copy of the target is never overwritten in place ("text file busy").
  std::string temporary = to + ".new";
  int out =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, info.st_mode & 0700);
  bool ok = out >= 0;
  char buffer[65536];
  while (ok) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t done = 0; ok && done < n;) {
      ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0)
        ok = false;
      else
        done += w;
    }
  }
  ::close(in);
  if (out >= 0) {
    if (fchmod(out, info.st_mode & 0700) != 0) ok = false;
    if (::close(out) != 0) ok = false;
  }
  if (ok) ok = ::rename(temporary.c_str(), to.c_str()) == 0;
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

void System::syncDirectory(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    ::close(fd);
  }
}

std::string System::executableDirectory() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "";
  std::string path(buffer, static_cast<size_t>(n));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash == 0 ? 1 : slash);
}

std::string System::versionText() {
  struct utsname name;
  if (uname(&name) != 0) return "";
  return std::string(name.sysname) + " " + name.release;
}

}  // namespace platform
