// crash_driver: edits the accounts of a real working directory the way the
// program does (settings editor closes, account removals, account moves) until
// it is killed, and at its next start checks that no account was lost.
//
// Usage: crash_driver DIR KILL_AFTER_US [MAX_OPERATIONS]
//
// Before each operation the driver appends "begin N <table>" to its log, the
// account table the operation must give; after it, "done N". A start reads
// Mailvak.ini the way the program's start does and must find the table of the
// last completed operation, or that of the one begun after it. The driver then
// arms a SIGKILL for KILL_AFTER_US microseconds later (0: never) and works on.
//
// Prints "start ok ACCOUNTS OPERATION" after a good start; exits 1 with
// "LOST ..." when a start finds another table, 2 when an operation did not do
// what it should, 0 after MAX_OPERATIONS (default 100000).
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "actions/move_account.h"
#include "config/account_removal.h"
#include "config/config_file.h"
#include "config/settings_editor.h"
#include "console/memory_console.h"
#include "console/system.h"
#include "mailbox/program.h"

namespace {

constexpr char LogName[] = "crash-driver.log";

struct Account {
  std::string server, user, password, label;
  bool operator==(const Account&) const = default;
};
using Table = std::vector<Account>;

// Fields hold only letters, digits, dots and dashes: the separators are safe.
std::string serialise(const Table& table) {
  std::string out;
  for (const Account& a : table) out += a.server + "|" + a.user + "|" + a.password + "|" + a.label + ";";
  return out.empty() ? "-" : out;
}

Table parse(const std::string& text) {
  Table table;
  size_t at = 0;
  while (at < text.size() && text != "-") {
    size_t end = text.find(';', at);
    std::string record = text.substr(at, end - at);
    Account a;
    std::string* fields[] = {&a.server, &a.user, &a.password, &a.label};
    size_t from = 0;
    for (std::string* f : fields) {
      size_t bar = record.find('|', from);
      *f = record.substr(from, bar - from);
      from = bar == std::string::npos ? record.size() : bar + 1;
    }
    table.push_back(a);
    at = end + 1;
  }
  return table;
}

Table tableOf(const mailbox::State& s) {
  Table t;
  for (int a = 1; a <= s.accountCount; ++a) {
    t.push_back({s.serverName[a], s.userName[a], s.password[a], s.accountLabel[a]});
  }
  return t;
}

void logLine(const std::string& line) {
  int fd = open(LogName, O_WRONLY | O_APPEND | O_CREAT, 0600);
  std::string text = line + "\n";
  if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    std::perror("crash-driver.log");
    std::exit(3);
  }
  close(fd);
}

struct Log {
  long done = -1;
  long begun = -1;
  Table doneTable, begunTable;
};

// A line cut short by the kill is ignored: its operation never began.
Log readLog() {
  Log log;
  std::ifstream in(LogName);
  std::string line;
  Table last;
  while (std::getline(in, line)) {
    if (in.eof()) break;  // no line end: cut short
    if (line.rfind("begin ", 0) == 0) {
      size_t blank = line.find(' ', 6);
      log.begun = std::stol(line.substr(6, blank - 6));
      log.begunTable = parse(line.substr(blank + 1));
    } else if (line.rfind("done ", 0) == 0) {
      log.done = std::stol(line.substr(5));
      log.doneTable = log.begunTable;
    }
  }
  return log;
}

struct Driver {
  mailbox::State state;
  console::MemoryConsole console;
  console::System system;
  mailbox::Program program{state, console, system};

  Driver() { console.setSize(127, 59); }

  void type(const std::string& text) {
    for (char c : text) console.pushKey(std::string(1, c));
  }

  // The settings editor opened below the list: a new account typed in, then closed.
  void addAccount(const Account& a) {
    state.cursorBelowList = 1;
    state.cursorAccount = state.accountCount + 1;
    type(a.server);
    console.pushKey("\t");
    type(a.user);
    console.pushKey("\t");
    type(a.password);
    console.pushKey("\t");
    type(a.label);
    console.pushKey("\r");
    config::settingsEditor(program);
  }
  // The settings editor opened on an account and closed unchanged: the file
  // is written again all the same.
  void openAndClose(int account) {
    state.cursorBelowList = 0;
    state.cursorAccount = account;
    config::settingsEditor(program);
  }
  void remove(int account) {
    console.pushKey("j");
    config::removeAccount(program, account);
  }
  void move(int account, bool up) {
    state.cursorAccount = account;
    state.cursorLine = account;
    if (up) {
      actions::moveAccountUp(program);
    } else {
      actions::moveAccountDown(program);
    }
  }
};

void armKill(long microseconds) {
  if (microseconds <= 0) return;
  std::thread([microseconds] {
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
    kill(getpid(), SIGKILL);
  }).detach();
}

Account newAccount(long n, std::mt19937& random) {
  std::string id = std::to_string(n);
  std::string password = "pw" + std::to_string(random() % 100000);
  return {"pop" + id + ".example.nl", "gebruiker" + id, password, "Account-" + id};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: crash_driver DIR KILL_AFTER_US [MAX_OPERATIONS]\n");
    return 64;
  }
  if (chdir(argv[1]) != 0) {
    std::perror(argv[1]);
    return 64;
  }
  long killAfter = std::atol(argv[2]);
  long maxOperations = argc > 3 ? std::atol(argv[3]) : 100000;

  {
    // A log line cut short by a kill is ended, so the next line stands alone.
    std::ifstream in(LogName, std::ios::binary | std::ios::ate);
    if (in && in.tellg() > 0) {
      in.seekg(-1, std::ios::end);
      if (in.get() != '\n') {
        in.close();
        int fd = open(LogName, O_WRONLY | O_APPEND);
        if (fd >= 0 && write(fd, "\n", 1) != 1) return 3;
        if (fd >= 0) close(fd);
      }
    }
  }
  Log log = readLog();
  Driver driver;
  armKill(killAfter);
  if (log.done < 0) {
    // The first run sets up five accounts; a run killed while doing so starts over.
    unlink(config::ConfigurationFileName);
    unlink(config::TemporaryFileName);
    unlink(LogName);
    std::mt19937 random(1);
    Table table;
    for (int n = 1; n <= 5; ++n) table.push_back(newAccount(n, random));
    for (int a = 1; a <= 5; ++a) {
      const Account& acc = table[static_cast<size_t>(a - 1)];
      driver.state.serverName[a] = acc.server;
      driver.state.userName[a] = acc.user;
      driver.state.password[a] = acc.password;
      driver.state.accountLabel[a] = acc.label;
    }
    driver.state.accountCount = 5;
    logLine("begin 0 " + serialise(table));
    if (!config::writeConfiguration(driver.program)) return 2;
    logLine("done 0");
    log = readLog();
  }

  // The start: what the program reads must be a table some operation left.
  mailbox::State& s = driver.state;
  s = mailbox::State();
  if (!config::readConfiguration(driver.program)) {
    std::printf("LOST: the configuration was not accepted after operation %ld\n", log.done);
    return 1;
  }
  Table found = tableOf(s);
  bool good = found == log.doneTable || (log.begun > log.done && found == log.begunTable);
  if (!good) {
    std::printf("LOST after operation %ld (begun %ld)\n  found:    %s\n  expected: %s\n", log.done,
                log.begun, serialise(found).c_str(), serialise(log.doneTable).c_str());
    return 1;
  }
  std::printf("start ok %zu %ld\n", found.size(), log.done);
  std::fflush(stdout);
  // The operation that was cut short is either done or not: go on from what is.
  long next = log.done + 1;
  if (found != log.doneTable) {
    logLine("done " + std::to_string(log.begun));
    next = log.begun + 1;
  }

  for (long n = next; n <= maxOperations; ++n) {
    std::mt19937 random(static_cast<unsigned>(n));
    Table table = tableOf(s);
    int count = static_cast<int>(table.size());
    int kind = count <= 2 ? 0 : count >= 12 ? 1 : static_cast<int>(random() % 5);
    int account = 1 + static_cast<int>(random() % static_cast<unsigned>(count));
    Table expected = table;
    switch (kind) {
      case 0:
        expected.push_back(newAccount(n, random));
        break;
      case 1:
        expected.erase(expected.begin() + (account - 1));
        break;
      case 2:
        if (account == 1) account = 2;
        std::swap(expected[account - 1], expected[account - 2]);
        break;
      case 3:
        if (account == count) account = count - 1;
        std::swap(expected[account - 1], expected[account]);
        break;
      default:
        break;
    }
    logLine("begin " + std::to_string(n) + " " + serialise(expected));
    switch (kind) {
      case 0:
        driver.addAccount(expected.back());
        break;
      case 1:
        driver.remove(account);
        break;
      case 2:
        driver.move(account, true);
        break;
      case 3:
        driver.move(account, false);
        break;
      default:
        driver.openAndClose(account);
        break;
    }
    if (tableOf(s) != expected) {
      std::printf("operation %ld (kind %d on account %d) gave %s, not %s\n", n, kind, account,
                  serialise(tableOf(s)).c_str(), serialise(expected).c_str());
      return 2;
    }
    logLine("done " + std::to_string(n));
  }
  return 0;
}
