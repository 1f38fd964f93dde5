#include "mboxtool/uidl_guard.h"

#include <array>
#include <set>
#include <sstream>

#include "mboxtool/digest.h"
#include "platform/tool_os.h"

namespace mboxtool {

namespace {

constexpr long MaxMessageNumber = 1000000000;

bool parseNumber(std::string_view text, long long limit, long long* value) {
  if (text.empty() || text.size() > 18) return false;
  long long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > limit) return false;
  *value = v;
  return true;
}

std::string hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

bool unhex(std::string_view text, std::string* out) {
  if (text.size() % 2) return false;
  auto value = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  out->clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    int hi = value(text[i]), lo = value(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out->push_back(static_cast<char>(hi * 16 + lo));
  }
  return true;
}

// Splits "number rest" at the first blank.
bool splitNumber(std::string_view line, long* number, std::string_view* rest) {
  size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return false;
  long long n = 0;
  if (!parseNumber(line.substr(0, blank), MaxMessageNumber, &n) || n < 1) {
    return false;
  }
  *number = static_cast<long>(n);
  *rest = line.substr(blank + 1);
  return true;
}

bool printable(const std::string& uidl) {
  if (uidl.empty()) return false;
  for (unsigned char c : uidl) {
    if (c < 0x21 || c > 0x7e) return false;
  }
  return true;
}

// UIDLs that name exactly one message of the index and are printable.
std::map<std::string, long> reliableNames(const MailboxIndex& index) {
  std::map<std::string, int> seen;
  for (const auto& [n, e] : index.entries) {
    if (e.hasUidl) ++seen[e.uidl];
  }
  std::map<std::string, long> names;
  for (const auto& [n, e] : index.entries) {
    if (e.hasUidl && printable(e.uidl) && seen[e.uidl] == 1) names[e.uidl] = n;
  }
  return names;
}

std::string digestHex(std::string_view key, size_t bytes) {
  std::array<unsigned char, 32> digest = sha256(key);
  return hex(std::string_view(reinterpret_cast<char*>(digest.data()), bytes));
}

std::string lowered(std::string host) {
  for (char& c : host) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return host;
}

std::string serverKey(const std::string& host, int port) {
  return lowered(host) + '\0' + std::to_string(port);
}

constexpr char SnapshotFormat[] = "mboxtool seen 2";
constexpr char AheadFormat[] = "mboxtool ahead 1";

// The snapshot's lines one by one; false past the last or at a line without
// its line end.
bool nextLine(std::string_view* text, std::string_view* line) {
  size_t end = text->find('\n');
  if (end == std::string_view::npos) return false;
  *line = text->substr(0, end);
  text->remove_prefix(end + 1);
  return true;
}

}  // namespace

std::string sidecarName(const std::string& host, int port, const std::string& user) {
  return "uidl-" + digestHex(serverKey(host, port) + '\0' + user, 8) + ".dat";
}

std::string mailboxName(const std::string& host, int port, const std::string& user) {
  return lowered(host) + ' ' + std::to_string(port) + ' ' + hex(user);
}

std::string stlsMarkName(const std::string& host, int port) {
  return "stls-" + digestHex(serverKey(host, port), 8) + ".dat";
}

bool stlsSeen(const std::string& path) { return platform::pathExists(path); }

void rememberStls(const std::string& path) {
  // Fails when the mark is there already, or not writable: nothing to add.
  platform::createPrivateFile(path, "mboxtool stls 1\n");
}

std::string aheadRecordName(const std::string& host, int port) {
  return "ahead-" + digestHex(serverKey(host, port), 8) + ".dat";
}

Ahead recallAhead(const std::string& path, long long now) {
  std::string file;
  if (!platform::readOwnFile(path, 64, &file)) return Ahead::Unknown;
  std::string_view text = file, line, verdict, date;
  long long at = 0;
  if (!nextLine(&text, &line) || line != AheadFormat || !nextLine(&text, &line) || !text.empty() ||
      line.find(' ') == std::string_view::npos) {
    return Ahead::Unknown;
  }
  verdict = line.substr(0, line.find(' '));
  date = line.substr(line.find(' ') + 1);
  if (!parseNumber(date, now, &at) || now - at >= AheadRecordDays * 24 * 3600) {
    return Ahead::Unknown;
  }
  if (verdict == "works") return Ahead::Works;
  if (verdict == "fails") return Ahead::Fails;
  return Ahead::Unknown;
}

void rememberAhead(const std::string& path, Ahead found, long long now) {
  if (found == Ahead::Unknown) return;
  std::string text(AheadFormat);
  text += found == Ahead::Works ? "\nworks " : "\nfails ";
  text += std::to_string(now);
  text += '\n';
  // A record that cannot be written costs another probe next time, nothing more.
  platform::replaceWithPrivateFile(path, text);
}

void addListLine(MailboxIndex* index, std::string_view line) {
  long n = 0;
  std::string_view rest;
  if (!splitNumber(line, &n, &rest)) return;
  rest = rest.substr(0, rest.find(' '));
  long long size = 0;
  if (!parseNumber(rest, (1LL << 62), &size)) return;
  if (n > MaxIndexed) {
    ++index->count;
    return;
  }
  auto [it, added] = index->entries.try_emplace(n);
  if (added) ++index->count;
  it->second.size = size;
}

void addUidlLine(MailboxIndex* index, std::string_view line) {
  long n = 0;
  std::string_view rest;
  if (!splitNumber(line, &n, &rest) || n > MaxIndexed) return;
  IndexEntry& e = index->entries[n];
  e.hasUidl = true;
  if (rest.size() <= 70) {
    e.uidl = rest;
  } else {
    e.uidl = '\x01';
    e.uidl += digestHex(rest, 32);
  }
}

bool saveIndex(const std::string& path, const MailboxIndex& index, std::string* err) {
  std::ostringstream text;
  text << SnapshotFormat << '\n'
       << index.mailbox << '\n'
       << index.count << (index.haveUidls ? " uidl\n" : " nouidl\n");
  for (const auto& [n, e] : index.entries) {
    text << n << ' ' << e.size << ' ' << (e.hasUidl ? hex(e.uidl) : "-") << '\n';
  }
  if (platform::replaceWithPrivateFile(path, text.str())) return true;
  *err = "cannot write " + path;
  return false;
}

bool loadIndex(const std::string& path, MailboxIndex* index, std::string* err) {
  *index = MailboxIndex();
  std::string file;
  if (!platform::readOwnFile(path, MaxSnapshotBytes, &file)) {
    *err = platform::pathExists(path) ? "kept list is no plain file of this user, or too large"
                                      : "no list of the mailbox was kept";
    return false;
  }
  std::string_view text = file, line, rest;
  if (!nextLine(&text, &line) || line != SnapshotFormat) {
    *err = line.starts_with("mboxtool seen ") ? "kept list is of another version"
                                              : "kept list is damaged";
    return false;
  }
  *err = "kept list is damaged";
  if (!nextLine(&text, &line) || line.empty()) return false;
  index->mailbox = line;
  long long count = 0;
  if (!nextLine(&text, &line)) return false;
  size_t blank = line.find(' ');
  if (blank == std::string_view::npos ||
      !parseNumber(line.substr(0, blank), MaxMessageNumber, &count)) {
    return false;
  }
  rest = line.substr(blank + 1);
  if (rest != "uidl" && rest != "nouidl") return false;
  index->count = static_cast<long>(count);
  index->haveUidls = rest == "uidl";
  long last = 0;
  while (nextLine(&text, &line)) {
    // Every line whole and in order: one that is not is damage, never skipped.
    long n = 0;
    if (!splitNumber(line, &n, &rest) || n <= last || n > MaxIndexed) return false;
    last = n;
    size_t blank2 = rest.find(' ');
    if (blank2 == std::string_view::npos) return false;
    IndexEntry e;
    std::string_view sizeText = rest.substr(0, blank2);
    if (sizeText != "-1" && !parseNumber(sizeText, 1LL << 62, &e.size)) return false;
    std::string_view uid = rest.substr(blank2 + 1);
    if (uid != "-") {
      if (!unhex(uid, &e.uidl)) return false;
      e.hasUidl = true;
    }
    index->entries[n] = e;
  }
  if (!text.empty()) return false;
  err->clear();
  return true;
}

std::vector<Deletion> planDeletions(const std::vector<long>& requested, const MailboxIndex& seen,
                                    const MailboxIndex& now) {
  std::map<std::string, long> seenNames = reliableNames(seen);
  std::map<std::string, long> nowNames = reliableNames(now);
  std::set<long> taken;
  std::set<long> asked;
  std::vector<Deletion> plan;
  for (long m : requested) {
    if (m < 1 || !asked.insert(m).second) continue;
    Deletion d;
    d.requested = m;
    auto seenIt = seen.entries.find(m);
    auto nowIt = now.entries.find(m);
    if (seenIt == seen.entries.end()) {
      d.reason = "was not in the last list";
    } else if (seen.haveUidls && now.haveUidls) {
      const IndexEntry& e = seenIt->second;
      if (e.hasUidl && seenNames.count(e.uidl)) {
        auto found = nowNames.find(e.uidl);
        if (found != nowNames.end()) {
          d.target = found->second;
        } else {
          bool ambiguous = false;
          for (const auto& [n, x] : now.entries) {
            if (x.hasUidl && x.uidl == e.uidl) ambiguous = true;
          }
          d.reason = ambiguous ? "cannot be told apart from another message"
                               : "is no longer on the server";
        }
      } else if (e.hasUidl && nowIt != now.entries.end() && nowIt->second.hasUidl &&
                 nowIt->second.uidl == e.uidl) {
        d.target = m;  // no reliable name: only under its unchanged number
      } else {
        d.reason = "has no reliable UIDL and its number changed";
      }
    } else if (!seen.haveUidls && !now.haveUidls) {
      if (seen.count == now.count && nowIt != now.entries.end() && seenIt->second.size >= 0 &&
          nowIt->second.size == seenIt->second.size) {
        d.target = m;
      } else {
        d.reason = "cannot be identified: the mailbox changed";
      }
    } else {
      d.reason = "cannot be identified: UIDLs are missing";
    }
    if (d.target != 0 && !taken.insert(d.target).second) {
      d.target = 0;
      d.reason = "is already being deleted";
    }
    plan.push_back(d);
  }
  return plan;
}

std::vector<long> parseDeletionList(std::string_view text) {
  std::vector<long> numbers;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
      line.remove_prefix(1);
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) {
      line.remove_suffix(1);
    }
    long long n = 0;
    if (parseNumber(line, MaxMessageNumber, &n) && n >= 1) {
      numbers.push_back(static_cast<long>(n));
    }
    start = end + 1;
  }
  return numbers;
}

}  // namespace mboxtool
