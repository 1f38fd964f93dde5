// Checking every account at once: the same check run as a check of one
// account, started side by side, at most MaxRunningAccounts accounts at a
// time and at most MaxAccountsPerHost against one server host. Each account's
// busy mark, summary and status line change as soon as its own runs end; a
// server that does not answer holds up only its own account.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/program.h"

namespace mailbox {

inline constexpr int MaxRunningAccounts = 8;
inline constexpr int MaxAccountsPerHost = 2;

/// The check of every account that the key a starts, from its start until
/// the first key after its last run. The main loop owns one.
class CheckAll {
 public:
  /// Puts the busy mark on every folder line and has the next steps check
  /// every account with 40 body lines; folders stay open or closed as they
  /// are. Nothing happens while a check of every account is held.
  void start(core::Program& program);
  /// Whether it still has runs to start or to end.
  bool underway() const;
  /// Starts the runs that may start and waits for runs to end, until at least
  /// one account is done (its state then shows the outcome) or no run is left.
  /// Esc, q or Q waiting among the keys kills every run and sets
  /// quitRequested; other keys stay for later.
  void proceed(core::Program& program);
  /// Whether account a belongs to it, which keeps the account's state: a
  /// drawing pass shows it as it stands, without checking it again.
  bool holds(int a) const;
  /// Forgets it once it has ended.
  void endIfDone();

 private:
  enum class Stage { Waiting, Checking, Done };
  struct Job {
    Stage stage = Stage::Waiting;
    std::string host;
  };
  bool runEnded(core::Program& program, int a, platform::ToolOutcome outcome);
  bool startRun(core::Program& program, int a);
  int startWaiting(core::Program& program);

  std::vector<Job> jobs_;       // index a - 1 for account a; empty when none is held
  std::map<int, int> running_;  // run number -> account
};

}  // namespace mailbox
