// The keys a console backend has read and the program has not taken yet, each
// with the modifiers held for it, and whether the keyboard is gone.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "console/held_keys.h"

namespace console {

class KeyQueue {
 public:
  /// Queues a key; repeat marks an auto-repeat of a held key.
  void push(std::string key, bool leftShift, bool ctrl, bool repeat) {
    queue_.push_back({std::move(key), leftShift, ctrl, repeat});
  }
  /// From now on the queue ends in Esc: a program without a keyboard ends.
  void close() { closed_ = true; }
  bool closed() const { return closed_; }
  /// Whether a key (or the Esc of a closed keyboard) waits.
  bool ready() const { return !queue_.empty() || closed_; }

  /// The next key, "" when none; leftShiftHeld() and ctrlHeld() then tell the
  /// modifiers held for it. Auto-repeats of an arrow that queued up while the
  /// program was busy count once, so a released arrow does not go on moving.
  std::string take() {
    if (queue_.empty()) return closed_ ? "\x1b" : std::string{};
    while (queue_.size() > 1 && queue_[0].repeat && queue_[1].repeat &&
           queue_[0].key == queue_[1].key && arrowOf(queue_[0].key) != 0) {
      queue_.pop_front();
    }
    Queued next = std::move(queue_.front());
    queue_.pop_front();
    leftShift_ = next.leftShift;
    ctrl_ = next.ctrl;
    return next.key;
  }
  bool leftShiftHeld() const { return leftShift_; }
  bool ctrlHeld() const { return ctrl_; }

  /// The keys waiting, in order, without taking them.
  std::vector<std::string> waiting() const {
    std::vector<std::string> keys;
    for (const Queued& queued : queue_) keys.push_back(queued.key);
    if (closed_) keys.push_back("\x1b");
    return keys;
  }

 private:
  struct Queued {
    std::string key;
    bool leftShift = false;
    bool ctrl = false;
    bool repeat = false;
  };
  std::deque<Queued> queue_;
  bool closed_ = false;
  bool leftShift_ = false;
  bool ctrl_ = false;
};

}  // namespace console
