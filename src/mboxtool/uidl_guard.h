// The deletion guard: a message is deleted only while it is the message the
// user saw.
//
// Each `list` run keeps the numbers, sizes and UIDLs it saw in a snapshot
// file (mode 0600, no password in it): the file the caller names with
// `--seen FILE`, else "uidl-<hash>.dat" in the working directory, one per
// server and user, for runs by hand. The snapshot names its mailbox:
//
//   mboxtool seen 2
//   <host, lower-cased> <port> <user name as hex>
//   <count> <uidl|nouidl>
//   <number> <size> <UIDL as hex, or "-">      one line per message
//
// `dele` and `deles` go only by a snapshot of this very mailbox, in this
// format, read whole from a plain file of the tool's own user of at most
// MaxSnapshotBytes; anything else deletes nothing. They compare it with the
// mailbox as it is now: a message with a unique, printable UIDL is deleted
// under the number that carries its UIDL now, and skipped when the UIDL is
// gone. A UIDL with control characters or one that occurs twice is no
// reliable name, so that message is deleted only under its unchanged number
// with the same UIDL. Without UIDLs
// a message is deleted only under its unchanged number, with the same size,
// while the mailbox holds as many messages as then. A number the last list
// did not show is never deleted. The index keeps messages 1..MaxIndexed (the
// count goes on beyond); a UIDL longer than 70 bytes, more than a server may
// send, is kept as a digest that counts as no reliable name.
//
// Beside it, "stls-<hash>.dat" records that a server (host and port) offered
// STLS; from then on the tool sends no password to it in plain text. And
// "ahead-<hash>.dat" records whether a server that does not announce
// PIPELINING answers commands sent ahead, and when that was found out:
//
//   mboxtool ahead 1
//   <works|fails> <seconds since 1970>
//
// A record older than AheadRecordDays, from the future, damaged, or no plain
// file of the user counts as none: the tool finds out again.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "mboxtool/pop3_session.h"

namespace mboxtool {

struct IndexEntry {
  long long size = -1;  // -1: not known
  bool hasUidl = false;
  std::string uidl;
};

/// What a mailbox held: message number → size and UIDL.
struct MailboxIndex {
  std::string mailbox;     // whose: mailboxName()
  bool haveUidls = false;  // the server answered UIDL
  long count = 0;          // messages listed
  std::map<long, IndexEntry> entries;
};

/// Messages numbered above this are counted but not kept in an index.
constexpr long MaxIndexed = 10000;

/// A larger snapshot is never read: MaxIndexed entries with the longest
/// UIDLs take less than half of it.
constexpr size_t MaxSnapshotBytes = 4u << 20;

/// The snapshot's file name for this server and user when the caller names none.
std::string sidecarName(const std::string& host, int port, const std::string& user);

/// How a snapshot names the mailbox of this server and user.
std::string mailboxName(const std::string& host, int port, const std::string& user);

/// The name of the file that records that this server offered STLS.
std::string stlsMarkName(const std::string& host, int port);

/// Whether anything exists under path (a damaged mark still counts).
bool stlsSeen(const std::string& path);

/// Creates the mark with mode 0600; never through a symbolic link, never
/// over anything that exists.
void rememberStls(const std::string& path);

/// A record of commands sent ahead is trusted this long.
constexpr long long AheadRecordDays = 30;

/// The name of the file that records whether this server answers commands
/// sent ahead.
std::string aheadRecordName(const std::string& host, int port);

/// What the record at path says at `now` (seconds since 1970): works, fails,
/// or nothing (Ahead::Unknown) when it is missing, stale or untrusted.
Ahead recallAhead(const std::string& path, long long now);

/// Replaces the record at path with `found`, dated now.
void rememberAhead(const std::string& path, Ahead found, long long now);

/// Writes index to path with mode 0600, replacing it only when complete.
bool saveIndex(const std::string& path, const MailboxIndex& index, std::string* err);

/// Reads a snapshot written by saveIndex; false with *err when it is missing,
/// untrusted (see above), of another format or damaged.
bool loadIndex(const std::string& path, MailboxIndex* index, std::string* err);

/// Adds one scan line ("n size") of a LIST reply to index.
void addListLine(MailboxIndex* index, std::string_view line);

/// Adds one line ("n uidl") of a UIDL reply to index.
void addUidlLine(MailboxIndex* index, std::string_view line);

/// One requested deletion and what the guard made of it.
struct Deletion {
  long requested = 0;
  long target = 0;     // the number to delete now; 0 = skipped
  std::string reason;  // why it was skipped
};

/// Decides, for each requested number, which message to delete now.
std::vector<Deletion> planDeletions(const std::vector<long>& requested, const MailboxIndex& seen,
                                    const MailboxIndex& now);

/// The message numbers of a deletion list: one per line, other lines ignored.
std::vector<long> parseDeletionList(std::string_view text);

}  // namespace mboxtool
