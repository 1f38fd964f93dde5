#include "console/held_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console.h"

namespace console {
namespace {

using keys::extended;

KeyEvent key(std::string text, int modifiers = 0, KeyAction action = KeyAction::Press) {
  KeyEvent event;
  event.key = std::move(text);
  event.modifiers = modifiers;
  event.action = action;
  return event;
}

KeyEvent modifier(int code, KeyAction action) {
  KeyEvent event;
  event.kind = KeyEvent::Kind::Modifier;
  event.modifierCode = code;
  event.action = action;
  return event;
}

// A key held down on a terminal without release events: the press, then
// after the initial delay one repeat per interval.
struct RepeatProfile {
  const char* name;
  int delayMs;
  int intervalMs;
};
const RepeatProfile Profiles[] = {
    {"X server default", 660, 40},
    {"GNOME", 500, 30},
    {"Linux input core", 250, 33},
};

std::vector<std::int64_t> holdTimes(const RepeatProfile& p, std::int64_t start, int repeats) {
  std::vector<std::int64_t> times{start};
  for (int i = 0; i < repeats; ++i) times.push_back(start + p.delayMs + i * p.intervalMs);
  return times;
}

TEST(HeldKeys, HeldFromTheSecondRepeatUntilTheRepeatsStop) {
  for (const RepeatProfile& p : Profiles) {
    HeldKeys held;
    std::vector<std::int64_t> times = holdTimes(p, 1000, 12);
    for (size_t i = 0; i < times.size(); ++i) {
      bool repeat = held.observe(key(extended(80)), times[i]);
      EXPECT_EQ(repeat, i >= 2) << p.name << " event " << i;
      if (i >= 2) {
        // Between two repeats the key stays held.
        EXPECT_TRUE(held.upOrDownHeld(times[i] + p.intervalMs - 1)) << p.name << " event " << i;
      }
    }
    // Blind during the initial delay: only the press's own moment counts.
    HeldKeys blind;
    blind.observe(key(extended(80)), 1000);
    EXPECT_FALSE(blind.upOrDownHeld(1000 + p.delayMs - 1)) << p.name;

    EXPECT_NEAR(held.repeatIntervalMs(), p.intervalMs, 2) << p.name;
    std::int64_t last = times.back();
    int window = std::max(HeldKeys::MinimumHoldMs, held.repeatIntervalMs() * 5 / 2);
    EXPECT_TRUE(held.upOrDownHeld(last + window - 1)) << p.name;
    EXPECT_FALSE(held.upOrDownHeld(last + window)) << p.name;
  }
}

TEST(HeldKeys, ADroppedRepeatDoesNotEndTheHold) {
  HeldKeys held;
  std::vector<std::int64_t> times = holdTimes(Profiles[0], 0, 10);
  times.erase(times.begin() + 6);  // one repeat lost on the way
  for (size_t i = 0; i < times.size(); ++i) {
    bool repeat = held.observe(key(extended(72)), times[i]);
    if (i >= 2) {
      EXPECT_TRUE(repeat) << "event " << i;
    }
    if (i + 1 < times.size() && i >= 2) {
      for (std::int64_t t = times[i]; t < times[i + 1]; t += 5) {
        EXPECT_TRUE(held.upOrDownHeld(t)) << "at " << t;
      }
    }
  }
  EXPECT_EQ(held.repeatIntervalMs(), 40);
}

TEST(HeldKeys, TapsAndOtherKeysAreNeverHeld) {
  HeldKeys taps;
  for (std::int64_t t = 0; t < 1000; t += 90) {  // as fast as a person taps
    EXPECT_FALSE(taps.observe(key(extended(80)), t));
    EXPECT_FALSE(taps.upOrDownHeld(t + HeldKeys::RepeatGapMs));
  }
  // A release during the initial delay: the press alone, then nothing.
  HeldKeys released;
  released.observe(key(extended(80)), 0);
  EXPECT_FALSE(released.upOrDownHeld(300));
  EXPECT_FALSE(released.observe(key(extended(80)), 400));

  // Another key in between ends the run: only the last key pressed repeats.
  HeldKeys interrupted;
  interrupted.observe(key(extended(80)), 0);
  interrupted.observe(key(extended(80)), 660);
  interrupted.observe(key(extended(80)), 700);
  interrupted.observe(key("x"), 710);
  EXPECT_FALSE(interrupted.upOrDownHeld(711));
  EXPECT_FALSE(interrupted.observe(key(extended(80)), 740));

  // Up after a held Down is a new press, not a repeat.
  HeldKeys switched;
  switched.observe(key(extended(80)), 0);
  switched.observe(key(extended(80)), 40);
  EXPECT_FALSE(switched.observe(key(extended(72)), 80));
}

// The key dispatcher's wait and acceleration, as the program runs it: it
// polls the held state while it waits and forgets the last arrow when
// neither Up nor Down is held; the same arrow again counts up to a larger step.
std::vector<int> stepsWhileHolding(HeldKeys& held, const std::vector<KeyEvent>& events,
                                   const std::vector<std::int64_t>& times) {
  std::vector<int> steps;
  std::string lastArrowKey;
  int arrowStep = 1, repeatCount = 0;
  size_t next = 0;
  for (std::int64_t now = times.front(); next < events.size(); now += 5) {
    bool arrived = now >= times[next];
    if (arrived) held.observe(events[next], times[next]);
    if (!held.upOrDownHeld(now)) lastArrowKey.clear();
    if (!arrived) continue;
    const KeyEvent& event = events[next++];
    if (event.action == KeyAction::Release) continue;
    if (event.key == lastArrowKey) {
      repeatCount += 2;
      if (repeatCount == 9) {
        repeatCount = 1;
        ++arrowStep;
      }
    } else {
      arrowStep = 1;
      repeatCount = 1;
    }
    arrowStep = std::min(arrowStep, 5);
    lastArrowKey = event.key;
    steps.push_back(arrowStep);
  }
  return steps;
}

TEST(HeldKeys, AccelerationWithoutReleaseEvents) {
  HeldKeys held;
  std::vector<std::int64_t> times = holdTimes(Profiles[0], 0, 21);
  std::vector<KeyEvent> events(times.size(), key(extended(80)));
  // The press and the first repeat look like two taps; from the second
  // repeat on the key is known to be held: one key later than a PC keyboard.
  EXPECT_EQ(stepsWhileHolding(held, events, times),
            (std::vector<int>{1, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 5}));

  // Released and pressed again: back to 1.
  std::vector<std::int64_t> again = holdTimes(Profiles[0], times.back() + 300, 2);
  std::vector<KeyEvent> moreEvents(again.size(), key(extended(80)));
  EXPECT_EQ(stepsWhileHolding(held, moreEvents, again), (std::vector<int>{1, 1, 1}));
}

TEST(HeldKeys, AccelerationWithReleaseEvents) {
  HeldKeys held;
  held.setExact(true);
  std::vector<std::int64_t> times = holdTimes(Profiles[0], 0, 9);
  std::vector<KeyEvent> events{key(extended(80))};
  for (size_t i = 1; i < times.size(); ++i) {
    events.push_back(key(extended(80), 0, KeyAction::Repeat));
  }
  times.push_back(times.back() + 20);
  events.push_back(key(extended(80), 0, KeyAction::Release));
  times.push_back(times.back() + 100);
  events.push_back(key(extended(80)));
  // Exactly the PC's sequence: 2 from the fifth key; the release resets it.
  EXPECT_EQ(stepsWhileHolding(held, events, times), (std::vector<int>{1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 1}));
}

TEST(HeldKeys, ExactStateFollowsPressAndRelease) {
  HeldKeys held;
  held.setExact(true);
  EXPECT_FALSE(held.upOrDownHeld(0));
  held.observe(key(extended(72)), 0);
  EXPECT_TRUE(held.upOrDownHeld(600));  // the initial delay is no longer blind
  EXPECT_TRUE(held.observe(key(extended(72), 0, KeyAction::Repeat), 660));
  held.observe(key(extended(72), 0, KeyAction::Release), 700);
  EXPECT_FALSE(held.upOrDownHeld(700));
  // A release that never came (it went to another window) does not hold for ever.
  held.observe(key(extended(80)), 1000);
  EXPECT_TRUE(held.upOrDownHeld(1000 + HeldKeys::StaleHoldMs - 1));
  EXPECT_FALSE(held.upOrDownHeld(1000 + HeldKeys::StaleHoldMs));
}

TEST(HeldKeys, LeftShiftAndCtrl) {
  struct Case {
    const char* name;
    bool exact;
    std::vector<KeyEvent> before;
    KeyEvent event;
    bool leftShift;
    bool ctrl;
  };
  const KeyAction press = KeyAction::Press, release = KeyAction::Release;
  const std::vector<Case> cases = {
      {"legacy Shift counts as left", false, {}, key(extended(75), ShiftBit), true, false},
      {"legacy Ctrl", false, {}, key(extended(115), CtrlBit), false, true},
      {"legacy Shift-Ctrl", false, {}, key(extended(115), ShiftBit | CtrlBit), true, true},
      {"no modifier", false, {}, key(extended(75)), false, false},
      {"kitty left Shift", true, {modifier(KittyLeftShift, press)}, key(extended(75), ShiftBit), true, false},
      {"kitty right Shift", true, {modifier(KittyRightShift, press)}, key(extended(75), ShiftBit), false,
       false},
      {"kitty both Shifts", true, {modifier(KittyRightShift, press), modifier(KittyLeftShift, press)},
       key(extended(75), ShiftBit), true, false},
      {"kitty left released, right still down", true,
       {modifier(KittyLeftShift, press), modifier(KittyRightShift, press), modifier(KittyLeftShift, release)},
       key(extended(75), ShiftBit), false, false},
      {"kitty Shift pressed before the program started", true, {}, key(extended(75), ShiftBit), true, false},
      {"kitty right Ctrl", true, {modifier(KittyRightCtrl, press)}, key(extended(141), CtrlBit), false, true},
      {"kitty left Shift down but key without Shift", true, {modifier(KittyLeftShift, press)},
       key(extended(75)), false, false},
  };
  for (const Case& c : cases) {
    HeldKeys held;
    held.setExact(c.exact);
    for (const KeyEvent& e : c.before) held.observe(e, 0);
    held.observe(c.event, 0);
    EXPECT_EQ(held.leftShiftFor(c.event), c.leftShift) << c.name;
    EXPECT_EQ(held.ctrlFor(c.event), c.ctrl) << c.name;
  }
}

}  // namespace
}  // namespace console
