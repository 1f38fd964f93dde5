#include "console/key_decoder.h"

#include <algorithm>

#include "console/console.h"
#include "console/glyphs.h"

namespace console {

namespace {

enum class Parse { Complete, Incomplete, Skip };

struct Result {
  Parse parse = Parse::Skip;
  size_t length = 1;
  KeyEvent event;
};

Result complete(size_t length, KeyEvent event) {
  return {Parse::Complete, length, std::move(event)};
}
Result skip(size_t length) { return {Parse::Skip, length, {}}; }
Result incomplete() { return {Parse::Incomplete, 0, {}}; }

KeyEvent keyEvent(std::string key, int modifiers, KeyAction action = KeyAction::Press) {
  KeyEvent event;
  event.key = std::move(key);
  event.modifiers = modifiers & (ShiftBit | AltBit | CtrlBit);
  event.action = action;
  return event;
}

// A key event, or a skip when the key means nothing to the program.
Result keyResult(size_t length, std::string key, int modifiers,
                 KeyAction action = KeyAction::Press) {
  if (key.empty()) return skip(length);
  return complete(length, keyEvent(std::move(key), modifiers, action));
}

// The cursor block: code alone (and with Shift), with Ctrl, with Alt.
enum Block { Home, Up, PageUp, Left, Right, End, Down, PageDown, Insert, Delete };
constexpr int BlockCodes[][3] = {
    {71, 119, 151}, {72, 141, 152}, {73, 132, 153}, {75, 115, 155}, {77, 116, 157},
    {79, 117, 159}, {80, 145, 160}, {81, 118, 161}, {82, 146, 162}, {83, 147, 163},
};

// Alt takes precedence over Ctrl; Shift does not change a cursor-block code.
std::string blockKey(Block key, int modifiers) {
  const int* codes = BlockCodes[key];
  return keys::extended((modifiers & AltBit)    ? codes[2]
                        : (modifiers & CtrlBit) ? codes[1]
                                                : codes[0]);
}

// The PC codes of F1 (F1..F10 follow it) and of F11 (F12 follows it): alone,
// with Shift, with Ctrl, with Alt.
constexpr int F1Codes[] = {59, 84, 94, 104};
constexpr int F11Codes[] = {133, 135, 137, 139};

// F1..F12: alone, with Shift, with Ctrl, with Alt.
std::string functionKey(int n, int modifiers) {
  const int* codes = n <= 10 ? F1Codes : F11Codes;
  const int offset = n <= 10 ? n - 1 : n - 11;
  int plain = codes[0] + offset, shift = codes[1] + offset, ctrl = codes[2] + offset,
      alt = codes[3] + offset;
  return keys::extended((modifiers & AltBit)     ? alt
                        : (modifiers & CtrlBit)  ? ctrl
                        : (modifiers & ShiftBit) ? shift
                                                 : plain);
}

// The scan code that Alt with a character key gives, 0 when none.
int altScanCode(char32_t c) {
  if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
  static constexpr std::string_view Rows[] = {"qwertyuiop[]", "asdfghjkl;'`", "\\zxcvbnm,./"};
  static constexpr int RowStarts[] = {16, 30, 43};  // the scan codes of q, a and backslash
  for (int row = 0; row < 3; ++row) {
    size_t at = c < 128 ? Rows[row].find(static_cast<char>(c)) : std::string_view::npos;
    if (at != std::string_view::npos) return RowStarts[row] + static_cast<int>(at);
  }
  constexpr int AltOne = 120;  // Alt-1..Alt-9, then Alt-0, Alt-- and Alt-= follow
  if (c >= '1' && c <= '9') return AltOne + static_cast<int>(c - '1');
  if (c == '0') return AltOne + 9;
  if (c == '-') return AltOne + 10;
  if (c == '=') return AltOne + 11;
  return 0;
}

// A byte that arrived on its own (alt: after an ESC prefix).
Result byteKey(size_t length, unsigned char b, int extraModifiers) {
  int modifiers = extraModifiers;
  if (b == 0) return skip(length);
  if ((b >= 1 && b <= 26 && b != 8 && b != 9 && b != 13) || (b >= 28 && b <= 31)) {
    modifiers |= CtrlBit;
    if (b == 10) return keyResult(length, characterKey(10, modifiers), modifiers);
    if (b <= 26 && (modifiers & AltBit)) {
      return keyResult(length, characterKey('a' + b - 1, AltBit), modifiers);
    }
    return keyResult(length, std::string(1, static_cast<char>(b)), modifiers);
  }
  return keyResult(length, characterKey(b, modifiers), modifiers);
}

// Parameters of a control sequence: up to four fields of up to three
// sub-parameters each; -1 where nothing was given.
struct Parameters {
  char prefix = 0;
  int field[4][3];
  int fields = 0;
  Parameters() { std::fill(&field[0][0], &field[0][0] + 12, -1); }
  int at(int f, int sub = 0) const { return field[f][sub]; }
  int modifiers() const { return at(1) > 0 ? at(1) - 1 : 0; }
  KeyAction action() const {
    return at(1, 1) == 2   ? KeyAction::Repeat
           : at(1, 1) == 3 ? KeyAction::Release
                           : KeyAction::Press;
  }
};

Parameters parseParameters(std::string_view text) {
  Parameters p;
  if (!text.empty() && text[0] >= '<' && text[0] <= '?') {
    p.prefix = text[0];
    text.remove_prefix(1);
  }
  int f = 0, sub = 0;
  p.fields = 1;
  for (char c : text) {
    if (c == ';') {
      if (++f >= 4) break;
      sub = 0;
      p.fields = f + 1;
    } else if (c == ':') {
      ++sub;
    } else if (c >= '0' && c <= '9' && sub < 3) {
      int& value = p.field[f][sub];
      value = std::min((value < 0 ? 0 : value) * 10 + (c - '0'), 10000000);
    }
  }
  return p;
}

// Keys of the CSI number ~ form (and the rxvt variants with ^ @ $).
std::string tildeKey(int n, int modifiers) {
  switch (n) {
    case 1:
    case 7:
      return blockKey(Home, modifiers);
    case 2:
      return blockKey(Insert, modifiers);
    case 3:
      return blockKey(Delete, modifiers);
    case 4:
    case 8:
      return blockKey(End, modifiers);
    case 5:
      return blockKey(PageUp, modifiers);
    case 6:
      return blockKey(PageDown, modifiers);
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
      return functionKey(n - 10, modifiers);
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
      return functionKey(n - 11, modifiers);
    case 23:
    case 24:
      return functionKey(n - 12, modifiers);
    default:
      return {};
  }
}

std::string letterKey(char final, int modifiers) {
  switch (final) {
    case 'A':
      return blockKey(Up, modifiers);
    case 'B':
      return blockKey(Down, modifiers);
    case 'C':
      return blockKey(Right, modifiers);
    case 'D':
      return blockKey(Left, modifiers);
    case 'H':
      return blockKey(Home, modifiers);
    case 'F':
      return blockKey(End, modifiers);
    case 'P':
    case 'Q':
    case 'R':
    case 'S':
      return functionKey(final - 'P' + 1, modifiers);
    default:
      return {};
  }
}

// A key of the kitty protocol's CSI code u form.
Result kittyKey(size_t length, const Parameters& p, int extraModifiers) {
  int code = p.at(0);
  int modifiers = p.modifiers() | extraModifiers;
  KeyAction action = p.action();
  if (code >= KittyLeftShift && code <= KittyLastModifier) {
    KeyEvent event;
    event.kind = KeyEvent::Kind::Modifier;
    event.modifierCode = code;
    event.action = action;
    event.modifiers = modifiers & (ShiftBit | AltBit | CtrlBit);
    return complete(length, event);
  }
  if (code >= KittyKeypadFirst && code <= KittyKeypadLast) {
    static constexpr std::string_view KeypadText = "0123456789./*-+\r=";
    if (code < KittyKeypadFirst + static_cast<int>(KeypadText.size())) {
      char c = KeypadText[code - KittyKeypadFirst];
      return keyResult(length, characterKey(static_cast<unsigned char>(c), modifiers), modifiers,
                       action);
    }
    static constexpr int KeypadBlock[] = {-1,       Left, Right, Up,     Down,  PageUp,
                                          PageDown, Home, End,   Insert, Delete};
    int block = KeypadBlock[code - KittyKeypadFirst - static_cast<int>(KeypadText.size())];
    if (block < 0) return skip(length);
    return keyResult(length, blockKey(static_cast<Block>(block), modifiers), modifiers, action);
  }
  if (code < 0 || code >= KittyPrivateFirst)
    return skip(length);  // lock, media, other private keys
  // Caps Lock (bit 64) turns letters to capitals like Shift does.
  int shiftLike = modifiers;
  if (p.at(1) > 0 && ((p.at(1) - 1) & 64)) shiftLike ^= ShiftBit;
  char32_t shifted = p.at(0, 1) > 0 ? static_cast<char32_t>(p.at(0, 1)) : 0;
  char32_t text = p.at(2) > 0 ? static_cast<char32_t>(p.at(2)) : 0;
  return keyResult(length, characterKey(static_cast<char32_t>(code), shiftLike, shifted, text),
                   modifiers, action);
}

// The body of a CSI sequence (after ESC [).
Result decodeCsi(std::string_view body, int extraModifiers) {
  if (!body.empty() && body[0] == '[') {  // the Linux console's F1..F5: ESC [ [ A..E
    if (body.size() < 2) return incomplete();
    if (body[1] >= 'A' && body[1] <= 'E') {
      return keyResult(4, functionKey(body[1] - 'A' + 1, extraModifiers), extraModifiers);
    }
    return skip(3);
  }
  size_t i = 0;
  bool onlyNumbers = true;
  while (i < body.size()) {
    unsigned char c = static_cast<unsigned char>(body[i]);
    if (c == '$' && onlyNumbers && i > 0) break;  // rxvt's Shift forms end in $
    if (c >= 0x40 && c <= 0x7e) break;
    if (c < 0x20 || c > 0x3f) return skip(2 + i);  // not a sequence: drop its start
    if (!((c >= '0' && c <= '9') || c == ';')) onlyNumbers = false;
    ++i;
  }
  if (i == body.size()) return incomplete();
  size_t length = 2 + i + 1;
  char final = body[i];
  std::string_view text = body.substr(0, i);
  if (text.find_first_of(" !\"#%&'()*+,-./") != std::string_view::npos) return skip(length);
  Parameters p = parseParameters(text);
  int modifiers = p.modifiers() | extraModifiers;

  if (p.prefix == '?') {
    KeyEvent event;
    if (final == 'u') {
      event.kind = KeyEvent::Kind::KittyFlags;
      event.flags = std::max(0, p.at(0));
      return complete(length, event);
    }
    if (final == 'c') {
      event.kind = KeyEvent::Kind::DeviceAttributes;
      return complete(length, event);
    }
    return skip(length);
  }
  if (p.prefix != 0) return skip(length);

  switch (final) {
    case 'u':
      return kittyKey(length, p, extraModifiers);
    case '~':
      if (p.at(0) == 27 && p.fields >= 3) {  // modifyOtherKeys: CSI 27 ; mods ; code ~
        int mok = (p.at(1) > 0 ? p.at(1) - 1 : 0) | extraModifiers;
        return keyResult(length, characterKey(static_cast<char32_t>(std::max(0, p.at(2))), mok),
                         mok);
      }
      return keyResult(length, tildeKey(p.at(0), modifiers), modifiers, p.action());
    case '^':
      return keyResult(length, tildeKey(p.at(0), modifiers | CtrlBit), modifiers | CtrlBit);
    case '@':
      return keyResult(length, tildeKey(p.at(0), modifiers | CtrlBit | ShiftBit),
                       modifiers | CtrlBit | ShiftBit);
    case '$':
      return keyResult(length, tildeKey(p.at(0), modifiers | ShiftBit), modifiers | ShiftBit);
    case 'Z':
      return keyResult(length, keys::extended(15), modifiers | ShiftBit);
    case 'a':
    case 'b':
    case 'c':
    case 'd':  // rxvt's Shift-arrows
      return keyResult(length,
                       letterKey(static_cast<char>(final - 'a' + 'A'), modifiers | ShiftBit),
                       modifiers | ShiftBit);
    default:
      return keyResult(length, letterKey(final, modifiers), modifiers, p.action());
  }
}

// ESC O (SS3) forms: cursor keys, F1..F4, keypad Enter, with an optional modifier digit.
Result decodeSs3(std::string_view in, int extraModifiers) {
  size_t i = 2;
  int modifierParameter = 0;
  while (i < in.size() && i < 5 && in[i] >= '0' && in[i] <= '9') {
    modifierParameter = modifierParameter * 10 + (in[i] - '0');
    ++i;
  }
  if (i == in.size()) return incomplete();
  int modifiers = (modifierParameter > 0 ? modifierParameter - 1 : 0) | extraModifiers;
  char final = in[i];
  size_t length = i + 1;
  if (final == 'M') return keyResult(length, characterKey(13, modifiers), modifiers);
  if (final >= 'a' && final <= 'd') {  // rxvt's Ctrl-arrows
    return keyResult(length, letterKey(static_cast<char>(final - 'a' + 'A'), modifiers | CtrlBit),
                     modifiers | CtrlBit);
  }
  if (final >= 'j' && final <= 'y') {  // application keypad
    static constexpr std::string_view Keypad = "*+,-./0123456789";
    return keyResult(length,
                     characterKey(static_cast<unsigned char>(Keypad[final - 'j']), modifiers),
                     modifiers);
  }
  return keyResult(length, letterKey(final, modifiers), modifiers);
}

Result decodeEscape(std::string_view in, int extraModifiers) {
  if (in.size() < 2) return incomplete();
  unsigned char c = static_cast<unsigned char>(in[1]);
  if (c == '[') {
    Result r = decodeCsi(in.substr(2), extraModifiers);
    return r;
  }
  if (c == 'O') return decodeSs3(in, extraModifiers);
  if (c == 0x1b && extraModifiers == 0) {
    // ESC ESC [ ... : Alt with a cursor or function key; otherwise a lone Esc.
    if (in.size() < 3) return incomplete();
    if (in[2] == '[' || in[2] == 'O') {
      Result r = decodeEscape(in.substr(1), AltBit);
      if (r.parse != Parse::Incomplete) r.length += 1;
      return r;
    }
    return keyResult(1, "\x1b", 0);
  }
  if (c < 0x80) return byteKey(2, c, extraModifiers | AltBit);
  return keyResult(1, "\x1b", 0);
}

// A character typed as UTF-8: its code page byte when it has one, else dropped.
Result decodeUtf8(std::string_view in) {
  unsigned char lead = static_cast<unsigned char>(in[0]);
  size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                  : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                 : 0;
  if (length == 0) return skip(1);
  char32_t c = lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
  for (size_t i = 1; i < length; ++i) {
    if (i >= in.size()) return incomplete();
    unsigned char next = static_cast<unsigned char>(in[i]);
    if ((next & 0xC0) != 0x80) return skip(i);
    c = (c << 6) | (next & 0x3F);
  }
  int byte = byteForCodepoint(c);
  if (byte < 0) return skip(length);
  return keyResult(length, std::string(1, static_cast<char>(byte)), 0);
}

Result decodeOne(std::string_view in) {
  unsigned char b = static_cast<unsigned char>(in[0]);
  if (b == 0x1b) return decodeEscape(in, 0);
  if (b >= 0x80) return decodeUtf8(in);
  return byteKey(1, b, 0);
}

// What an unfinished sequence stands for once no more bytes come.
Result giveUp(std::string_view in) {
  if (in[0] != 0x1b) return skip(1);
  if (in.size() == 1 || in[1] == 0x1b) return keyResult(1, "\x1b", 0);
  if (in.size() == 2) return byteKey(2, static_cast<unsigned char>(in[1]), AltBit);
  return skip(in.size());
}

}  // namespace

std::string characterKey(char32_t code, int modifiers, char32_t shifted, char32_t text) {
  bool alt = modifiers & AltBit, ctrl = modifiers & CtrlBit, shift = modifiers & ShiftBit;
  switch (code) {
    case 13:
      return alt ? keys::extended(28) : ctrl ? "\n" : "\r";
    case 10:
      return alt ? keys::extended(28) : "\n";
    case 27:
      return alt ? keys::extended(1) : "\x1b";
    case 9:
      return alt     ? keys::extended(165)
             : ctrl  ? keys::extended(148)
             : shift ? keys::extended(15)
                     : "\t";
    case 8:
    case 127:
      return alt ? keys::extended(14) : ctrl ? "\x7f" : "\b";
    default:
      break;
  }
  if (alt) {
    int scan = altScanCode(code);
    return scan ? keys::extended(scan) : std::string{};
  }
  if (ctrl) {
    char32_t lower = (code >= 'A' && code <= 'Z') ? code + ('a' - 'A') : code;
    if (lower >= 'a' && lower <= 'z') return std::string(1, static_cast<char>(lower - 'a' + 1));
    switch (lower) {
      case ' ':
        return " ";
      case '[':
        return "\x1b";
      case '\\':
        return "\x1c";
      case ']':
        return "\x1d";
      case '6':
      case '^':
        return "\x1e";
      case '-':
      case '_':
        return "\x1f";
      default:
        return {};
    }
  }
  char32_t c = code;
  if (text != 0) {
    c = text;
  } else if (shift && shifted != 0) {
    c = shifted;
  } else if (shift && c >= 'a' && c <= 'z') {
    c -= 'a' - 'A';
  }
  if (c >= 32 && c < 127) return std::string(1, static_cast<char>(c));
  int byte = byteForCodepoint(c);
  return byte < 0 ? std::string{} : std::string(1, static_cast<char>(byte));
}

std::string withModifiers(const std::string& key, int modifiers) {
  if (key.size() != 2 || key[0] != '\xff') return key;
  int code = static_cast<unsigned char>(key[1]);
  for (int block = Home; block <= Delete; ++block) {
    if (BlockCodes[block][0] == code) return blockKey(static_cast<Block>(block), modifiers);
  }
  if (code >= F1Codes[0] && code < F1Codes[0] + 10)
    return functionKey(code - F1Codes[0] + 1, modifiers);
  if (code == F11Codes[0] || code == F11Codes[0] + 1) {
    return functionKey(code - F11Codes[0] + 11, modifiers);
  }
  return key;
}

void KeyDecoder::feed(std::string_view bytes, std::int64_t nowMs) {
  if (bytes.empty()) return;
  buffer_.append(bytes);
  lastByteMs_ = nowMs;
}

std::optional<KeyEvent> KeyDecoder::next(std::int64_t nowMs) {
  while (start_ < buffer_.size()) {
    std::string_view in(buffer_);
    in.remove_prefix(start_);
    Result r = decodeOne(in);
    if (r.parse == Parse::Incomplete) {
      if (nowMs - lastByteMs_ < EscapeTimeoutMs) return std::nullopt;
      r = giveUp(in);
    }
    start_ += std::max<size_t>(1, r.length);
    if (start_ >= buffer_.size()) {
      buffer_.clear();
      start_ = 0;
    } else if (start_ > 4096) {
      buffer_.erase(0, start_);
      start_ = 0;
    }
    if (r.parse == Parse::Complete) return r.event;
  }
  return std::nullopt;
}

int KeyDecoder::millisecondsUntilTimeout(std::int64_t nowMs) const {
  if (!pending()) return -1;
  return static_cast<int>(std::max<std::int64_t>(0, lastByteMs_ + EscapeTimeoutMs - nowMs));
}

}  // namespace console
