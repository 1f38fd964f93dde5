// Drawing passes over many open accounts, and the start-up's first frame.
//
// 80 accounts, each with a list file of 800 messages and a header file of 800
// messages with 160 body lines (about 5 MB), in a temporary working directory:
//   CursorMovePass   a pass after the cursor moved inside an expanded message,
//                    the result files unchanged since the pass before
//   FullReread       the same pass with nothing kept, so every file is read
//                    and parsed again (what re-reading on every pass costs)
//   StartupToFirstFrame  configuration, summaries and the first pass
// The cursor-move benchmark also reports the bytes a terminal gets for it, for
// the first full frame, and for a pass over an unchanged screen (0).
//
//   cmake -B build-bench -S . -DMAILVAK_BENCH=ON -DMAILVAK_TESTS=OFF
//   cmake --build build-bench -j2 --target list_drawing_bench
//   build-bench/bench/list_drawing_bench
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/main_loop.h"
#include "config/config_file.h"
#include "config/settings_editor.h"
#include "console/memory_console.h"
#include "console/terminal_painter.h"
#include "core/program.h"
#include "core/result_files.h"
#include "mailbox/check_account.h"
#include "platform/system.h"

namespace {

// With BENCH_QUICK set, a small world: such a run only shows the bench works.
const bool Quick = std::getenv("BENCH_QUICK") != nullptr;
const int Accounts = Quick ? 4 : 80;
const int Messages = Quick ? 20 : 800;
const int BodyLines = Quick ? 10 : 160;
constexpr int WindowRows = 56;

void writeText(const std::string& name, const std::string& text) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string headerFile(int a) {
  std::string text = "+OK\r\n";
  for (int m = 1; m <= Messages; ++m) {
    text += "+OK\r\n";
    text += "Return-Path: <afzender" + std::to_string(m) + "@example.com>\r\n";
    text += "Received: from mail.example.com by pop.example.com; Tue, 5 Mar 2024 10:00:00\r\n";
    text += "Message-ID: <" + std::to_string(a) + "." + std::to_string(m) + "@example.com>\r\n";
    text += "From: Afzender " + std::to_string(m) + " <afzender@example.com>\r\n";
    text += "To: Ontvanger <ontvanger@example.com>\r\n";
    text += "Subject: Bericht " + std::to_string(m) + " van account " + std::to_string(a) + "\r\n";
    text += "Date: Tue, 5 Mar 2024 10:00:00 +0100\r\n";
    text += "MIME-Version: 1.0\r\n";
    text += "Content-Type: text/plain; charset=utf-8\r\n\r\n";
    for (int l = 1; l <= BodyLines; ++l) {
      text += "Regel " + std::to_string(l) + " van de tekst, met\twat woorden erin.\r\n";
    }
    text += ".\r\n";
  }
  return text;
}

// The working directory with every account's result files, made once.
struct Mailboxes {
  std::string directory;
  Mailboxes() {
    char pattern[] = "/tmp/mailvak-bench-XXXXXX";
    directory = mkdtemp(pattern);
    if (chdir(directory.c_str()) != 0) std::abort();
    const std::string count = std::to_string(Messages);
    std::string list = "+OK " + count + " 4600000\r\n+OK " + count + " messages:\r\n";
    for (int m = 1; m <= Messages; ++m) list += std::to_string(m) + " 5750\r\n";
    list += ".\r\n";
    for (int a = 1; a <= Accounts; ++a) {
      writeText(core::listFileName(a), list);
      writeText(core::headerFileName(a), headerFile(a));
    }
  }
  ~Mailboxes() {
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
  }
};

const Mailboxes& mailboxes() {
  static Mailboxes made;
  return made;
}

struct World {
  core::State state;
  console::MemoryConsole console;
  platform::System system;
  core::Program program{state, console, system};
  mailbox::CheckAll noCheckAll;  // no check of every account is under way

  World() {
    mailboxes();
    state.windowRows = WindowRows;
    console.setSize(127, WindowRows + 3);
  }
  void addAccounts() {
    state.accountCount = Accounts;
    for (int a = 1; a <= Accounts; ++a) {
      state.account(a).serverName = "pop.example.com";
      state.account(a).userName = "gebruiker" + std::to_string(a);
      state.account(a).password = "geheim";
      state.account(a).accountLabel = "Account " + std::to_string(a);
    }
  }
  // Every folder open, message 1 of account 1 expanded, the cursor in its body.
  void openEverything() {
    addAccounts();
    for (int a = 1; a <= Accounts; ++a) state.cell(0, a) = core::Expanded;
    state.cell(1, 1) = core::Expanded;
    state.cursorLine = 10;
  }
};

void CursorMovePass(benchmark::State& bench) {
  World world;
  world.openEverything();
  app::drawingPass(world.program, world.noCheckAll);
  console::TerminalPainter painter;
  painter.setTerminalSize(WindowRows + 3, 127);
  std::string bytes;
  painter.paint(world.console.screen(), bytes);
  bench.counters["bytes_first_frame"] = static_cast<double>(bytes.size());
  bytes.clear();
  app::drawingPass(world.program, world.noCheckAll);  // the same screen again: nothing to send
  painter.paint(world.console.screen(), bytes);
  bench.counters["bytes_unchanged_pass"] = static_cast<double>(bytes.size());
  long long moves = 0, sent = 0;
  for (auto _ : bench) {
    world.state.cursorLine = world.state.cursorLine == 10 ? 11 : 10;
    app::drawingPass(world.program, world.noCheckAll);
    bench.PauseTiming();
    bytes.clear();
    painter.paint(world.console.screen(), bytes);
    sent += static_cast<long long>(bytes.size());
    ++moves;
    bench.ResumeTiming();
  }
  bench.counters["bytes_per_move"] = static_cast<double>(sent) / static_cast<double>(moves);
  bench.counters["list_lines"] = world.state.lineCounter - 1;
}
BENCHMARK(CursorMovePass)->Unit(benchmark::kMillisecond);

void FullReread(benchmark::State& bench) {
  World world;
  world.openEverything();
  for (auto _ : bench) {
    world.state.resultFileCache.reset();
    world.state.cursorLine = world.state.cursorLine == 10 ? 11 : 10;
    app::drawingPass(world.program, world.noCheckAll);
  }
}
BENCHMARK(FullReread)->Unit(benchmark::kMillisecond)->Iterations(5);

void StartupToFirstFrame(benchmark::State& bench) {
  {
    World writer;
    writer.addAccounts();
    config::writeConfiguration(writer.program);
  }
  for (auto _ : bench) {
    World world;
    world.console.placeCursor(0, 0, 0);
    if (!config::readConfiguration(world.program)) bench.SkipWithError("configuration");
    mailbox::summariseAllAccounts(world.state);
    app::drawingPass(world.program, world.noCheckAll);
    benchmark::DoNotOptimize(world.console.screen().cells().data());
    if (world.state.accountCount != Accounts) bench.SkipWithError("accounts");
  }
}
BENCHMARK(StartupToFirstFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
