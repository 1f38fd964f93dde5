#include "mailbox/check_all.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <vector>

#include "mailbox/check_account.h"

namespace mailbox {

enum class Stage { Waiting, Listing, Heading, Done };

// One account's part in the check of every account.
struct Job {
  Stage stage = Stage::Waiting;
  std::string host;
};

class CheckAll {
 public:
  std::vector<Job> jobs;       // index a - 1 for account a
  std::map<int, int> running;  // run number -> account
};

namespace {

// How long one wait for run ends may last before the keys are looked at.
constexpr int KeyWatchMilliseconds = 30;

bool isRunning(Stage stage) { return stage == Stage::Listing || stage == Stage::Heading; }

bool quitKeyWaiting(console::Console& console) {
  for (const std::string& key : console.waitingKeys()) {
    if (key == "\x1b" || key == "q" || key == "Q") return true;
  }
  return false;
}

// Moves account a on after a run of it ended (or could not start) with
// outcome; false while its header run still follows.
bool runEnded(core::Program& program, CheckAll& all, int a, platform::ToolOutcome outcome);

// Starts run for account a in the given stage; a run that cannot start ends at once.
bool start(core::Program& program, CheckAll& all, int a, Stage stage,
           const platform::ToolRun& run) {
  all.jobs[a - 1].stage = stage;
  platform::ToolOutcome outcome = platform::ToolOutcome::Done;
  int number = program.system.startTool(run, &outcome);
  if (number > 0) {
    all.running[number] = a;
    return false;
  }
  return runEnded(program, all, a, outcome);
}

bool runEnded(core::Program& program, CheckAll& all, int a, platform::ToolOutcome outcome) {
  core::State& s = program.state;
  Job& job = all.jobs[a - 1];
  if (job.stage == Stage::Listing) {
    bool answered = listRunAnswered(s, a, outcome);
    readListFile(s, a, !answered, outcome);
    if (answered) return start(program, all, a, Stage::Heading, headerRun(s, a));
  } else {
    headerRunEnded(program, a, outcome);
  }
  job.stage = Stage::Done;
  return true;
}

// Starts the list runs of waiting accounts while the limits allow; returns
// how many accounts were done at once (their runs could not start).
int startWaiting(core::Program& program, CheckAll& all) {
  int done = 0;
  for (size_t i = 0; i < all.jobs.size(); ++i) {
    int busy = 0, sameHost = 0;
    for (const Job& other : all.jobs) {
      busy += isRunning(other.stage);
      sameHost += isRunning(other.stage) && other.host == all.jobs[i].host;
    }
    if (busy >= MaxRunningAccounts) break;
    if (all.jobs[i].stage != Stage::Waiting || sameHost >= MaxAccountsPerHost) continue;
    const int a = static_cast<int>(i) + 1;
    done += start(program, all, a, Stage::Listing, listRun(program.state, a));
  }
  return done;
}

}  // namespace

std::string serverHost(std::string_view name) {
  for (std::string_view scheme : {"pop3s://", "pop3://"}) {
    if (name.starts_with(scheme)) name.remove_prefix(scheme.size());
  }
  if (name.starts_with('[')) {
    name = name.substr(1, name.find(']') - 1);
  } else if (name.find(':') == name.rfind(':')) {  // one colon at most: not a bare IPv6 address
    name = name.substr(0, name.find(':'));
  }
  std::string host(name);
  std::transform(host.begin(), host.end(), host.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return host;
}

void startCheckAll(core::Program& program) {
  core::State& s = program.state;
  if (s.checkAll) return;  // one at a time
  auto all = std::make_shared<CheckAll>();
  for (int a = 1; a <= std::min(s.accountCount, core::MaxAccounts); ++a) {
    all->jobs.push_back({Stage::Waiting, serverHost(s.serverName[a])});
    s.busyMark[a] = " [bezig]";
  }
  s.bodyLinesToFetch = 40;
  s.checkAll = all;
}

bool checkAllUnderway(const core::State& state) {
  if (!state.checkAll) return false;
  for (const Job& job : state.checkAll->jobs) {
    if (job.stage != Stage::Done) return true;
  }
  return false;
}

void continueCheckAll(core::Program& program) {
  core::State& s = program.state;
  CheckAll& all = *s.checkAll;
  int done = startWaiting(program, all);
  while (done == 0 && !all.running.empty()) {
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
      int a = all.running[number];
      all.running.erase(number);
      done += runEnded(program, all, a, outcome);
    }
    done += startWaiting(program, all);
  }
}

bool checkAllHolds(const core::State& state, int a) {
  return state.checkAll && a >= 1 && static_cast<size_t>(a) <= state.checkAll->jobs.size();
}

void endCheckAll(core::State& state) {
  if (!checkAllUnderway(state)) state.checkAll.reset();
}

}  // namespace mailbox
