// Terminal input: any bytes, split at any points and arriving at any times,
// decode into well-formed events, and nothing stays pending once the escape
// timeout has passed. A key text is one byte other than 255, or 255 and a code.
#include <cstdint>

#include "console/held_keys.h"
#include "console/key_decoder.h"
#include "fuzz_support.h"

namespace {

void check(const console::KeyEvent& event) {
  using Kind = console::KeyEvent::Kind;
  if (event.kind != Kind::Key) return;
  const std::string& key = event.key;
  bool plain = key.size() == 1 && key[0] != '\xff';
  bool extended = key.size() == 2 && key[0] == '\xff';
  fuzz_support::require(plain || extended, "malformed key text");
  fuzz_support::require((event.modifiers & ~(console::ShiftBit | console::AltBit |
                                             console::CtrlBit)) == 0,
                        "unknown modifier bits");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::Input input(data, size);
  console::KeyDecoder decoder;
  console::HeldKeys held;
  held.setExact(input.byte() & 1);
  std::int64_t now = 1000;
  size_t events = 0;
  auto drain = [&] {
    while (auto event = decoder.next(now)) {
      check(*event);
      held.observe(*event, now);
      held.upOrDownHeld(now);
      held.leftShiftFor(*event);
      held.ctrlFor(*event);
      ++events;
    }
    int wait = decoder.millisecondsUntilTimeout(now);
    fuzz_support::require(wait <= console::KeyDecoder::EscapeTimeoutMs, "wait too long");
    fuzz_support::require((wait == -1) == !decoder.pending(), "wait without pending bytes");
  };
  // Each chunk: its length, the milliseconds since the previous one, its bytes.
  while (!input.empty()) {
    size_t length = input.byte() % 24 + 1;
    now += input.byte() % 128;
    decoder.feed(input.take(length), now);
    drain();
  }
  now += console::KeyDecoder::EscapeTimeoutMs;
  drain();
  fuzz_support::require(!decoder.pending(), "bytes left after the timeout");
  fuzz_support::require(events <= size, "more events than bytes");
  return 0;
}
