#include "platform/posix/run_table.h"

#include "platform/system.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace platform {

namespace {

// A name fits with the ".new" the tool puts after a side file's name.
constexpr size_t MaxName = 256;

struct RunSlot {
  volatile std::sig_atomic_t used = 0;
  volatile std::sig_atomic_t pid = 0;  // 0 until the run has its process
  char outputTemporary[MaxName] = {};
  char sideTemporaries[MaxSideFiles][MaxName] = {};
};

// Far more runs than Mailvak ever has going at once.
RunSlot runSlots[64];

sigset_t endSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) sigaddset(&set, signal);
  return set;
}

bool copyName(char* to, const std::string& name) {
  if (name.size() + 4 >= MaxName) return false;
  std::memcpy(to, name.c_str(), name.size() + 1);
  return true;
}

}  // namespace

HeldEndSignals::HeldEndSignals() {
  sigset_t held = endSignals();
  sigprocmask(SIG_BLOCK, &held, &previous_);
}

HeldEndSignals::~HeldEndSignals() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

int enterRun(const std::string& outputTemporary, const std::vector<std::string>& sideTemporaries) {
  if (sideTemporaries.size() > MaxSideFiles) return -1;
  for (RunSlot& slot : runSlots) {
    if (slot.used) continue;
    if (!copyName(slot.outputTemporary, outputTemporary)) return -1;
    for (size_t i = 0; i < MaxSideFiles; ++i) {
      if (!copyName(slot.sideTemporaries[i],
                    i < sideTemporaries.size() ? sideTemporaries[i] : "")) {
        return -1;
      }
    }
    slot.pid = 0;
    slot.used = 1;
    return static_cast<int>(&slot - runSlots);
  }
  return -1;
}

void setRunProcess(int slot, int pid) { runSlots[slot].pid = pid; }

void leaveRun(int slot) {
  runSlots[slot].used = 0;
  runSlots[slot].pid = 0;
}

void endRunsFromSignal() {
  int savedErrno = errno;
  for (RunSlot& slot : runSlots) {
    if (slot.used && slot.pid > 0) ::kill(-slot.pid, SIGKILL);
  }
  for (RunSlot& slot : runSlots) {
    if (!slot.used) continue;
    // A killed tool may still finish the call it was in: its files go after it.
    if (slot.pid > 0) {
      while (::waitpid(slot.pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
    if (slot.outputTemporary[0] != '\0') ::unlink(slot.outputTemporary);
    for (const char* side : slot.sideTemporaries) {
      if (side[0] == '\0') continue;
      ::unlink(side);
      char partial[MaxName];
      size_t length = std::strlen(side);
      std::memcpy(partial, side, length);
      std::memcpy(partial + length, ".new", 5);
      ::unlink(partial);
    }
    slot.used = 0;
  }
  errno = savedErrno;
}

}  // namespace platform
