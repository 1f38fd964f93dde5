// Drawing an account's list: its status line, or the column header row and one
// message line per message with the full headers and body lines of expanded ones.
#pragma once

#include "core/program.h"

namespace mailbox {

/// What a message line asks for with its request bits. The drawing pass calls
/// it at the moment it reaches that line, so a box it shows stands over the
/// list as drawn so far; the main loop provides it.
class LineRequests {
 public:
  /// Fetches message m of account a and opens it (OpenRequested).
  virtual void open(int account, int message) = 0;
  /// Deletes message m of account a, or the marked messages when any is
  /// marked (DeleteRequested); returns whether a deletion ran.
  virtual bool remove(int account, int message, bool marked) = 0;

 protected:
  ~LineRequests() = default;
};

/// Draws the list lines of account a from its header result file, advancing
/// lineCounter, and hands the requests it reaches to requests.
void drawAccountList(core::Program& program, int account, LineRequests& requests);

}  // namespace mailbox
