#include "mboxtool/connection.h"

#include <algorithm>

namespace mboxtool {

namespace {

constexpr size_t ReadChunk = 64 * 1024;

}  // namespace

void Connection::start(const Timeouts& timeouts) {
  timeouts_ = timeouts;
  deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeouts.totalMs);
}

int Connection::waitBudgetMs(int timeoutMs) const {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                  deadline_ - std::chrono::steady_clock::now())
                  .count();
  if (left < 0) left = 0;
  return static_cast<int>(std::min<long long>(left, timeoutMs));
}

ReadStatus Connection::fill(std::string* err) {
  // Drop what was read before so the buffer does not grow with the reply.
  if (readPos_ > 0) {
    buffer_.erase(0, readPos_);
    scanPos_ -= std::min(scanPos_, readPos_);
    readPos_ = 0;
  }
  size_t old = buffer_.size();
  size_t got = 0;
  buffer_.resize(old + ReadChunk);
  ReadStatus s = receive(buffer_.data() + old, ReadChunk, &got, err);
  buffer_.resize(old + got);
  return s;
}

ReadStatus Connection::readLine(std::string* line, size_t keep, size_t maxBytes, std::string* err) {
  bool cut = false;    // *line holds the kept part; the rest is being dropped
  size_t dropped = 0;  // bytes of this line already dropped from the buffer
  for (;;) {
    size_t from = std::max(scanPos_, readPos_);
    size_t nl = buffer_.find('\n', from);
    if (nl != std::string::npos) {
      if (!cut) {
        size_t end = nl;
        if (end > readPos_ && buffer_[end - 1] == '\r') --end;
        line->assign(buffer_, readPos_, std::min(end - readPos_, keep));
      }
      lastLineBytes_ = dropped + nl + 1 - readPos_;
      readPos_ = nl + 1;
      scanPos_ = readPos_;
      return ReadStatus::Line;
    }
    scanPos_ = buffer_.size();
    size_t pending = buffer_.size() - readPos_;
    if (dropped + pending > maxBytes) {
      *err = "reply line too long";
      return ReadStatus::TooLong;
    }
    if (!cut && pending > keep) {
      line->assign(buffer_, readPos_, keep);
      cut = true;
    }
    if (cut) {
      dropped += pending;
      readPos_ = scanPos_;
    }
    ReadStatus s = fill(err);
    if (s == ReadStatus::Closed) *err = "server closed the connection";
    if (s != ReadStatus::Line) return s;
  }
}

}  // namespace mboxtool
