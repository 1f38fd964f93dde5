#include "core/state.h"

#include <utility>

namespace core {

void swapAccounts(State& s, int a, int b) {
  std::swap(s.serverName[a], s.serverName[b]);
  std::swap(s.userName[a], s.userName[b]);
  std::swap(s.password[a], s.password[b]);
  std::swap(s.accountLabel[a], s.accountLabel[b]);
  std::swap(s.messageCount[a], s.messageCount[b]);
  std::swap(s.statusText[a], s.statusText[b]);
  std::swap(s.summaryText[a], s.summaryText[b]);
  std::swap(s.busyMark[a], s.busyMark[b]);
  std::swap(s.resultFilesCurrent[a], s.resultFilesCurrent[b]);
  std::swap(s.recheckRequested[a], s.recheckRequested[b]);
  for (int m = 0; m <= MaxMessages; ++m) std::swap(s.cell(a, m), s.cell(b, m));
  std::swap(s.cell(0, a), s.cell(0, b));
}

}  // namespace core
