#include "mailbox/check_all.h"

#include <algorithm>
#include <map>
#include <vector>

#include "mailbox/check_account.h"
#include "platform/oauth2_providers.h"

namespace mailbox {

namespace {

// How long one wait for run ends may last before the keys are looked at.
constexpr int KeyWatchMilliseconds = 30;

bool quitKeyWaiting(console::Console& console) {
  for (const std::string& key : console.waitingKeys()) {
    if (key == "\x1b" || key == "q" || key == "Q") return true;
  }
  return false;
}

}  // namespace

// Starts the check run of account a; a run that cannot start ends at once.
bool CheckAll::startRun(core::Program& program, int a) {
  jobs_[a - 1].stage = Stage::Checking;
  const platform::ToolRun run = checkRun(program.state, a);
  platform::ToolOutcome outcome = platform::ToolOutcome::Done;
  int number = program.system.startTool(run, &outcome);
  if (number > 0) {
    running_[number] = a;
    return false;
  }
  return runEnded(program, a, outcome);
}

// Shows account a as its check run left it, which ended (or could not start)
// with outcome.
bool CheckAll::runEnded(core::Program& program, int a, platform::ToolOutcome outcome) {
  checkRunEnded(program.state, a, outcome);
  jobs_[a - 1].stage = Stage::Done;
  return true;
}

// Starts the check runs of waiting accounts while the limits allow; returns
// how many accounts were done at once (their runs could not start).
int CheckAll::startWaiting(core::Program& program) {
  auto isRunning = [](Stage stage) { return stage == Stage::Checking; };
  int done = 0;
  for (size_t i = 0; i < jobs_.size(); ++i) {
    int busy = 0, sameHost = 0;
    for (const Job& other : jobs_) {
      busy += isRunning(other.stage);
      sameHost += isRunning(other.stage) && other.host == jobs_[i].host;
    }
    if (busy >= MaxRunningAccounts) break;
    if (jobs_[i].stage != Stage::Waiting || sameHost >= MaxAccountsPerHost) continue;
    const int a = static_cast<int>(i) + 1;
    done += startRun(program, a);
  }
  return done;
}

void CheckAll::start(core::Program& program) {
  core::State& s = program.state;
  if (!jobs_.empty()) return;  // one at a time
  for (int a = 1; a <= std::min(s.accountCount, core::MaxAccounts); ++a) {
    jobs_.push_back({Stage::Waiting, platform::serverHost(s.account(a).serverName)});
    s.account(a).busyMark = " [bezig]";
  }
  s.bodyLinesToFetch = 40;
}

bool CheckAll::underway() const {
  for (const Job& job : jobs_) {
    if (job.stage != Stage::Done) return true;
  }
  return false;
}

void CheckAll::proceed(core::Program& program) {
  core::State& s = program.state;
  int done = startWaiting(program);
  while (done == 0 && !running_.empty()) {
    program.console.flush();  // also repaints a terminal that changed size
    if (quitKeyWaiting(program.console)) {
      program.system.stopTools();
      s.quitRequested = true;
      return;
    }
    platform::ToolOutcome outcome = platform::ToolOutcome::Done;
    // Runs that end together are taken together, so one pass shows them all.
    for (int wait = KeyWatchMilliseconds;; wait = 0) {
      int number = program.system.waitForTools(wait, &outcome);
      if (number == 0) break;
      int a = running_[number];
      running_.erase(number);
      done += runEnded(program, a, outcome);
    }
    done += startWaiting(program);
  }
}

bool CheckAll::holds(int a) const { return a >= 1 && static_cast<size_t>(a) <= jobs_.size(); }

void CheckAll::endIfDone() {
  if (!underway()) {
    jobs_.clear();
    running_.clear();
  }
}

}  // namespace mailbox
