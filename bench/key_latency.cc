// Key-to-frame latency of the real program on a pseudo-terminal.
//
// build/mailvak runs on a pty of 127 x 59 with a working directory holding
// three accounts of 800 messages each: their list and header result files as a
// check with 80 or 160 body lines leaves them. The three folders are opened
// with Right (from the files, no server), then Down keys are written one at a
// time; for each the time runs from writing the key to reading the last byte
// of the frame it causes (the end of its synchronized-output block).
//
// Two ways of pressing: "taps", separate presses 110 ms apart (one line per
// key), and "held", the next key as soon as the frame is in, which the program
// takes for an auto-repeating key (accelerating to 5 lines, so nearly every
// frame scrolls the window).
//
//   cmake -B build-bench -S . -DMAILVAK_BENCH=ON -DMAILVAK_TESTS=OFF
//   cmake --build build-bench -j2 --target mailvak key_latency
//   build-bench/bench/key_latency [--mailvak build-bench/mailvak] [--keys 200]
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int Accounts = 3;
constexpr int Messages = 800;
constexpr std::string_view FrameEnd = "\x1b[?2026l";

void writeText(const fs::path& name, const std::string& text) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string iniFile() {
  std::string text = "; Mailvak.ini                                        versie 10.2t\r\n";
  for (int i = 2; i <= 8; ++i) text += "; regel " + std::to_string(i) + "\r\n";
  text += "\r\n[serverinfo]\r\n\r\n";
  for (int a = 1; a <= Accounts; ++a) {
    text += "127.0.0.1:1\r\ngebruiker" + std::to_string(a) + "\r\ngeheim\r\nAccount " +
            std::to_string(a) + "\r\n\r\n";
  }
  return text;
}

std::string listFile(const std::vector<size_t>& sizes) {
  size_t total = 0;
  for (size_t s : sizes) total += s;
  std::string text = "+OK " + std::to_string(sizes.size()) + " " + std::to_string(total) + "\r\n";
  text += "+OK " + std::to_string(sizes.size()) + " messages:\r\n";
  for (size_t m = 0; m < sizes.size(); ++m) {
    text += std::to_string(m + 1) + " " + std::to_string(sizes[m]) + "\r\n";
  }
  return text + ".\r\n";
}

// A header result file as the tool writes it, and the message sizes it implies.
std::string headerFile(int a, int bodyLines, std::vector<size_t>& sizes) {
  std::string text;
  for (int m = 1; m <= Messages; ++m) {
    std::string message;
    message += "Return-Path: <afzender" + std::to_string(m) + "@example.com>\r\n";
    message += "Received: from mail.example.com by pop.example.com; Tue, 5 Mar 2024 10:00:00\r\n";
    message += "Message-ID: <" + std::to_string(a) + "." + std::to_string(m) + "@example.com>\r\n";
    message += "From: Afzender " + std::to_string(m) + " <afzender@example.com>\r\n";
    message += "To: Ontvanger <ontvanger@example.com>\r\n";
    message += "Subject: Bericht " + std::to_string(m) + " van account " + std::to_string(a) + "\r\n";
    message += "Date: Tue, 5 Mar 2024 10:00:00 +0100\r\n";
    message += "Content-Type: text/plain; charset=utf-8\r\n\r\n";
    for (int l = 1; l <= bodyLines; ++l) {
      message += "Regel " + std::to_string(l) + " van de tekst, met\twat woorden erin.\r\n";
    }
    sizes.push_back(message.size());
    text += "+OK\r\n" + message + ".\r\n";
  }
  return text;
}

class Session {
 public:
  Session(const std::string& program, const fs::path& appdata) {
    winsize size{};
    size.ws_row = 59;
    size.ws_col = 127;
    int slave = -1;
    if (::openpty(&master_, &slave, nullptr, nullptr, &size) != 0) {
      std::perror("openpty");
      std::exit(1);
    }
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setsid();
      ::ioctl(slave, TIOCSCTTY, 0);
      ::dup2(slave, 0);
      ::dup2(slave, 1);
      ::dup2(slave, 2);
      ::close(master_);
      if (slave > 2) ::close(slave);
      ::setenv("APPDATA", appdata.c_str(), 1);
      ::setenv("TERM", "xterm-256color", 1);
      ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    ::close(slave);
  }

  ~Session() {
    if (pid_ > 0) {
      send("q");
      drainUntil(Clock::now() + std::chrono::seconds(2), {});
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, &status, 0);
      }
    }
    ::close(master_);
  }

  void send(std::string_view bytes) {
    if (::write(master_, bytes.data(), bytes.size()) < 0) std::perror("write");
  }

  // Reads output until `until` appears in what arrived after the call, or the
  // deadline passes. Answers the start-up's Device Attributes query like an
  // xterm (no kitty keyboard protocol). Returns whether it appeared.
  bool drainUntil(Clock::time_point deadline, std::string_view until) {
    std::string seen;
    char buffer[65536];
    for (;;) {
      int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
      if (left < 0) return false;
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, left) <= 0) continue;
      ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) return false;
      bytes_ += static_cast<size_t>(n);
      if (capture_) captured_.append(buffer, static_cast<size_t>(n));
      seen.append(buffer, static_cast<size_t>(n));
      if (seen.find("\x1b[c") != std::string::npos && !answered_) {
        answered_ = true;
        send("\x1b[?62;c");
      }
      if (!until.empty() && seen.find(until) != std::string::npos) return true;
      // Only the tail can still hold the start of a sequence cut in two.
      if (seen.size() > 64) seen.erase(0, seen.size() - 16);
    }
  }

  // Lets the program settle: output ends and nothing more comes for `quiet`.
  void settle(std::chrono::milliseconds quiet) {
    for (;;) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(quiet.count())) <= 0) return;
      drainUntil(Clock::now() + quiet, FrameEnd);
    }
  }

  size_t bytes() const { return bytes_; }
  /// Keeps what the program writes from now on, for shown().
  void capture() { capture_ = true; }
  /// Whether the kept output shows the text.
  bool shown(std::string_view text) const { return captured_.find(text) != std::string::npos; }

 private:
  int master_ = -1;
  pid_t pid_ = -1;
  bool answered_ = false;
  size_t bytes_ = 0;
  bool capture_ = false;
  std::string captured_;
};

struct Figures {
  double median, p95, max;
  size_t bytesPerFrame;
  int lost;
};

Figures measure(const std::string& program, const fs::path& appdata, int keys,
                std::chrono::milliseconds gap) {
  Session session(program, appdata);
  session.capture();
  session.settle(std::chrono::milliseconds(400));
  // Open account 3, then 2, then 1: opening one never moves the folder lines
  // above it. The cursor ends on account 1's folder line.
  for (const char* key : {"\x1b[B", "\x1b[B", "\x1b[C", "\x1b[A", "\x1b[C", "\x1b[A", "\x1b[C"}) {
    session.send(key);
    session.settle(std::chrono::milliseconds(150));
  }
  // The lists must really be open, or the figures mean nothing.
  if (!session.shown("Bericht 1 van account 3") || !session.shown("Bericht 1 van account 1")) {
    std::fprintf(stderr, "key_latency: the accounts did not open\n");
    std::exit(1);
  }
  std::vector<double> times;
  int lost = 0;
  size_t before = session.bytes();
  for (int k = 0; k < keys; ++k) {
    if (gap.count() > 0) std::this_thread::sleep_for(gap);
    auto start = Clock::now();
    session.send("\x1b[B");
    if (!session.drainUntil(start + std::chrono::seconds(2), FrameEnd)) {
      ++lost;
      continue;
    }
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  size_t frameBytes = session.bytes() - before;
  std::sort(times.begin(), times.end());
  Figures f{};
  if (!times.empty()) {
    f.median = times[times.size() / 2];
    f.p95 = times[std::min(times.size() - 1, times.size() * 95 / 100)];
    f.max = times.back();
    f.bytesPerFrame = frameBytes / times.size();
  }
  f.lost = lost;
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  std::string program = "build-bench/mailvak";
  int keys = 200;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string option = argv[i];
    if (option == "--mailvak") program = argv[i + 1];
    if (option == "--keys") keys = std::max(1, std::atoi(argv[i + 1]));
  }
  if (::access(program.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "key_latency: %s is not an executable (use --mailvak PATH)\n", program.c_str());
    return 1;
  }

  char pattern[] = "/tmp/mailvak-latency-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 1;
  const fs::path base = pattern;
  const fs::path work = base / "Mailvak";
  fs::create_directories(work);

  std::printf("key-to-frame latency, %d Down keys, 3 open accounts of %d messages, 127x59 pty\n",
              keys, Messages);
  std::printf("%-10s %-6s %10s %10s %10s %14s\n", "body lines", "keys", "median ms", "p95 ms",
              "max ms", "bytes/frame");
  for (int bodyLines : {80, 160}) {
    writeText(work / "Mailvak.ini", iniFile());
    for (int a = 1; a <= Accounts; ++a) {
      std::vector<size_t> sizes;
      writeText(work / ("Get4" + std::to_string(a) + ".txt"), headerFile(a, bodyLines, sizes));
      writeText(work / ("Get2" + std::to_string(a) + ".txt"), listFile(sizes));
    }
    for (auto [name, gap] : {std::pair{"taps", std::chrono::milliseconds(110)},
                             std::pair{"held", std::chrono::milliseconds(0)}}) {
      Figures f = measure(program, base, keys, gap);
      std::printf("%-10d %-6s %10.3f %10.3f %10.3f %14zu", bodyLines, name, f.median, f.p95, f.max,
                  f.bytesPerFrame);
      if (f.lost > 0) std::printf("   (%d keys without a frame)", f.lost);
      std::printf("\n");
      std::fflush(stdout);
    }
  }
  fs::remove_all(base);
  return 0;
}
