// The tool runs going on, in a fixed table that a signal handler can read: a
// Mailvak that ends on a signal ends its runs with it and leaves none of their
// temporary files. The table changes only while HeldEndSignals holds back the
// signals that end Mailvak, so a handler never sees half an entry.
#pragma once

#include <signal.h>

#include <string>
#include <vector>

namespace platform {

/// Holds SIGTERM, SIGHUP, SIGINT and SIGQUIT back while it lives; they
/// arrive when it ends.
class HeldEndSignals {
 public:
  HeldEndSignals();
  ~HeldEndSignals();
  HeldEndSignals(const HeldEndSignals&) = delete;
  HeldEndSignals& operator=(const HeldEndSignals&) = delete;

 private:
  sigset_t previous_;
};

/// Enters a run's temporary names (outputTemporary "" for none) in the table:
/// its slot, or -1 when the table is full or a name too long.
int enterRun(const std::string& outputTemporary, const std::vector<std::string>& sideTemporaries);
/// The run's process, the leader of its process group.
void setRunProcess(int slot, int pid);
/// Takes the run out of the table, once its process is waited for.
void leaveRun(int slot);

/// Kills the process group of every run in the table, waits for its tool to
/// end and removes its temporary files. Async-signal-safe: for the handlers of
/// the signals that end Mailvak.
void endRunsFromSignal();

}  // namespace platform
