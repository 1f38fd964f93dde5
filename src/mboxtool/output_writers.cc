#include "mboxtool/output_writers.h"

namespace mboxtool {

bool BufferedSink::write(std::string_view bytes) {
  buffer_.append(bytes);
  if (buffer_.size() >= 64 * 1024) return flush();
  return good_;
}

bool BufferedSink::flush() {
  if (good_ && !buffer_.empty()) good_ = put_(buffer_);
  buffer_.clear();
  return good_;
}

bool writeLine(Sink& out, std::string_view text) { return out.write(text) && out.write("\r\n"); }

std::string previewLine(std::string_view line) {
  std::string text(line);
  for (char& c : text) {
    if (c == '\r') c = ' ';
  }
  return text;
}

bool TopRecordWriter::status(size_t, const std::string& line, bool ok) {
  if (!ok) {
    // A refused message keeps its place: status, empty header block, ".".
    return writeLine(out_, previewLine(line)) && writeLine(out_, "") && writeLine(out_, "") &&
           writeLine(out_, ".");
  }
  open_ = true;
  inHeaders_ = true;
  headerCount_ = 0;
  bodyCount_ = 0;
  recordBytes_ = 0;
  headersCut_ = false;
  for (long& at : lateAt_) at = 0;
  return writeLine(out_, previewLine(line));
}

bool TopRecordWriter::line(size_t, const std::string& line) {
  std::string text = previewLine(line);
  if (inHeaders_) {
    if (text.empty()) return endHeaders();
    ++headerCount_;
    if (text[0] == '+' || text[0] == '-') text.insert(0, 1, ' ');
    if (headersCut_ || headerCount_ > MaxHeaderLines ||
        recordBytes_ + text.size() > MaxRecordBytes) {
      headersCut_ = true;  // no later, shorter line fills the gap
      const char* keys[] = {"From: ", "Subject: ", "Date:"};
      for (int k = 0; k < 3; ++k) {
        if (text.find(keys[k]) == std::string::npos) continue;
        late_[k] = text;
        lateAt_[k] = headerCount_;
      }
      return true;
    }
    recordBytes_ += text.size();
    return writeLine(out_, text);
  }
  if (bodyCount_ >= bodyLines_) return true;
  if (recordBytes_ + text.size() > MaxRecordBytes) {
    bodyCount_ = bodyLines_;  // the body ends here
    return true;
  }
  ++bodyCount_;
  recordBytes_ += text.size();
  if (text.compare(0, 3, "+OK") == 0) text.insert(0, 1, ' ');
  return writeLine(out_, text);
}

// Writes the kept late header lines in the order they came, each once, and
// the empty line that ends the block.
bool TopRecordWriter::endHeaders() {
  inHeaders_ = false;
  for (long done = 0;;) {
    int k = -1;  // the earliest kept line after the one written last
    for (int i = 0; i < 3; ++i) {
      if (lateAt_[i] > done && (k < 0 || lateAt_[i] < lateAt_[k])) k = i;
    }
    if (k < 0) break;
    done = lateAt_[k];
    if (!writeLine(out_, late_[k])) return false;
  }
  // The reader takes the first line of the block as a header whatever it is.
  if (headerCount_ == 0 && !writeLine(out_, "")) return false;
  return writeLine(out_, "");
}

bool TopRecordWriter::end(size_t) {
  if (!open_) return true;
  return closeOpenRecord();
}

bool TopRecordWriter::closeOpenRecord() {
  if (!open_) return true;
  open_ = false;
  if (inHeaders_ && !endHeaders()) return false;
  return writeLine(out_, ".");
}

bool MessageWriter::status(size_t, const std::string& line, bool ok) {
  ok_ = ok;
  if (!ok) return writeLine(out_, line);
  return true;
}

bool MessageWriter::line(size_t, const std::string& line) {
  std::string_view text = line;
  if (!text.empty() && text[0] == '.') text.remove_prefix(1);
  if (inHeaders_) {
    if (text.empty()) inHeaders_ = false;
    return writeLine(out_, text);
  }
  if (bodyCount_ >= bodyLines_) return true;
  ++bodyCount_;
  return writeLine(out_, text);
}

bool MessageWriter::end(size_t) {
  // A message of headers only still gets the empty line that ends them.
  if (ok_ && inHeaders_) {
    inHeaders_ = false;
    return writeLine(out_, "");
  }
  return true;
}

}  // namespace mboxtool
