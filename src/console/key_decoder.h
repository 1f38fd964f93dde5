// Terminal key input: the bytes a terminal sends for a key, decoded into the
// program's key texts (one byte, or byte 255 followed by the PC keyboard's
// extended code). Understood are the xterm/VT forms (CSI and SS3 with
// modifier parameters, the Home/End/F1 variants of other terminals, the Linux
// console's F1–F5), Alt as an ESC prefix, xterm's modifyOtherKeys
// (CSI 27;mods;code ~), and the kitty keyboard protocol (CSI code;mods:event u
// and CSI 1;mods:event A–D/H/F/P/Q/S/~ with press, repeat and release, and
// the modifier keys as keys of their own). The terminal's answers to the
// kitty query and to Device Attributes come out as events too, never as keys.
//
// The decoder is a pure function of the bytes and the time they arrived: a
// lone ESC (or an unfinished sequence) is only given up when no further byte
// has come for EscapeTimeoutMs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace console {

/// Modifier bits as the terminal reports them (its parameter minus one).
inline constexpr int ShiftBit = 1, AltBit = 2, CtrlBit = 4;

/// Kitty codes of the modifier keys (the last is the last of that range).
inline constexpr int KittyLeftShift = 57441, KittyLeftCtrl = 57442, KittyRightShift = 57447,
                     KittyRightCtrl = 57448, KittyLastModifier = 57452;
/// Kitty codes of the keypad (digits and signs first, then its cursor block),
/// and the first of the private codes (locks, media) that make no key.
inline constexpr int KittyKeypadFirst = 57399, KittyKeypadLast = 57426, KittyPrivateFirst = 57344;

enum class KeyAction { Press, Repeat, Release };

struct KeyEvent {
  enum class Kind {
    Key,               // key holds the program's key text
    Modifier,          // a modifier key of its own: modifierCode says which
    KittyFlags,        // answer to the kitty query: flags
    DeviceAttributes,  // answer to Device Attributes (CSI ? ... c)
  };
  Kind kind = Kind::Key;
  std::string key;
  KeyAction action = KeyAction::Press;
  int modifiers = 0;  // ShiftBit | AltBit | CtrlBit carried by the key
  int modifierCode = 0;
  int flags = 0;
  bool operator==(const KeyEvent&) const = default;
};

/// The key text of a cursor-block or function key given without modifiers,
/// as it is with these modifiers (Shift, Ctrl, Alt bits). Other keys come
/// back as they are. For terminals that send such keys unmodified and tell
/// the modifier state another way (the Linux console).
std::string withModifiers(const std::string& key, int modifiers);

/// The key text of a character-producing key given as a code point: Enter,
/// Tab, Esc and Backspace with their modified forms, Ctrl with a letter as its
/// control byte, Alt with a character as the key's scan code, else the
/// character as its byte. shifted and text are the character with Shift and
/// the text the key types, 0 when not known. "" for a key the program has no text for.
std::string characterKey(char32_t code, int modifiers, char32_t shifted = 0, char32_t text = 0);

class KeyDecoder {
 public:
  /// How long a lone ESC waits for the rest of a sequence.
  static constexpr int EscapeTimeoutMs = 50;

  /// Adds bytes that arrived at nowMs.
  void feed(std::string_view bytes, std::int64_t nowMs);
  /// The next event, or nothing when the bytes so far do not yet make one.
  std::optional<KeyEvent> next(std::int64_t nowMs);
  /// Milliseconds until an unfinished sequence is given up, or -1 when none waits.
  int millisecondsUntilTimeout(std::int64_t nowMs) const;
  /// Whether bytes wait that do not yet make an event.
  bool pending() const { return start_ < buffer_.size(); }

 private:
  std::string buffer_;
  size_t start_ = 0;
  std::int64_t lastByteMs_ = 0;
};

}  // namespace console
