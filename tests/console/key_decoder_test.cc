#include "console/key_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "console/console.h"

namespace console {
namespace {

using keys::extended;

// Feeds the bytes in pieces cut at the given positions (each piece 10 ms after
// the previous one, well inside the Esc timeout, asking for events between
// pieces), then lets every timeout run out.
std::vector<KeyEvent> decode(const std::string& bytes, std::vector<size_t> cuts = {}) {
  KeyDecoder decoder;
  std::vector<KeyEvent> events;
  std::int64_t now = 1000;
  size_t from = 0;
  cuts.push_back(bytes.size());
  for (size_t cut : cuts) {
    decoder.feed(std::string_view(bytes).substr(from, cut - from), now);
    while (auto event = decoder.next(now)) events.push_back(*event);
    from = cut;
    now += 10;
  }
  now += 1000;
  while (auto event = decoder.next(now)) events.push_back(*event);
  EXPECT_FALSE(decoder.pending());
  return events;
}

struct KeyCase {
  const char* name;
  std::string bytes;
  std::string key;
  int modifiers;
};

// What terminals send (xterm, xterm with modifyOtherKeys, kitty with its
// flags, tmux, the Linux console, rxvt) and the key the program gets.
const std::vector<KeyCase> KeyCases = {
    {"Home", "\x1b[H", extended(71), 0},
    {"Home SS3", "\x1bOH", extended(71), 0},
    {"Home tmux", "\x1b[1~", extended(71), 0},
    {"Home rxvt", "\x1b[7~", extended(71), 0},
    {"Shift-Home", "\x1b[1;2H", extended(71), ShiftBit},
    {"Ctrl-Home", "\x1b[1;5H", extended(119), CtrlBit},
    {"Ctrl-Home tilde", "\x1b[1;5~", extended(119), CtrlBit},
    {"Alt-Home", "\x1b[1;3H", extended(151), AltBit},
    {"Up", "\x1b[A", extended(72), 0},
    {"Up SS3", "\x1bOA", extended(72), 0},
    {"Shift-Up", "\x1b[1;2A", extended(72), ShiftBit},
    {"Ctrl-Up", "\x1b[1;5A", extended(141), CtrlBit},
    {"Alt-Up", "\x1b[1;3A", extended(152), AltBit},
    {"Alt-Up ESC prefix", "\x1b\x1b[A", extended(152), AltBit},
    {"Ctrl-Alt-Up: Alt wins", "\x1b[1;7A", extended(152), AltBit | CtrlBit},
    {"Down", "\x1b[B", extended(80), 0},
    {"Shift-Down", "\x1b[1;2B", extended(80), ShiftBit},
    {"Ctrl-Down", "\x1b[1;5B", extended(145), CtrlBit},
    {"Alt-Down", "\x1b[1;3B", extended(160), AltBit},
    {"Left", "\x1b[D", extended(75), 0},
    {"Shift-Left", "\x1b[1;2D", extended(75), ShiftBit},
    {"Ctrl-Left", "\x1b[1;5D", extended(115), CtrlBit},
    {"Shift-Ctrl-Left", "\x1b[1;6D", extended(115), ShiftBit | CtrlBit},
    {"Alt-Left", "\x1b[1;3D", extended(155), AltBit},
    {"Right", "\x1b[C", extended(77), 0},
    {"Shift-Right", "\x1b[1;2C", extended(77), ShiftBit},
    {"Ctrl-Right", "\x1b[1;5C", extended(116), CtrlBit},
    {"Alt-Right", "\x1b[1;3C", extended(157), AltBit},
    {"Ctrl-Right rxvt", "\x1bOc", extended(116), CtrlBit},
    {"Shift-Up rxvt", "\x1b[a", extended(72), ShiftBit},
    {"End", "\x1b[F", extended(79), 0},
    {"End tilde", "\x1b[4~", extended(79), 0},
    {"Page Up", "\x1b[5~", extended(73), 0},
    {"Ctrl-Page Up", "\x1b[5;5~", extended(132), CtrlBit},
    {"Page Down", "\x1b[6~", extended(81), 0},
    {"Ctrl-Page Down", "\x1b[6;5~", extended(118), CtrlBit},
    {"Insert", "\x1b[2~", extended(82), 0},
    {"Alt-Insert", "\x1b[2;3~", extended(162), AltBit},
    {"Delete", "\x1b[3~", extended(83), 0},
    {"Ctrl-Delete", "\x1b[3;5~", extended(147), CtrlBit},
    {"F1 xterm", "\x1bOP", extended(59), 0},
    {"F1 vt220", "\x1b[11~", extended(59), 0},
    {"F1 Linux console", "\x1b[[A", extended(59), 0},
    {"F1 kitty", "\x1b[P", extended(59), 0},
    {"Shift-F1", "\x1b[1;2P", extended(84), ShiftBit},
    {"Shift-F1 old xterm", "\x1bO2P", extended(84), ShiftBit},
    {"Shift-F1 tilde", "\x1b[11;2~", extended(84), ShiftBit},
    {"Ctrl-F1", "\x1b[1;5P", extended(94), CtrlBit},
    {"Alt-F1", "\x1b[1;3P", extended(104), AltBit},
    {"F2", "\x1bOQ", extended(60), 0},
    {"F5 Linux console", "\x1b[[E", extended(63), 0},
    {"F10", "\x1b[21~", extended(68), 0},
    {"F12", "\x1b[24~", extended(134), 0},
    {"Shift-Tab", "\x1b[Z", extended(15), ShiftBit},
    {"Alt-d", "\x1b" "d", extended(32), AltBit},
    {"Alt-d modifyOtherKeys", "\x1b[27;3;100~", extended(32), AltBit},
    {"Alt-d kitty", "\x1b[100;3u", extended(32), AltBit},
    {"Alt-b", "\x1b" "b", extended(48), AltBit},
    {"Alt-h", "\x1bh", extended(35), AltBit},
    {"Alt-i", "\x1bi", extended(23), AltBit},
    {"Alt-1", "\x1b" "1", extended(120), AltBit},
    {"Ctrl-b", "\x02", "\x02", CtrlBit},
    {"Ctrl-b modifyOtherKeys", "\x1b[27;5;98~", "\x02", CtrlBit},
    {"Ctrl-b kitty", "\x1b[98;5u", "\x02", CtrlBit},
    {"Enter", "\r", "\r", 0},
    {"Enter keypad", "\x1bOM", "\r", 0},
    {"Enter kitty", "\x1b[13u", "\r", 0},
    {"Ctrl-Enter", "\n", "\n", CtrlBit},
    {"Ctrl-Enter modifyOtherKeys", "\x1b[27;5;13~", "\n", CtrlBit},
    {"Ctrl-Enter kitty and tmux", "\x1b[13;5u", "\n", CtrlBit},
    {"Esc kitty", "\x1b[27u", "\x1b", 0},
    {"Backspace 127", "\x7f", "\b", 0},
    {"Backspace 8", "\b", "\b", 0},
    {"Backspace kitty", "\x1b[127u", "\b", 0},
    {"Tab", "\t", "\t", 0},
    {"letter", "a", "a", 0},
    {"capital", "Q", "Q", 0},
    {"space", " ", " ", 0},
    {"tilde", "~", "~", 0},
    {"letter kitty", "\x1b[97u", "a", 0},
    {"Shift-letter kitty", "\x1b[97;2u", "A", ShiftBit},
    {"Shift-letter kitty with text", "\x1b[97:65;2;65u", "A", ShiftBit},
    {"Shift-1 kitty alternate key", "\x1b[49:33;2u", "!", ShiftBit},
    {"Shift-; kitty alternate key", "\x1b[59:58;2u", ":", ShiftBit},
    {"letter kitty with text", "\x1b[97;;97u", "a", 0},
    {"letter kitty, Caps Lock", "\x1b[97;65u", "A", 0},
    {"Shift-A modifyOtherKeys", "\x1b[27;2;65~", "A", ShiftBit},
    {"Ctrl-c kitty", "\x1b[99;5u", "\x03", CtrlBit},
    {"Shift-Tab kitty", "\x1b[9;2u", extended(15), ShiftBit},
    {"e acute typed", "\xc3\xa9", "\x82", 0},
    {"a umlaut typed", "\xc3\xa4", "\x84", 0},
    {"one half typed", "\xc2\xbd", "\xab", 0},
    {"e acute kitty", "\x1b[233u", "\x82", 0},
    {"keypad 0 kitty", "\x1b[57399u", "0", 0},
    {"keypad Enter kitty", "\x1b[57414u", "\r", 0},
    {"keypad Up kitty", "\x1b[57419u", extended(72), 0},
    {"keypad Home kitty", "\x1b[57423;5u", extended(119), CtrlBit},
};

TEST(KeyDecoder, TerminalSequencesGiveTheProgramsKeys) {
  for (const KeyCase& c : KeyCases) {
    std::vector<KeyEvent> events = decode(c.bytes);
    ASSERT_EQ(events.size(), 1u) << c.name;
    EXPECT_EQ(events[0].kind, KeyEvent::Kind::Key) << c.name;
    EXPECT_EQ(events[0].key, c.key) << c.name;
    EXPECT_EQ(events[0].modifiers, c.modifiers) << c.name;
    EXPECT_EQ(events[0].action, KeyAction::Press) << c.name;
  }
}

// A sequence that arrives in two reads decodes exactly like one that arrives
// whole, wherever it is cut.
TEST(KeyDecoder, EverySequenceCutAtEveryByte) {
  for (const KeyCase& c : KeyCases) {
    for (size_t cut = 1; cut < c.bytes.size(); ++cut) {
      std::vector<KeyEvent> events = decode(c.bytes, {cut});
      ASSERT_EQ(events.size(), 1u) << c.name << " cut at " << cut;
      EXPECT_EQ(events[0].key, c.key) << c.name << " cut at " << cut;
    }
  }
}

TEST(KeyDecoder, SequencesInARowStayApart) {
  std::string all;
  for (const KeyCase& c : KeyCases) all += c.bytes;
  std::vector<KeyEvent> events = decode(all);
  ASSERT_EQ(events.size(), KeyCases.size());
  for (size_t i = 0; i < events.size(); ++i) EXPECT_EQ(events[i].key, KeyCases[i].key) << KeyCases[i].name;
}

// Keys and answers that must never reach the program as a key press.
TEST(KeyDecoder, BytesThatAreNoKey) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"euro sign: no glyph", "\xe2\x82\xac"},
      {"stray continuation byte", "\x80"},
      {"invalid lead byte", "\xff"},
      {"NUL", std::string(1, '\0')},
      {"Caps Lock kitty", "\x1b[57358u"},
      {"media key kitty", "\x1b[57428u"},
      {"bracketed paste start", "\x1b[200~"},
      {"focus in", "\x1b[I"},
      {"second Device Attributes", "\x1b[>1;10;0c"},
      {"sequence with an intermediate byte", "\x1b[1 q"},
      {"endless unfinished parameters", "\x1b[" + std::string(100, '1')},
  };
  for (const auto& [name, bytes] : cases) {
    for (const KeyEvent& event : decode(bytes)) {
      EXPECT_NE(event.kind, KeyEvent::Kind::Key) << name << ": gave key " << event.key;
    }
  }
  // The junk does not swallow the key that follows it.
  std::vector<KeyEvent> after = decode("\x1b[200~q");
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].key, "q");
}

TEST(KeyDecoder, KittyEventTypesAndModifierKeys) {
  struct Case {
    const char* name;
    std::string bytes;
    KeyEvent::Kind kind;
    std::string key;
    KeyAction action;
    int modifierCode;
  };
  const std::vector<Case> cases = {
      {"Up press", "\x1b[A", KeyEvent::Kind::Key, extended(72), KeyAction::Press, 0},
      {"Up repeat", "\x1b[1;1:2A", KeyEvent::Kind::Key, extended(72), KeyAction::Repeat, 0},
      {"Up release", "\x1b[1;1:3A", KeyEvent::Kind::Key, extended(72), KeyAction::Release, 0},
      {"Ctrl-Down repeat", "\x1b[1;5:2B", KeyEvent::Kind::Key, extended(145), KeyAction::Repeat, 0},
      {"Page Up release", "\x1b[5;1:3~", KeyEvent::Kind::Key, extended(73), KeyAction::Release, 0},
      {"letter release", "\x1b[97;1:3u", KeyEvent::Kind::Key, "a", KeyAction::Release, 0},
      {"left Shift press", "\x1b[57441u", KeyEvent::Kind::Modifier, "", KeyAction::Press, KittyLeftShift},
      {"left Shift release", "\x1b[57441;2:3u", KeyEvent::Kind::Modifier, "", KeyAction::Release,
       KittyLeftShift},
      {"right Shift press", "\x1b[57447;1:1u", KeyEvent::Kind::Modifier, "", KeyAction::Press,
       KittyRightShift},
      {"left Ctrl press", "\x1b[57442u", KeyEvent::Kind::Modifier, "", KeyAction::Press, KittyLeftCtrl},
      {"right Ctrl repeat", "\x1b[57448;5:2u", KeyEvent::Kind::Modifier, "", KeyAction::Repeat,
       KittyRightCtrl},
  };
  for (const Case& c : cases) {
    std::vector<KeyEvent> events = decode(c.bytes);
    ASSERT_EQ(events.size(), 1u) << c.name;
    EXPECT_EQ(events[0].kind, c.kind) << c.name;
    EXPECT_EQ(events[0].key, c.key) << c.name;
    EXPECT_EQ(events[0].action, c.action) << c.name;
    EXPECT_EQ(events[0].modifierCode, c.modifierCode) << c.name;
  }
}

TEST(KeyDecoder, TerminalAnswers) {
  std::vector<KeyEvent> kitty = decode("\x1b[?0u\x1b[?62;c");
  ASSERT_EQ(kitty.size(), 2u);
  EXPECT_EQ(kitty[0].kind, KeyEvent::Kind::KittyFlags);
  EXPECT_EQ(kitty[0].flags, 0);
  EXPECT_EQ(kitty[1].kind, KeyEvent::Kind::DeviceAttributes);

  EXPECT_EQ(decode("\x1b[?31u")[0].flags, 31);

  std::vector<KeyEvent> plain = decode("\x1b[?1;2c");
  ASSERT_EQ(plain.size(), 1u);
  EXPECT_EQ(plain[0].kind, KeyEvent::Kind::DeviceAttributes);
}

TEST(KeyDecoder, LoneEscWaitsForTheTimeout) {
  KeyDecoder decoder;
  decoder.feed("\x1b", 0);
  EXPECT_FALSE(decoder.next(0));
  EXPECT_FALSE(decoder.next(KeyDecoder::EscapeTimeoutMs - 1));
  EXPECT_EQ(decoder.millisecondsUntilTimeout(20), KeyDecoder::EscapeTimeoutMs - 20);
  std::optional<KeyEvent> esc = decoder.next(KeyDecoder::EscapeTimeoutMs);
  ASSERT_TRUE(esc);
  EXPECT_EQ(esc->key, "\x1b");
  EXPECT_EQ(decoder.millisecondsUntilTimeout(100), -1);
}

// The timeout runs from the last byte: a sequence trickling in byte by byte
// is still one key.
TEST(KeyDecoder, TimeoutCountsFromTheLastByte) {
  KeyDecoder decoder;
  const std::string bytes = "\x1b[1;5A";
  std::int64_t now = 0;
  for (size_t i = 0; i + 1 < bytes.size(); ++i) {
    decoder.feed(bytes.substr(i, 1), now);
    now += KeyDecoder::EscapeTimeoutMs - 1;
    EXPECT_FALSE(decoder.next(now)) << "after byte " << i;
  }
  decoder.feed(bytes.substr(bytes.size() - 1), now);
  std::optional<KeyEvent> key = decoder.next(now);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->key, extended(141));
}

TEST(KeyDecoder, UnfinishedSequencesGivenUp) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> keys;
  };
  const std::vector<Case> cases = {
      {"Esc alone", "\x1b", {"\x1b"}},
      {"Esc twice", "\x1b\x1b", {"\x1b", "\x1b"}},
      {"Alt-[", "\x1b[", {extended(26)}},
      {"Alt-O", "\x1bO", {extended(24)}},
      {"cut-off sequence dropped", "\x1b[1;5", {}},
      {"cut-off UTF-8 dropped", "\xc3", {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> keys;
    for (const KeyEvent& event : decode(c.bytes)) keys.push_back(event.key);
    EXPECT_EQ(keys, c.keys) << c.name;
  }
  // After a cut-off sequence, the next key decodes normally.
  KeyDecoder decoder;
  decoder.feed("\x1b[1;5", 0);
  EXPECT_FALSE(decoder.next(1000));
  decoder.feed("q", 1001);
  std::optional<KeyEvent> q = decoder.next(1001);
  ASSERT_TRUE(q);
  EXPECT_EQ(q->key, "q");
}

// Whatever arrives, the decoder neither crashes nor keeps bytes for ever, and
// the only key texts it gives are one byte or 255 and a code.
TEST(KeyDecoder, SurvivesArbitraryBytes) {
  std::mt19937 random(437);
  const std::string alphabet = "\x1b[O;:0123456789~uABCDHPQRSZ?c<>\x7f\r\n\xc3\xa9\x9b\x80 az";
  for (int round = 0; round < 3000; ++round) {
    std::string bytes;
    int length = static_cast<int>(random() % 24);
    for (int i = 0; i < length; ++i) {
      bytes += random() % 4 == 0 ? static_cast<char>(random() % 256)
                                 : alphabet[random() % alphabet.size()];
    }
    for (const KeyEvent& event : decode(bytes, {bytes.size() / 2})) {
      if (event.kind != KeyEvent::Kind::Key) continue;
      bool oneByte = event.key.size() == 1 && event.key[0] != '\xff';
      bool extendedKey = event.key.size() == 2 && event.key[0] == '\xff';
      EXPECT_TRUE(oneByte || extendedKey) << "from " << testing::PrintToString(bytes);
    }
  }
}

}  // namespace
}  // namespace console

namespace console {
namespace {

// Keys that arrive without modifiers, with the modifier state learnt otherwise.
TEST(KeyDecoder, ModifiersAddedAfterwards) {
  using keys::extended;
  struct Case {
    std::string key;
    int modifiers;
    std::string expected;
  };
  const Case cases[] = {
      {extended(72), CtrlBit, extended(141)},           {extended(80), CtrlBit, extended(145)},
      {extended(71), ShiftBit, extended(71)},           {extended(71), CtrlBit, extended(119)},
      {extended(75), CtrlBit | ShiftBit, extended(115)}, {extended(83), AltBit, extended(163)},
      {extended(59), ShiftBit, extended(84)},           {extended(59), AltBit | CtrlBit, extended(104)},
      {extended(134), CtrlBit, extended(138)},          {"a", CtrlBit, "a"},
      {extended(32), CtrlBit, extended(32)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(withModifiers(c.key, c.modifiers), c.expected) << testing::PrintToString(c.key);
  }
}

}  // namespace
}  // namespace console
