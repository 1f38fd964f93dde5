#include "core/result_files.h"

#include "console/text.h"

namespace core {

namespace {

bool beginsWithOk(std::string_view line) { return line.substr(0, 3) == "+OK"; }

ListFile parseListFile(std::string_view text) {
  ListFile file;
  file.empty = text.empty();
  LineReader in{text};
  file.firstLine = std::string(in.readLine());
  in.readLine();
  while (!in.endOfFile() && file.sizes.size() < static_cast<size_t>(MaxMessages)) {
    std::string_view line = in.readLine();
    int blank = console::find(line, " ");
    file.sizes.push_back(blank == 0 ? 0 : console::toInteger(line.substr(blank - 1)));
  }
  return file;
}

}  // namespace

std::string_view LineReader::readLine() {
  if (position >= text.size()) return {};
  size_t end = text.find_first_of("\r\n", position);
  std::string_view line;
  if (end == std::string_view::npos) {
    line = text.substr(position);
    position = text.size();
    return line;
  }
  line = text.substr(position, end - position);
  position = end + 1;
  if (text[end] == '\r' && position < text.size() && text[position] == '\n') ++position;
  return line;
}

HeaderFile::HeaderFile(std::string text) : text_(std::move(text)) {
  LineReader in{text_};
  in.readLine();
  firstMessageStart_ = in.position;
}

const MessageRecord& HeaderFile::recordAt(size_t start, size_t& hint) {
  if (hint < records_.size() && records_[hint].start == start) return records_[hint++];
  auto found = indexByStart_.find(start);
  if (found != indexByStart_.end()) {
    hint = found->second + 1;
    return records_[found->second];
  }
  records_.push_back(parse(start));
  indexByStart_.emplace(start, records_.size() - 1);
  hint = records_.size();
  return records_.back();
}

size_t HeaderFile::skipToMessageEnd(std::string_view currentLine, size_t position) const {
  if (currentLine == "." || beginsWithOk(currentLine)) return position;
  LineReader in{text_, position};
  while (!in.endOfFile()) {
    std::string_view line = in.readLine();
    if (line == "." || beginsWithOk(line)) break;
  }
  return in.position;
}

MessageRecord HeaderFile::parse(size_t start) const {
  MessageRecord record;
  record.start = start;
  LineReader in{text_, start};
  std::string_view line;
  do {
    record.headerStart = in.position;
    line = in.readLine();
  } while (!line.empty() && (line[0] == '+' || line[0] == '-'));

  // Every header line is searched, however long the block; the last match wins.
  do {
    if (line.find("From: ") != std::string_view::npos) record.fromLine = line;
    if (line.find("Subject: ") != std::string_view::npos) record.subjectLine = line;
    if (line.find("Date:") != std::string_view::npos) {
      record.dateLine = line;
      record.hasDate = true;
    }
    line = in.readLine();
    ++record.headerCount;
  } while (!line.empty());

  record.bodyStart = in.position;
  record.end = skipToMessageEnd(line, in.position);
  return record;
}

const ListFile& ResultFileCache::list(const std::string& name) {
  platform::FileIdentity now = platform::identityOf(name);
  auto found = lists_.find(name);
  if (found != lists_.end() && found->second.identity == now) return found->second.file;
  std::string bytes;
  ListEntry entry;
  entry.identity = platform::readRegularFile(name, bytes);
  entry.file = parseListFile(bytes);
  ++reads_;
  return lists_.insert_or_assign(name, std::move(entry)).first->second.file;
}

std::shared_ptr<HeaderFile> ResultFileCache::header(const std::string& name) {
  platform::FileIdentity now = platform::identityOf(name);
  auto found = headers_.find(name);
  if (found != headers_.end() && found->second.identity == now) return found->second.file;
  std::string bytes;
  HeaderEntry entry;
  entry.identity = platform::readRegularFile(name, bytes);
  if (entry.identity.exists) entry.file = std::make_shared<HeaderFile>(std::move(bytes));
  ++reads_;
  return headers_.insert_or_assign(name, std::move(entry)).first->second.file;
}

void ResultFileCache::forget(const std::string& name) {
  lists_.erase(name);
  headers_.erase(name);
}

ResultFileCache& resultFiles(State& state) {
  if (!state.resultFileCache) state.resultFileCache = std::make_shared<ResultFileCache>();
  return *state.resultFileCache;
}

}  // namespace core
