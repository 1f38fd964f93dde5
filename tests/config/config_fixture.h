// A program over a memory console in a fresh working directory, with a System
// that logs every delete and rename it is asked for.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config_file.h"
#include "config/password.h"
#include "console/memory_console.h"
#include "console/system.h"
#include "mailbox/program.h"
#include "support/temp_dir.h"

namespace config {

class LoggingSystem : public console::System {
 public:
  std::vector<std::string> log;
  bool refuseRenames = false;

  bool deleteFile(const std::string& name) override {
    log.push_back("delete " + name);
    return System::deleteFile(name);
  }
  bool renameFile(const std::string& from, const std::string& to) override {
    log.push_back("rename " + from + " " + to);
    return !refuseRenames && System::renameFile(from, to);
  }
};

class ConfigTest : public ::testing::Test {
 protected:
  ConfigTest() { console.setSize(127, 59); }

  /// Sets account a of the table.
  void setAccount(int a, std::string server, std::string user, std::string password,
                  std::string label) {
    state.serverName[a] = std::move(server);
    state.userName[a] = std::move(user);
    state.password[a] = std::move(password);
    state.accountLabel[a] = std::move(label);
  }
  void keys(std::initializer_list<std::string> list) {
    for (const std::string& key : list) console.pushKey(key);
  }
  void type(const std::string& text) {
    for (char c : text) console.pushKey(std::string(1, c));
  }
  std::string ini() const { return testing_support::readFile(ConfigurationFileName); }
  void writeIni(const std::string& bytes) const {
    testing_support::writeFile(ConfigurationFileName, bytes);
  }
  /// A record as the writer lays it out, the password given as its file line.
  static std::string record(const std::string& server, const std::string& user,
                            const std::string& passwordLine, const std::string& label) {
    return server + "\r\n" + user + "\r\n" + passwordLine + "\r\n" + label + "\r\n\r\n";
  }

  testing_support::ScopedTempDir dir;
  mailbox::State state;
  console::MemoryConsole console;
  LoggingSystem system;
  mailbox::Program program{state, console, system};
};

}  // namespace config
