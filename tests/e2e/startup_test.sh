# Start-up in a real terminal: in a 127x59 tmux pane Mailvak shows its title
# line on row 1 and its key bar on row 59, "q" ends it with status 0 and the
# shell's screen comes back.
source "$(dirname "$0")/lib.sh"

appdata="$E2E_DIR/appdata"
mkdir -p "$appdata/Mailvak"
# One account already set up, so the first-run settings editor stays closed.
{
  printf '; Mailvak.ini%40sversie 10.2t\r\n' ''
  for i in 2 3 4 5 6 7 8; do printf '; %63s\r\n' "regel $i"; done
  printf '\r\n[serverinfo]\r\n\r\n127.0.0.1:1\r\njan\r\n\r\nTest\r\n\r\n'
} > "$appdata/Mailvak/Mailvak.ini"

e2e_start 127 59 "APPDATA=$appdata"
e2e_send -l "echo shell-before-mailvak"
e2e_send Enter
e2e_wait_for_text "shell-before-mailvak" || e2e_fail "the shell did not run the first command"

e2e_run "'$MAILVAK_BINARY_DIR/mailvak'"
e2e_wait_for_text "Mailvak-ontwikkelaars" || e2e_fail "the title line did not appear"
e2e_expect_row 1 " * * *  Mailvak  v10.2t    POP3-emailchecker    80 accounts    800 emails per account    (c) 2026 Mailvak-ontwikkelaars  * * *"
e2e_expect_row 59 " Home = check email │ F1 = Help │ (Shft/Ctrl-)Pijltoetsen │ h = Headers │ b = Open bericht │ Alt-d = Delete │ i = instellingen"
e2e_pane_lacks "shell-before-mailvak" || e2e_fail "the program is not on the alternate screen"

e2e_send q
e2e_expect_status 0
e2e_wait_for_text "shell-before-mailvak" || e2e_fail "the shell's screen did not come back"
e2e_pane_lacks "Mailvak-ontwikkelaars" || e2e_fail "the program's screen is still shown"
echo "PASS"
