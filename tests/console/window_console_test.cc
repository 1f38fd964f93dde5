#include "console/window_console.h"

#include <gtest/gtest.h>

#include <tuple>

namespace console {
namespace {

namespace vk = platform::vk;
using platform::ConsoleCell;
using platform::ConsoleEvent;
constexpr unsigned Shift = platform::ShiftPressed, Ctrl = platform::LeftCtrlPressed,
                   Alt = platform::LeftAltPressed, AltGr = platform::RightAltPressed | Ctrl;

// A console window in memory: events to hand out, the writes it was given.
struct FakeWindow : platform::ConsoleWindow {
  std::vector<ConsoleEvent> input;
  std::vector<std::tuple<int, int, std::u16string, std::uint16_t>>
      writes;  // row, column, glyphs, first attribute
  int columns = 0, rows = 0;
  bool cursorVisible = true;
  void setSize(int c, int r) override { columns = c, rows = r; }
  void write(int row, int column, const std::vector<ConsoleCell>& cells) override {
    std::u16string glyphs;
    for (const ConsoleCell& cell : cells) glyphs += cell.glyph;
    writes.emplace_back(row, column, glyphs, cells[0].attribute);
  }
  void placeCursor(int, int, bool visible) override { cursorVisible = visible; }
  bool readEvents(int, std::vector<ConsoleEvent>& events) override {
    events.insert(events.end(), input.begin(), input.end());
    input.clear();
    return true;
  }
  void desktopSize(int& width, int& height) override { width = 1024, height = 768; }
  bool keyDown(int) override { return false; }
  void restore() override {}
};

ConsoleEvent key(int virtualKey, char16_t character = 0, unsigned state = 0, bool down = true,
                 int scanCode = 0) {
  return {ConsoleEvent::Kind::Key, down, virtualKey, scanCode, character, state, 1};
}

std::string X(int code) { return keys::extended(code); }

struct WindowConsoleTest : ::testing::Test {
  FakeWindow* window = new FakeWindow;
  WindowConsole console{std::unique_ptr<platform::ConsoleWindow>(window)};
};

TEST_F(WindowConsoleTest, KeyEventsGiveTheKeyTextsOfTheKeyTable) {
  // clang-format off
  const std::vector<std::pair<ConsoleEvent, std::string>> table = {
      {key(vk::Home), X(71)}, {key(vk::Home, 0, Shift), X(71)}, {key(vk::Home, 0, Ctrl), X(119)},
      {key(vk::Home, 0, Alt), X(151)}, {key(vk::Up), X(72)}, {key(vk::Up, 0, Ctrl), X(141)},
      {key(vk::Down), X(80)}, {key(vk::Down, 0, platform::RightCtrlPressed), X(145)},
      {key(vk::Prior), X(73)}, {key(vk::Next), X(81)}, {key(vk::Left), X(75)},
      {key(vk::Left, 0, Ctrl | Shift), X(115)}, {key(vk::Right), X(77)},
      {key(vk::Right, 0, Ctrl), X(116)}, {key(vk::End), X(79)}, {key(vk::Insert), X(82)},
      {key(vk::Delete), X(83)}, {key(vk::F1), X(59)}, {key(vk::F1, 0, Shift), X(84)},
      {key(vk::F1, 0, Ctrl), X(94)}, {key(vk::F1, 0, Alt), X(104)}, {key(vk::F12), X(134)},
      {key('Q', 'q'), "q"}, {key('Q', 'Q', Shift), "Q"}, {key('I', 'i'), "i"},
      {key('B', 2, Ctrl), "\x02"}, {key('B', 2, Ctrl | Shift), "\x02"}, {key('D', 'd', Alt), X(32)},
      {key('B', 'b', Alt), X(48)}, {key('H', 'h', Alt), X(35)}, {key('I', 'i', Alt), X(23)},
      {key(vk::Return, '\r'), "\r"}, {key(vk::Return, '\n', Ctrl), "\n"},
      {key(vk::Escape, 27), "\x1b"}, {key(vk::Space, ' '), " "}, {key(vk::Back, 8), "\b"},
      {key(vk::Tab, 9), "\t"}, {key(vk::Tab, 9, Shift), X(15)}, {key(0xDE, u'é'), "\x82"},
      {key('2', '@', AltGr), "@"}, {key(vk::Shift, 0, Shift), ""}, {key(vk::Control, 0, Ctrl), ""},
      {key('Q', 'q', 0, false), ""}, {key(vk::Menu, u'é', 0, false), "\x82"}, {key(0, 0), ""},
  };
  // clang-format on
  for (const auto& [event, expected] : table) {
    window->input.push_back(event);
    EXPECT_EQ(console.readKey(), expected) << "virtual key " << event.virtualKey;
    EXPECT_EQ(console.readKey(), "");
  }
}

TEST_F(WindowConsoleTest, HeldKeysFollowDownAndUpEvents) {
  // Left Shift (scan code 0x2A) with Left: the key's Shift is the left one; right Shift's is not.
  window->input = {key(vk::Shift, 0, Shift, true, 0x2A), key(vk::Left, 0, Shift)};
  EXPECT_EQ(console.readKey(), keys::extended(keys::Left));
  EXPECT_TRUE(console.leftShiftHeld());
  EXPECT_FALSE(console.ctrlHeld());
  window->input = {key(vk::Shift, 0, 0, false, 0x2A), key(vk::Shift, 0, Shift, true, 0x36),
                   key(vk::Left, 0, Shift | platform::RightCtrlPressed)};
  EXPECT_EQ(console.readKey(), keys::extended(keys::CtrlLeft));
  EXPECT_FALSE(console.leftShiftHeld());
  EXPECT_TRUE(console.ctrlHeld());

  // A held Down: its press, then repeats that queued up count once, held until released.
  window->input = {key(vk::Down), key(vk::Down), key(vk::Down), key(vk::Down), key(vk::Up)};
  EXPECT_EQ(console.readKey(), keys::extended(keys::Down));
  EXPECT_TRUE(console.upOrDownHeld());
  EXPECT_EQ(console.waitingKeys().size(), 4u);
  EXPECT_EQ(console.readKey(), keys::extended(keys::Down));
  EXPECT_EQ(console.readKey(), keys::extended(keys::Up));
  EXPECT_TRUE(console.upOrDownHeld());
  window->input = {key(vk::Down, 0, 0, false)};
  EXPECT_TRUE(console.upOrDownHeld());  // Up is still down
  window->input = {key(vk::Up, 0, 0, false)};
  EXPECT_FALSE(console.upOrDownHeld());
  window->input = {key(vk::Up), ConsoleEvent{ConsoleEvent::Kind::FocusLost}};
  EXPECT_FALSE(console.upOrDownHeld());
}

TEST_F(WindowConsoleTest, FlushWritesGlyphsAndAttributesOfChangedCellsOnly) {
  console.setSize(127, 59);
  EXPECT_EQ(std::make_pair(window->columns, window->rows), std::make_pair(127, 59));
  EXPECT_EQ(console.screen().rows(), 59);
  console.flush();
  ASSERT_EQ(window->writes.size(), 59u);  // all of it, once per row
  EXPECT_EQ(window->writes[58], std::make_tuple(58, 0, std::u16string(127, u' '), 7));
  window->writes.clear();

  console.placeCursor(3, 10, 0);
  console.setColour(White, Magenta);
  console.print(std::string("\x01\x1f\x7f\xb3\x00", 5));
  console.setColour(Black, LightGrey);
  console.placeCursor(3, 30);
  console.print("x");
  console.placeCursor(59, 127);
  console.print("z");
  console.flush();
  console.flush();
  EXPECT_EQ(window->writes,
            (decltype(window->writes){
                {2, 9, u"☺▼⌂│ ", 0x5F}, {2, 29, u"x", 0x70}, {58, 126, u"z", 0x70}}));
  EXPECT_FALSE(window->cursorVisible);
  EXPECT_EQ(console.desktopResolution().height, 768);
}

}  // namespace
}  // namespace console
