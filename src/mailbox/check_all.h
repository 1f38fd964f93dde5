// Checking every account at once: the same list and header runs as a check of
// one account, started side by side, at most MaxRunningAccounts accounts at a
// time and at most MaxAccountsPerHost against one server host. Each account's
// busy mark, summary and status line change as soon as its own runs end; a
// server that does not answer holds up only its own account.
#pragma once

#include <string>
#include <string_view>

#include "core/program.h"

namespace mailbox {

inline constexpr int MaxRunningAccounts = 8;
inline constexpr int MaxAccountsPerHost = 2;

/// Puts the busy mark on every folder line and has the next steps check
/// every account with 40 body lines; folders stay open or closed as they are.
void startCheckAll(core::Program& program);
/// Whether a check of every account still has runs to start or to end.
bool checkAllUnderway(const core::State& state);
/// Starts the runs that may start and waits for runs to end, until at least
/// one account is done (its state then shows the outcome) or no run is left.
/// Esc, q or Q waiting among the keys kills every run and sets quitRequested;
/// other keys stay for later.
void continueCheckAll(core::Program& program);
/// Whether account a belongs to the check of every account, which keeps its
/// state: a drawing pass shows it as it stands, without checking it again.
bool checkAllHolds(const core::State& state, int a);
/// Forgets the check of every account once it has ended.
void endCheckAll(core::State& state);

/// The host a server name points at: without ":port" or brackets, lower case.
std::string serverHost(std::string_view serverName);

}  // namespace mailbox
