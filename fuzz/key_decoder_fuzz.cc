// Terminal input, split anywhere and arriving at any times, decodes into well-formed events
// (a key is one byte but 255, or 255 and a code); nothing stays once the Esc timeout passed.
#include "console/held_keys.h"
#include "fuzz_support.h"

void fuzz(Input input) {
  std::int64_t now = 1000, events = 0, size = input.rest.size();
  console::KeyDecoder decoder;
  console::HeldKeys held;
  held.setExact(input.byte() & 1);
  auto drain = [&] {
    for (auto e = decoder.next(now); e; e = decoder.next(now), ++events) {
      bool ok = !e->key.empty() && e->key.size() == 1u + (e->key[0] == '\xff');
      require(e->kind != console::KeyEvent::Kind::Key || ok, "malformed key");
      require((e->modifiers & ~7) == 0, "unknown modifier bits");
      held.observe(*e, now), held.upOrDownHeld(now), held.leftShiftFor(*e), held.ctrlFor(*e);
    }
    int wait = decoder.millisecondsUntilTimeout(now);
    require(wait <= console::KeyDecoder::EscapeTimeoutMs && (wait == -1) == !decoder.pending(),
            "bad wait");
  };
  while (!input.rest.empty()) {  // chunks: length, milliseconds since the one before, bytes
    size_t length = input.byte() % 24 + 1;
    now += input.byte() % 128;
    decoder.feed(input.take(length), now);
    drain();
  }
  now += console::KeyDecoder::EscapeTimeoutMs;
  drain();
  require(!decoder.pending() && events <= size, "bytes left after the timeout, or too many events");
}
