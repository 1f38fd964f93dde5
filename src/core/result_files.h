// The POP3 tool's result files, read once and kept while they do not change.
//
// Get2<a>.txt, the list file:
//   line 1   the count answer: "+OK", blank, message count, blank, total bytes
//   line 2   the list answer (not used)
//   line 3.. one line per message in list order: number, blank, size in bytes
// Get4<a>.txt, the header file:
//   line 1   not used
//   then per message: reply lines beginning with "+" or "-", the header lines,
//   an empty line, the body lines and "." (a line beginning with "+OK" also
//   ends a message whose "." is missing).
//
// Every drawing pass of an open folder looks at both files again, so that a
// file changed on disk shows at once. A file is only read and parsed again when
// its identity (device, inode, size, modification and change time) differs
// from the one it had when it was read; the header file keeps, per place in the
// file where a message begins, what the message parse found there, so a pass
// over an unchanged file only walks that index.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/file_names.h"
#include "core/state.h"
#include "platform/files.h"

namespace core {

/// Reads lines from bytes in memory exactly as a text file is read: CR, LF
/// and CR LF end a line, a last line without an end is returned whole, and a
/// read at the end gives "".
struct LineReader {
  std::string_view text;
  size_t position = 0;

  bool endOfFile() const { return position >= text.size(); }
  std::string_view readLine();
};

/// The list file as the account check uses it.
struct ListFile {
  /// Missing or without a byte: the check reads it as "no answer".
  bool empty = true;
  std::string firstLine;
  /// Sizes taken from the lines after line 2 in file order, at most
  /// MaxMessages of them (the number after the first blank, 0 without one).
  std::vector<long long> sizes;
};

/// What the parse of one message of the header file found, for a message that
/// begins at a given read position.
struct MessageRecord {
  size_t start = 0;
  /// Read position of the first header line (the first line read that does
  /// not begin with "+" or "-").
  size_t headerStart = 0;
  /// Lines in the header block, the first one up to (not counting) the empty
  /// line that ends it. Not capped: the drawing keeps what fits.
  int headerCount = 0;
  /// The last header lines containing "From: ", "Subject: " and "Date:";
  /// empty views when there is none.
  std::string_view fromLine, subjectLine, dateLine;
  bool hasDate = false;
  /// Read position after the empty line that ends the header block.
  size_t bodyStart = 0;
  /// Read position after skipping to the message's end when it is not expanded.
  size_t end = 0;
};

/// The header file with its index of parsed messages.
class HeaderFile {
 public:
  explicit HeaderFile(std::string text);

  bool empty() const { return text_.empty(); }
  std::string_view text() const { return text_; }
  /// Read position after line 1.
  size_t firstMessageStart() const { return firstMessageStart_; }

  /// The record of the message that begins at read position start. hint is
  /// the index the caller expects it at (the one after the previous record it
  /// got), which makes walking an unchanged file a sequence of comparisons.
  const MessageRecord& recordAt(size_t start, size_t& hint);

  /// Read position after skipping from a current line to the end of its
  /// message: the line is kept when it is "." or begins with "+OK", else lines
  /// are read until one is, or the file ends.
  size_t skipToMessageEnd(std::string_view currentLine, size_t position) const;

 private:
  MessageRecord parse(size_t start) const;

  std::string text_;
  size_t firstMessageStart_ = 0;
  std::vector<MessageRecord> records_;
  std::unordered_map<size_t, size_t> indexByStart_;
};

/// The cache of result files by name, with the identity they had when read.
class ResultFileCache {
 public:
  /// The list file as it is on disk now (re-read only when it changed).
  const ListFile& list(const std::string& name);
  /// The header file as it is on disk now, nullptr when it is missing. The
  /// caller's pointer stays valid even if the file is re-read meanwhile.
  std::shared_ptr<HeaderFile> header(const std::string& name);
  /// Drops what is kept of a file, so that the next look reads it afresh
  /// (after the tool wrote it: two versions may share size and time stamps).
  void forget(const std::string& name);

  /// How often a file was read from disk (for tests of the cache itself).
  long long reads() const { return reads_; }

 private:
  struct ListEntry {
    platform::FileIdentity identity;
    ListFile file;
  };
  struct HeaderEntry {
    platform::FileIdentity identity;
    std::shared_ptr<HeaderFile> file;
  };
  std::unordered_map<std::string, ListEntry> lists_;
  std::unordered_map<std::string, HeaderEntry> headers_;
  long long reads_ = 0;
};

/// The program's cache, made on first use.
ResultFileCache& resultFiles(State& state);

}  // namespace core
