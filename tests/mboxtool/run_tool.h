// Helpers for the tool's tests: run one command in-process, split its output
// into lines and read the top file the way the program does.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "mboxtool/tool.h"

namespace mboxtool_test {

struct ToolResult {
  int status = 0;
  std::string out;
};

/// Runs `command args...` against server:port in workDir with short timeouts.
inline ToolResult runCommand(const std::string& server, int port, const std::string& user,
                             const std::string& password, const std::string& workDir,
                             const std::vector<std::string>& words, int readMs = 5000,
                             long long totalMs = 60000, size_t replyCap = 64u << 20) {
  mboxtool::Request r;
  r.server = server;
  r.port = std::to_string(port);
  r.user = user;
  r.password = password;
  r.command = words.at(0);
  r.args.assign(words.begin() + 1, words.end());
  mboxtool::Options o;
  o.timeouts.connectMs = 5000;
  o.timeouts.readMs = readMs;
  o.timeouts.totalMs = totalMs;
  o.replyCap = replyCap;
  o.workDir = workDir;
  mboxtool::StringSink sink;
  ToolResult result;
  result.status = mboxtool::runTool(r, o, sink);
  result.out = sink.text;
  return result;
}

/// Lines as the program's reader sees them: CR, LF and CR LF end a line.
inline std::vector<std::string> readerLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string cur;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(cur);
      cur.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

/// The Subject line of each record of a top file, read as the program reads
/// it: first line skipped; per record, status lines skipped, headers up to an
/// empty line, then on to "." or a line beginning with "+OK".
inline std::vector<std::string> recordSubjects(const std::string& text) {
  std::vector<std::string> lines = readerLines(text);
  std::vector<std::string> subjects;
  size_t i = 1;
  auto next = [&]() { return i < lines.size() ? lines[i++] : std::string(); };
  while (i < lines.size()) {
    std::string line;
    do {
      line = next();
    } while (!line.empty() && (line[0] == '+' || line[0] == '-'));
    std::string subject;
    do {
      if (line.find("Subject: ") != std::string::npos) subject = line;
      line = next();
    } while (!line.empty());
    subjects.push_back(subject);
    while (i < lines.size() && line != "." && line.rfind("+OK", 0) != 0) line = next();
  }
  return subjects;
}

}  // namespace mboxtool_test
