# A mail that tries to take over the terminal: its From and Subject carry
# escape sequences (a new window title, clear screen, cursor home, reset,
# colours), control bytes and 8-bit bytes. In tmux every byte shows as its
# glyph on the message line, and nothing else changes: the title line, the key
# bar, the one blue cursor bar and the terminal's window title stay.
source "$(dirname "$0")/lib.sh"

fixture="$MAILVAK_BINARY_DIR/tests/fixture_pop3"
[ -x "$fixture" ] || { echo "SKIP: fixture_pop3 is not built" >&2; exit 77; }

mail="$E2E_DIR/boef.eml"
{
  printf 'From: \033]2;GEKAAPT\007\033[2J\033[H Boef \23331m <boef@example.nl>\r\n'
  printf 'Subject: \033[31mRood\033[0m \007\010\177 \351\377\200 \033c einde\r\n'
  printf 'Date: Mon, 7 Dec 2026 10:00:00 +0000\r\n\r\n'
  printf 'Tekst \033[?1049l \033]0;OOK-GEKAAPT\033\\ terug\r\n'
} > "$mail"

"$fixture" 0 "$mail" > "$E2E_DIR/fixture.out" &
fixture_pid=$!
stop_fixture() { kill "$fixture_pid" 2>/dev/null; wait "$fixture_pid" 2>/dev/null; e2e_cleanup; }
trap stop_fixture EXIT
fixture_port() { grep -oE '^port [0-9]+' "$E2E_DIR/fixture.out" | cut -d' ' -f2; }
fixture_up() { [ -n "$(fixture_port)" ]; }
e2e_wait_until fixture_up || e2e_fail "the fixture server did not start"

e2e_write_ini "$E2E_DIR/appdata/Mailvak" "127.0.0.1:$(fixture_port)" boef geheim Boef

title_line=" * * *  Mailvak  v10.2t    POP3-emailchecker    80 accounts    800 emails per account    (c) 2026 Mailvak-ontwikkelaars  * * *"
key_bar=" Home = check email │ F1 = Help │ (Shft/Ctrl-)Pijltoetsen │ h = Headers │ b = Open bericht │ Alt-d = Delete │ i = instellingen"
pane_title() { e2e_tmux display-message -p -t e2e '#{pane_title}'; }
# The rows whose first cell has the blue background, in one pass over the pane.
blue_rows() {
  e2e_tmux capture-pane -p -e -t e2e | python3 -c '
import re, sys
bg, rows = 49, []
for number, line in enumerate(sys.stdin.read().split("\n"), 1):
    first = None
    for part in re.split(r"(\x1b\[[0-9;]*m)", line):
        if part.startswith("\x1b["):
            for c in [int(c) if c else 0 for c in part[2:-1].split(";")]:
                if c == 0 or c == 49: bg = 49
                elif 40 <= c <= 47 or 100 <= c <= 107: bg = c
        elif part and first is None:
            first = bg
    if (first if first is not None else bg) == 44: rows.append(str(number))
print(" ".join(rows))
'
}
screen_intact() {
  [ "$(e2e_row 1)" = "$title_line" ] || e2e_fail "the title line changed: '$(e2e_row 1)'"
  [ "$(e2e_row 59)" = "$key_bar" ] || e2e_fail "the key bar changed: '$(e2e_row 59)'"
  [ "$(pane_title)" = "e2e-titel" ] || e2e_fail "the terminal's title became '$(pane_title)'"
  [ "$(blue_rows)" = "$1" ] || e2e_fail "the blue cursor bar is on row(s) '$(blue_rows)', not $1 alone"
}

e2e_start 127 59 "APPDATA=$E2E_DIR/appdata"
e2e_send -l "printf '\\033]2;e2e-titel\\033\\\\'"
e2e_send Enter
title_set() { [ "$(pane_title)" = "e2e-titel" ]; }
e2e_wait_until title_set || e2e_fail "the shell could not set the terminal's title"

e2e_run "'$MAILVAK_BINARY_DIR/mailvak'"
e2e_wait_for_text "Boef" || e2e_fail "the folder line did not appear"
e2e_key Home
e2e_wait_for_text "einde" || e2e_fail "the message line did not appear"
# Rows: 3 the folder, 4 the column header, 5 the message.
screen_intact 3
row=$(e2e_row 5)
for glyphs in "←]2;GEKAAPT•←[2J←[H Boef" "←[31mRood←[0m •◘⌂ Θ" "Ç ←c einde"; do
  case "$row" in *"$glyphs"*) ;; *) e2e_fail "message line lacks '$glyphs': '$row'" ;; esac
done

# The message opened (the column header row is a list line too): its body
# line, then every header line, as glyphs too.
e2e_keys Down Down Right
e2e_wait_for_text "←[?1049l" || e2e_fail "the body line is not shown as glyphs"
e2e_pane_has "←]0;OOK-GEKAAPT←\\ terug" || e2e_fail "the body's title sequence is not shown as glyphs"
screen_intact 5
e2e_key h
e2e_wait_for_text "Subject: ←[31mRood" || e2e_fail "the full headers are not shown as glyphs"
screen_intact 5

e2e_send q
e2e_expect_status 0
[ "$(pane_title)" = "e2e-titel" ] || e2e_fail "the terminal's title changed after the end"
echo "PASS"
