// The main screen loop: one drawing pass, one key, until the user quits.
#pragma once

#include "core/program.h"
#include "mailbox/account_list.h"
#include "mailbox/check_all.h"

namespace app {

/// The server actions that message lines ask for, run as the pass reaches
/// them: b fetches and opens a message, Ctrl-b first asks how much (the last
/// key tells them apart); Alt-d deletes it, or the marked ones.
class ServerRequests final : public mailbox::LineRequests {
 public:
  explicit ServerRequests(core::Program& program) : program_(program) {}
  void open(int account, int message) override;
  bool remove(int account, int message, bool marked) override;

 private:
  core::Program& program_;
};

/// One drawing pass: repaints every row from the state, runs the checks of
/// open folders and a requested emptying, and records the line under the
/// cursor. Accounts that checkAll holds are shown as they stand.
void drawingPass(core::Program& program, const mailbox::CheckAll& checkAll);

/// Runs drawing passes and key dispatches until quitRequested; owns the check
/// of every account that the key a asks for.
void mainLoop(core::Program& program);

}  // namespace app
