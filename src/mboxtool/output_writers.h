// The tool's output files, written to stdout and redirected by the program.
//
// list: line 1 is the STAT answer ("+OK 6 1828"), line 2 the LIST status
//   line, then one "number size" line per message and ".".
// top K N: line 1 is the answer to the login, then one record per message
//   1..K: the TOP status line, the header lines, an empty line, at most N
//   body lines as the server sent them (dot-stuffing included) and ".". A
//   message the server refuses gets its -ERR line, two empty lines and ".",
//   so the records of later messages never shift. The program's reader ends
//   lines at a lone CR too and takes a line beginning with "+OK" for the start
//   of the next record, so a lone CR is written as a blank, a body line
//   beginning with "+OK" and a header line beginning with "+" or "-" get one
//   blank before them, a record without header lines gets an empty one, and
//   a header block that lacks its closing empty line gets one. A record holds
//   no more than the program's list can show of a message: at most 801 header
//   lines, and at most 128 KiB of header and body lines; of the header lines
//   past that, the last one holding "From: ", "Subject: " or "Date:" is still
//   written, in order, since the list line shows the last of each.
// stop M N: the message itself: headers, empty line, at most N body lines,
//   dot-stuffing undone; a clean .eml.
// Every line ends in CR LF. A server refusal is written as its -ERR line.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "mboxtool/pop3_session.h"

namespace mboxtool {

/// Where the output goes: a file descriptor in the tool, a string in tests.
class Sink {
 public:
  virtual ~Sink() = default;
  /// Writes bytes; false once writing failed.
  virtual bool write(std::string_view bytes) = 0;
  /// Pushes buffered bytes out; false when this or any earlier write failed.
  virtual bool flush() { return true; }
};

/// Buffers output for the tool's standard output or a file it writes.
class BufferedSink : public Sink {
 public:
  explicit BufferedSink(std::function<bool(std::string_view)> put) : put_(std::move(put)) {}
  ~BufferedSink() override { flush(); }
  bool write(std::string_view bytes) override;
  bool flush() override;

 private:
  std::function<bool(std::string_view)> put_;
  std::string buffer_;
  bool good_ = true;
};

/// Collects output in memory.
class StringSink : public Sink {
 public:
  bool write(std::string_view bytes) override {
    text.append(bytes);
    return true;
  }
  std::string text;
};

/// Writes text and CR LF.
bool writeLine(Sink& out, std::string_view text);

/// The line as the program's reader must see it: a lone CR becomes a blank.
std::string previewLine(std::string_view line);

/// Writes the records of `top`: reply i of the batch is message i + 1.
class TopRecordWriter : public ReplyHandler {
 public:
  TopRecordWriter(Sink& out, long bodyLines) : out_(out), bodyLines_(bodyLines) {}
  bool status(size_t index, const std::string& line, bool ok) override;
  bool line(size_t index, const std::string& line) override;
  bool end(size_t index) override;
  /// Ends a record that a failed connection left open, so the file stays
  /// aligned; false on output failure.
  bool closeOpenRecord();

  static constexpr long MaxHeaderLines = 801;
  static constexpr size_t MaxRecordBytes = 128 * 1024;

 private:
  bool endHeaders();

  Sink& out_;
  long bodyLines_;
  bool open_ = false;
  bool inHeaders_ = false;
  long headerCount_ = 0;
  long bodyCount_ = 0;
  size_t recordBytes_ = 0;
  bool headersCut_ = false;
  // The last dropped header line with "From: ", "Subject: ", "Date:" and the
  // place it came at.
  std::string late_[3];
  long lateAt_[3] = {0, 0, 0};
};

/// Writes one message for `stop` from a TOP or RETR reply.
class MessageWriter : public ReplyHandler {
 public:
  MessageWriter(Sink& out, long bodyLines) : out_(out), bodyLines_(bodyLines) {}
  bool status(size_t index, const std::string& line, bool ok) override;
  bool line(size_t index, const std::string& line) override;
  bool end(size_t index) override;

 private:
  Sink& out_;
  long bodyLines_;
  bool ok_ = false;
  bool inHeaders_ = true;
  long bodyCount_ = 0;
};

}  // namespace mboxtool
