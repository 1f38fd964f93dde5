# A hostile mail, help and leaving, in the smallest terminal accepted (127x45).
# Escape sequences, control and 8-bit bytes in From, Subject and body show as
# glyphs and change nothing else (title line, key bar, one blue cursor bar, the
# terminal's title). F1 fills rows 1 to 45 without scrolling; q on the help
# page only closes it. q, and Esc likewise, end the program with status 0 and
# the terminal as it was: main screen, cursor shown, wrap on, stty unchanged.
source "$(dirname "$0")/lib.sh"

printf '%s\r\n' $'From: \e]2;GEKAAPT\a\e[2J\e[H Boef \23331m <boef@example.nl>' \
  $'Subject: \e[31mRood\e[0m \a\b\177 \351\377\200 \ec einde' "Date: Mon, 7 Dec 2026 10:00:00 +0000" "" \
  $'Tekst \e[?1049l \e]0;OOK-GEKAAPT\e\\ terug' > "$E2E_DIR/boef.eml"
"$MAILVAK_BINARY_DIR/tests/fixture_pop3" 0 "$E2E_DIR/boef.eml" > "$E2E_DIR/fixture.out" & E2E_PIDS+=($!)
port() { sed -n 's/^port \([0-9]*\)$/\1/p' "$E2E_DIR/fixture.out" 2>/dev/null; }
e2e_expect "the fixture server did not start" eval '[ -n "$(port)" ]'
e2e_write_ini "$E2E_WORK/Mailvak.ini" "127.0.0.1:$(port)" boef geheim Boef

modes() { e2e_tmux display-message -p -t e2e '#{alternate_on} #{cursor_flag} #{wrap_flag} #{pane_title}'; }
# intact ROW: title line, key bar, the blue bar on ROW alone, the terminal's modes and title.
intact() {
  e2e_row_starts 1 " * * *  Mailvak  v10.2t    POP3-emailchecker    80 accounts    800 emails per account    (c) 2026" &&
    e2e_row_starts 45 " Home = check email │ F1 = Help │ (Shft/Ctrl-)Pijltoetsen │ h = Headers │" &&
    [ "$(e2e_blue_rows)" = "$1 " ] && [ "$(modes)" = "1 0 0 e2e-titel" ]
}
# leave KEY: the key ends the program, and the terminal is as it was before.
leave() {
  e2e_quit "$1"
  e2e_run "stty -g > '$E2E_DIR/stty.after'" && e2e_ended
  [ "$(modes)" = "0 1 1 e2e-titel" ] && cmp -s "$E2E_DIR/stty."* || e2e_fail "after $1: modes '$(modes)', stty changed?"
}

e2e_start 127 45
e2e_run "printf '\\033]2;e2e-titel\\033\\\\'; stty -g > '$E2E_DIR/stty.before'" && e2e_ended
[ "$(modes)" = "0 1 1 e2e-titel" ] || e2e_fail "the shell's terminal is '$(modes)'"
e2e_mailvak 3 Boef
e2e_do Home "the message line did not appear" e2e_has einde
# Rows: 3 the folder line, 4 the column header, 5 the message.
intact 3 || e2e_fail "the screen changed around the message line"
for glyphs in "←]2;GEKAAPT•←[2J←[H Boef" "←[31mRood←[0m •◘⌂ Θ" "Ç ←c einde"; do
  e2e_row_has 5 "$glyphs" || e2e_fail "the message line lacks '$glyphs'"
done
e2e_do "Down Down Right" "the body is not shown as glyphs" e2e_has "Tekst ←[?1049l ←]0;OOK-GEKAAPT←\\ terug"
e2e_do h "the header lines are not shown as glyphs" e2e_has "Subject: ←[31mRood"
intact 5 || e2e_fail "the screen changed around the opened message"

# The page's last row is row 45: had it scrolled, the title would have left row 1.
e2e_do F1 "the last help line is not on row 43" e2e_row_has 43 \
  "$(printf '%26s' '')ALLE AKTIES BEHALVE Alt-d LATEN DE TOESTAND OP DE SERVER ONGEWIJZIGD."
e2e_row_has 1 "mai│mail│mailv│mailva│mailvak│GEBRUIKS-AANWIJZING│mailvak│ailvak│ilvak│lvak│vak" ||
  e2e_fail "the help title is not on row 1"
e2e_do q "q on the help page did not bring the list back" intact 5
leave q
e2e_mailvak 3 Boef
leave Escape
echo PASS
