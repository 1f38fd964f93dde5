#include "mboxtool/tool.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "mboxtool/pop3_session.h"
#include "mboxtool/server_address.h"
#include "mboxtool/uidl_guard.h"
#include "platform/tool_files.h"
#include "platform/tool_os.h"

namespace mboxtool {

namespace {

constexpr long MaxCount = 1000000000;

// The list file holds at most this many scan lines: the program lists no more.
constexpr size_t MaxListLines = 800;

// top asks for this many messages at a time, so its commands never fill memory.
constexpr long TopBatch = 1000;

// A larger deles.dat is never read; the program's own never comes near it.
constexpr size_t MaxDeletionListBytes = 16u << 20;

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

int envMs(const char* name, long long fallback) {
  const char* v = std::getenv(name);
  if (!v || !*v) return static_cast<int>(fallback);
  char* end = nullptr;
  long long n = std::strtoll(v, &end, 10);
  if (*end != '\0' || n < 1 || n > 24LL * 3600 * 1000) {
    return static_cast<int>(fallback);
  }
  return static_cast<int>(n);
}

bool hasLineBreak(const std::string& s) {
  return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// Collects the LIST and UIDL replies into an index; writes the LIST part of
// the list file when out is given, at most MaxListLines scan lines of it.
class ListHandler : public ReplyHandler {
 public:
  ListHandler(Sink* out, MailboxIndex* index) : out_(out), index_(index) {}
  bool status(size_t i, const std::string& line, bool ok) override {
    uidl_ = i == 1;
    if (uidl_) {  // not part of the file
      index_->haveUidls = ok;
      return true;
    }
    if (out_ && !writeLine(*out_, previewLine(line))) return false;
    if (!ok) refused_ = true;
    return ok;  // the file ends at a refused LIST
  }
  bool line(size_t, const std::string& line) override {
    if (uidl_) {
      addUidlLine(index_, line);
      return true;
    }
    addListLine(index_, line);
    if (!out_ || written_ >= MaxListLines) return true;
    ++written_;
    return writeLine(*out_, previewLine(line));
  }
  bool end(size_t) override {
    if (!uidl_ && out_) return writeLine(*out_, ".");
    return true;
  }
  bool refused() const { return refused_; }

 private:
  Sink* out_;
  MailboxIndex* index_;
  bool uidl_ = false;
  bool refused_ = false;
  size_t written_ = 0;
};

// Hands the replies of a check's batch on: LIST and UIDL to the list's
// handler, the TOPs after them to the header file's writer.
class CheckHandler : public ReplyHandler {
 public:
  CheckHandler(ListHandler& list, TopRecordWriter& top) : list_(list), top_(top) {}
  bool status(size_t i, const std::string& line, bool ok) override {
    return i < 2 ? list_.status(i, line, ok) : top_.status(i - 2, line, ok);
  }
  bool line(size_t i, const std::string& line) override {
    return i < 2 ? list_.line(i, line) : top_.line(i - 2, line);
  }
  bool end(size_t i) override {
    if (i == 1) listWhole = true;
    return i < 2 ? list_.end(i) : top_.end(i - 2);
  }
  bool listWhole = false;  // the UIDL reply, the last of the list, has ended

 private:
  ListHandler& list_;
  TopRecordWriter& top_;
};

// The message count of a STAT answer; 0 when it was refused.
long messageCount(const std::string& stat) {
  long present = 0;
  if (startsWith(stat, "+OK ")) present = std::strtol(stat.c_str() + 4, nullptr, 10);
  return std::max(present, 0L);
}

// TOP first..last with the body-line count.
void addTops(std::vector<Command>* cmds, long first, long last, long bodyLines) {
  std::string suffix(" ");
  suffix += std::to_string(bodyLines);
  for (long m = first; m <= last; ++m) cmds->push_back({"TOP " + std::to_string(m) + suffix, true});
}

// Collects the single-line replies of a batch.
class StatusHandler : public ReplyHandler {
 public:
  bool status(size_t, const std::string& line, bool) override {
    lines.push_back(line);
    return true;
  }
  bool line(size_t, const std::string&) override { return true; }
  bool end(size_t) override { return true; }
  std::vector<std::string> lines;
};

struct Run {
  const Request& request;
  const Options& options;
  Sink& out;
  ServerAddress address;
  std::string seenFile;  // given with --seen; "" for the default
  Session session;
  std::string err;

  Run(const Request& r, const Options& o, Sink& s)
      : request(r),
        options(o),
        out(s),
        session(o.timeouts, o.replyCap, r.command == "stop" ? MessageLineCap : LineCap) {}

  std::string seenPath() const {
    if (!seenFile.empty()) return seenFile;
    return options.workDir + "/" + sidecarName(address.host, address.port, request.user);
  }

  std::string mailbox() const { return mailboxName(address.host, address.port, request.user); }

  int list() {
    std::string answer;
    if (int status = stat(&answer)) return status;
    MailboxIndex index;
    index.mailbox = mailbox();
    ListHandler handler(&out, &index);
    bool ok = session.run({{"LIST", true}, {"UIDL", true}}, handler, &err);
    if (handler.refused()) return ExitFailed;
    if (!ok) return ExitBrokenOff;
    if (int status = saveList(index)) return status;
    sendQuit(false);
    return ExitDone;
  }

  // The first part of list and check: the STAT answer on the output.
  int stat(std::string* answer) {
    if (!session.takeEarlyReply(answer) && !session.simple("STAT", answer, &err)) {
      return ExitBrokenOff;
    }
    if (!writeLine(out, previewLine(*answer))) return ExitNotWritten;
    return startsWith(*answer, "+OK") ? ExitDone : ExitFailed;
  }

  // Only a list that was written whole gets its snapshot.
  int saveList(const MailboxIndex& index) {
    return out.flush() && saveIndex(seenPath(), index, &err) ? ExitDone : ExitNotWritten;
  }

  // list and `top K bodyLines` in one batch after STAT, K the message count
  // as far as the list goes; the list on the output, the records in headers.
  int check(long bodyLines, Sink& headers, const std::string& loginLine) {
    if (!writeLine(headers, loginLine)) return ExitNotWritten;
    std::string answer;
    if (int status = stat(&answer)) return status;
    MailboxIndex index;
    index.mailbox = mailbox();
    ListHandler list(&out, &index);
    TopRecordWriter writer(headers, bodyLines);
    CheckHandler both(list, writer);
    std::vector<Command> cmds = {{"LIST", true}, {"UIDL", true}};
    addTops(&cmds, 1, std::min<long>(messageCount(answer), MaxListLines), bodyLines);
    bool ok = session.run(cmds, both, &err);
    if (list.refused()) return ExitFailed;
    if (!both.listWhole) return ExitBrokenOff;
    if (int status = saveList(index)) return status;
    if (!ok) {
      writer.closeOpenRecord();
      return ExitBrokenOff;
    }
    sendQuit(false);
    return ExitDone;
  }

  int top(long count, long bodyLines, const std::string& loginLine) {
    if (!writeLine(out, loginLine)) return ExitNotWritten;
    std::string stat;
    if (!session.takeEarlyReply(&stat) && !session.simple("STAT", &stat, &err)) {
      return ExitBrokenOff;
    }
    long last = std::min(count, messageCount(stat));
    TopRecordWriter writer(out, bodyLines);
    for (long first = 1; first <= last; first += TopBatch) {
      std::vector<Command> cmds;
      addTops(&cmds, first, std::min(last, first + TopBatch - 1), bodyLines);
      if (!session.run(cmds, writer, &err)) {
        writer.closeOpenRecord();
        return ExitBrokenOff;
      }
    }
    sendQuit(false);
    return ExitDone;
  }

  int stop(long message, long bodyLines) {
    const Capabilities& caps = session.capabilities();
    // RETR only for a server that says it lacks TOP; the writer cuts the body.
    std::string cmd = (caps.known && !caps.top)
                          ? "RETR " + std::to_string(message)
                          : "TOP " + std::to_string(message) + " " + std::to_string(bodyLines);
    MessageWriter writer(out, bodyLines);
    if (!session.run({{cmd, true}}, writer, &err)) return ExitBrokenOff;
    sendQuit(false);
    return ExitDone;
  }

  int remove(const std::vector<long>& requested, const MailboxIndex& seen) {
    MailboxIndex now;
    ListHandler indexer(nullptr, &now);
    if (!session.run({{"LIST", true}, {"UIDL", true}}, indexer, &err) || indexer.refused()) {
      writeLine(out, "-ERR " + err + "; nothing was deleted");
      return ExitFailed;
    }
    std::vector<Deletion> plan = planDeletions(requested, seen, now);
    std::vector<Command> cmds;
    for (const Deletion& d : plan) {
      if (d.target) cmds.push_back({"DELE " + std::to_string(d.target), false});
    }
    StatusHandler replies;
    if (!session.run(cmds, replies, &err)) {
      writeLine(out, "-ERR " + err + "; nothing was deleted");
      return ExitFailed;
    }
    size_t r = 0;
    bool allDone = true;
    for (const Deletion& d : plan) {
      std::string n = std::to_string(d.requested);
      if (!d.target) {
        writeLine(out, "-ERR message " + n + " " + d.reason + "; not deleted");
        allDone = false;
        continue;
      }
      const std::string& reply = replies.lines[r++];
      if (!startsWith(reply, "+OK")) allDone = false;
      std::string moved =
          d.target == d.requested ? "" : " (now message " + std::to_string(d.target) + ")";
      writeLine(out, previewLine(reply) + " [message " + n + moved + "]");
    }
    return sendQuit(true) && allDone ? ExitDone : ExitFailed;
  }

  // Deletions take effect only when the server has answered QUIT.
  bool sendQuit(bool waitForAnswer) {
    std::string reply;
    if (!waitForAnswer) {
      // A read-only run needs no answer to QUIT: saves a round trip.
      std::string ignored;
      session.sendOnly("QUIT", &ignored);
      return true;
    }
    if (!session.simple("QUIT", &reply, &err)) {
      writeLine(out,
                "-ERR no answer to QUIT (" + err + "); the deletions may not have taken effect");
      return false;
    }
    writeLine(out, previewLine(reply));
    return startsWith(reply, "+OK");
  }
};

}  // namespace

bool parseCount(const std::string& text, long* value) {
  std::string digits = text;
  bool negative = false;
  if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
    negative = digits[0] == '-';
    digits.erase(0, 1);
  }
  if (digits.empty() || digits.size() > 40) return false;
  long long v = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    if (v < MaxCount) v = v * 10 + (c - '0');
  }
  if (v > MaxCount) v = MaxCount;
  *value = negative ? 0 : static_cast<long>(v);
  return true;
}

Options optionsFromEnvironment() {
  Options o;
  o.timeouts.connectMs = envMs("MBOXTOOL_CONNECT_TIMEOUT_MS", o.timeouts.connectMs);
  o.timeouts.readMs = envMs("MBOXTOOL_READ_TIMEOUT_MS", o.timeouts.readMs);
  o.timeouts.totalMs = envMs("MBOXTOOL_TOTAL_TIMEOUT_MS", o.timeouts.totalMs);
  return o;
}

int runTool(const Request& request, const Options& options, Sink& out) {
  // A server that drops the connection must not kill the tool mid-write.
  platform::prepareToolProcess();
  Run run(request, options, out);
  auto usage = [&](const std::string& why) {
    writeLine(out, "-ERR " + why);
    out.flush();
    return ExitFailed;
  };

  const std::string& cmd = request.command;
  std::vector<std::string> a = request.args;
  bool guarded = cmd == "list" || cmd == "check" || cmd == "dele" || cmd == "deles";
  if (a.size() >= 2 && a[a.size() - 2] == platform::SeenOption && guarded) {
    run.seenFile = a.back();
    a.resize(a.size() - 2);
    if (run.seenFile.empty()) return usage("--seen needs a file name");
  }
  if (std::find(a.begin(), a.end(), platform::SeenOption) != a.end()) {
    return usage("--seen FILE comes last, and only after list, dele or deles");
  }
  long first = 0, second = 0;
  std::string headerFile;
  std::vector<long> deletions;
  if (cmd == "list") {
    if (!a.empty()) return usage("list takes no arguments");
  } else if (cmd == "check") {
    if (a.size() != 3 || !parseCount(a[0], &second) || a[1] != platform::HeadersOption ||
        a[2].empty()) {
      return usage("check needs a number and --headers FILE");
    }
    headerFile = a[2];
  } else if (cmd == "top" || cmd == "stop") {
    if (a.size() != 2 || !parseCount(a[0], &first) || !parseCount(a[1], &second)) {
      return usage(cmd + " needs two numbers");
    }
    if (cmd == "stop" && first < 1) return usage("no such message");
  } else if (cmd == "dele") {
    if (a.size() != 1 || !parseCount(a[0], &first) || first < 1) {
      return usage("dele needs a message number");
    }
    deletions.push_back(first);
  } else if (cmd == "deles") {
    if (!a.empty()) return usage("deles takes no arguments");
    std::string text;
    if (!platform::readOwnFile(options.workDir + "/" + platform::DeletionListFileName,
                               MaxDeletionListBytes, &text)) {
      return usage(
          "deles.dat is missing, no plain file of this user, or too large; nothing was deleted");
    }
    deletions = parseDeletionList(text);
  } else {
    return usage("unknown command");
  }
  if (!parseServerAddress(request.server, request.port, &run.address, &run.err)) {
    return usage(run.err);
  }
  if (hasLineBreak(request.user) || hasLineBreak(request.password)) {
    return usage("user name or password holds a line break");
  }
  // \x01 separates the fields of a token login.
  if (request.login != Login::Password && (request.user.find('\x01') != std::string::npos ||
                                           request.password.find('\x01') != std::string::npos)) {
    return usage("user name or token holds a control character");
  }
  // The deletions go only by the list the user saw of this very mailbox.
  MailboxIndex seen;
  if (cmd == "dele" || cmd == "deles") {
    if (!loadIndex(run.seenPath(), &seen, &run.err)) {
      return usage(run.err + "; nothing was deleted");
    }
    if (seen.mailbox != run.mailbox()) {
      return usage("kept list is of another mailbox; nothing was deleted");
    }
  }

  // A server that offered STLS once gets no password in plain text again,
  // unless the user wrote it as pop3://.
  std::string stlsMark = options.workDir + "/" + stlsMarkName(run.address.host, run.address.port);
  run.session.requireStls(!run.address.implicitTls && !run.address.plainAllowed &&
                          stlsSeen(stlsMark));
  // A server that does not announce PIPELINING is asked once a while
  // whether it takes commands sent ahead all the same.
  std::string aheadRecord =
      options.workDir + "/" + aheadRecordName(run.address.host, run.address.port);
  long long now = static_cast<long long>(std::time(nullptr));
  run.session.recallAhead(recallAhead(aheadRecord, now));
  std::string loginLine;
  // list, top and check begin with STAT: it travels with the login when it can.
  std::string early = (cmd == "list" || cmd == "top" || cmd == "check") ? "STAT" : "";
  OpenResult opened = run.session.open(run.address, request.user, request.password, &loginLine,
                                       &run.err, early, request.login);
  if (run.session.offeredStls()) rememberStls(stlsMark);
  rememberAhead(aheadRecord, run.session.probedAhead(), now);
  if (opened == OpenResult::NoAnswer) return ExitFailed;
  // The header file exists only for a run that reached the server.
  platform::PrivateFileWriter headerWriter;
  BufferedSink headers([&](std::string_view bytes) { return headerWriter.write(bytes); });
  if (cmd == "check" && !headerWriter.create(headerFile)) return ExitNotWritten;
  if (opened == OpenResult::Refused) {
    writeLine(out, previewLine(loginLine));
    if (cmd == "check") writeLine(headers, previewLine(loginLine));
    if (cmd == "dele" || cmd == "deles") writeLine(out, "-ERR nothing was deleted");
    bool written = out.flush() && (cmd != "check" || (headers.flush() && headerWriter.close()));
    return written ? ExitFailed : ExitNotWritten;
  }
  int status = ExitFailed;
  if (cmd == "list") status = run.list();
  if (cmd == "check") {
    status = run.check(second, headers, loginLine);
    if (!headers.flush() || !headerWriter.close()) status = ExitNotWritten;
  }
  if (cmd == "top") status = run.top(first, second, loginLine);
  if (cmd == "stop") status = run.stop(first, second);
  if (cmd == "dele" || cmd == "deles") status = run.remove(deletions, seen);
  if (run.session.aheadFailed()) rememberAhead(aheadRecord, Ahead::Fails, now);
  // Any failed write of the run makes this flush fail too.
  if (!out.flush()) status = ExitNotWritten;
  return status;
}

}  // namespace mboxtool
