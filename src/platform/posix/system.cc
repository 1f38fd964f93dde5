#include "platform/system.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <vector>

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

}  // namespace

struct System::Runs {
  struct Started {
    int pid = 0;
    int pidFd = -1;   // readable once the run has ended
    int output = -1;  // the temporary result file, -1 when the output is dropped
    std::string temporary, outputFile;
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
  // A fresh name that nobody else can have prepared: O_EXCL refuses an
  // existing file, link or FIFO under it.
  static unsigned serial = 0;
  Runs::Started started;
  started.outputFile = run.outputFile;
  if (!run.outputFile.empty()) {
    for (int attempt = 0; started.output < 0 && attempt < 100; ++attempt) {
      started.temporary =
          "." + run.outputFile + "." + std::to_string(getpid()) + "." + std::to_string(++serial);
      started.output = ::open(started.temporary.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (started.output < 0 && errno != EEXIST) break;
    }
    if (started.output < 0) {
      *outcome = ToolOutcome::NotWritten;
      return 0;
    }
  }
  auto fail = [&started, outcome] {
    if (started.output >= 0) {
      ::close(started.output);
      ::unlink(started.temporary.c_str());
    }
    *outcome = ToolOutcome::NotStarted;
    return 0;
  };
  int password[2];
  if (pipe2(password, O_CLOEXEC) != 0) return fail();
  std::vector<char*> argv;
  std::string program = std::string("./") + ToolFileName;
  argv.push_back(program.data());
  std::vector<std::string> arguments = run.arguments;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid == 0) {
    detachStdio();
    dup2(password[0], 0);
    if (started.output >= 0) dup2(started.output, 1);
    ::umask(077);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  ::close(password[0]);
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
  ::close(password[1]);
  if (pid < 0) return fail();
  started.pid = pid;
  started.pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));  // readable at its end
  runs_->started[++runs_->lastRun] = started;
  return runs_->lastRun;
}

ToolOutcome System::finishRun(int number) {
  Runs::Started run = runs_->started[number];
  runs_->started.erase(number);
  int status = waitFor(run.pid);
  if (run.pidFd >= 0) ::close(run.pidFd);
  bool started = !(WIFEXITED(status) && WEXITSTATUS(status) == 127);
  if (run.output < 0) return started ? ToolOutcome::Done : ToolOutcome::NotStarted;
  bool written = ::close(run.output) == 0;
  if (started && written && ::rename(run.temporary.c_str(), run.outputFile.c_str()) == 0) {
    return ToolOutcome::Done;
  }
  ::unlink(run.temporary.c_str());
  return started ? ToolOutcome::NotWritten : ToolOutcome::NotStarted;
}

int System::waitForTools(int milliseconds, ToolOutcome* outcome) {
  std::vector<pollfd> ends;
  std::vector<int> numbers;
  for (const auto& [number, run] : runs_->started) {
    // Without a pidfd (an old kernel) the run is looked at on every wait.
    if (run.pidFd < 0 && waitpid(run.pid, nullptr, WNOHANG | WNOWAIT) != 0) {
      *outcome = finishRun(number);
      return number;
    }
    if (run.pidFd >= 0) {
      ends.push_back({run.pidFd, POLLIN, 0});
      numbers.push_back(number);
    }
  }
  if (runs_->started.empty() || ::poll(ends.data(), ends.size(), milliseconds) <= 0) return 0;
  for (size_t i = 0; i < ends.size(); ++i) {
    if (ends[i].revents != 0) {
      *outcome = finishRun(numbers[i]);
      return numbers[i];
    }
  }
  return 0;
}

void System::stopTools() {
  for (const auto& [number, run] : runs_->started) ::kill(run.pid, SIGKILL);
  while (!runs_->started.empty()) {
    Runs::Started& run = runs_->started.begin()->second;
    if (run.output >= 0) ::close(run.output);
    run.output = -1;
    if (!run.temporary.empty()) ::unlink(run.temporary.c_str());
    finishRun(runs_->started.begin()->first);
  }
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
