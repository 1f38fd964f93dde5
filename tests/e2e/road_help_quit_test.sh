# Help and leaving the program in the smallest terminal it accepts (127 x 45):
# F1 fills the screen from row 1 to row 45 without scrolling; q inside the
# help page only closes the page; q on the main screen ends the program with
# status 0 and gives the terminal back as it was (main screen, cursor shown,
# auto-wrap on, the shell's line settings unchanged). Esc ends it likewise.
source "$(dirname "$0")/lib.sh"

appdata="$E2E_DIR/appdata"
e2e_write_ini "$appdata/Mailvak" "127.0.0.1:1" jan geheim "Thuis"
printf '+OK 2 320\r\n+OK 2 messages\r\n1 120\r\n2 200\r\n.\r\n' > "$appdata/Mailvak/Get21.txt"

modes() { e2e_tmux display-message -p -t e2e '#{alternate_on} #{cursor_flag} #{wrap_flag}'; }

e2e_start 127 45 "APPDATA=$appdata"
e2e_run "stty -g > '$E2E_DIR/stty.before'"
e2e_expect_status 0
before=$(modes)

title="mai│mail│mailv│mailva│mailvak│GEBRUIKS-AANWIJZING│mailvak│ailvak│ilvak│lvak│vak"
for leave in q Escape; do
  e2e_send -l "clear"
  e2e_send Enter
  e2e_run "'$MAILVAK_BINARY_DIR/mailvak'"
  e2e_wait_until e2e_row_has 3 "2 berichten," || e2e_fail "the folder line did not appear"
  [ "$(modes)" = "1 0 0" ] || e2e_fail "while running: alternate, cursor, wrap = $(modes)"

  e2e_key F1
  # The page's last row is row 45: had it scrolled, the title would have left row 1.
  e2e_wait_until e2e_row_has 43 "$(printf '%24s' '')  ALLE AKTIES BEHALVE Alt-d LATEN DE TOESTAND OP DE SERVER ONGEWIJZIGD." ||
    e2e_fail "the last help line is not on row 43: '$(e2e_row 43)'"
  e2e_row_has 1 "$title" || e2e_fail "the help title is not on row 1: '$(e2e_row 1)'"
  e2e_key q
  e2e_wait_until e2e_row_has 3 "2 berichten," || e2e_fail "q on the help page did not bring the list back"
  e2e_pane_lacks "GEBRUIKS-AANWIJZING" || e2e_fail "the help page stayed"
  [ -n "$(e2e_mailvak_pid)" ] || e2e_fail "q on the help page ended the program"

  e2e_key Down
  e2e_wait_until e2e_cursor_on 2 || e2e_fail "the program does not take keys after the help page"
  e2e_send "$leave"
  e2e_expect_status 0
  e2e_wait_for_absence "2 berichten," || e2e_fail "$leave left the program's screen behind"
  [ "$(modes)" = "$before" ] || e2e_fail "after $leave: alternate, cursor, wrap = $(modes), before $before"
  e2e_run "stty -g > '$E2E_DIR/stty.after'"
  e2e_expect_status 0
  cmp -s "$E2E_DIR/stty.before" "$E2E_DIR/stty.after" || e2e_fail "$leave did not restore the line settings"
done
echo "PASS"
