# A new user's first start against a real POP3 server: the settings editor
# opens by itself, the first account is typed there; a second one is added
# with "i" on the empty line below the list; the editor pages between the two;
# both accounts are checked with Home using the passwords as typed (stored
# scrambled, never in plain text); a second start shows both summaries from
# the result files of the first run, before any new check.
source "$(dirname "$0")/lib.sh"

e2e_dovecot_start
e2e_adduser anna "zon en zee"
e2e_adduser bert "w8woord!"
e2e_message "$E2E_DIR/a1" Vakantiefoto
e2e_message "$E2E_DIR/a2" Verjaardag
e2e_message "$E2E_DIR/b1" Nieuwsbrief
e2e_addmail anna "$E2E_DIR/a1" "$E2E_DIR/a2"
e2e_addmail bert "$E2E_DIR/b1"

appdata="$E2E_DIR/appdata"
mkdir -p "$appdata"
ini="$appdata/Mailvak/Mailvak.ini"
server="127.0.0.1:$E2E_PORT"

e2e_start 127 59 "APPDATA=$appdata"
e2e_run "'$MAILVAK_BINARY_DIR/mailvak'"
e2e_wait_for_text "Instellingen invullen." || e2e_fail "the first start did not open the settings editor"
e2e_row_starts 11 "$(printf '%36s║%17s1 ' '' '')" || e2e_fail "the editor does not show page 1: '$(e2e_row 11)'"
e2e_send -l "$server"
e2e_send Tab
e2e_send -l "anna"
e2e_send Tab
e2e_send -l "zon en zee"
e2e_send Tab
e2e_send -l "Anna thuis"
e2e_send Enter
e2e_wait_for_absence "Instellingen invullen." || e2e_fail "Enter on the label row did not close the editor"
e2e_wait_until e2e_row_starts 3 "Anna thuis" || e2e_fail "the first account is not listed"

# Line 2 is the first empty line below the list: "i" there starts page 2.
e2e_key Down
e2e_wait_until e2e_cursor_on 2 || e2e_fail "Down did not reach the line below the list"
e2e_key i
e2e_wait_for_text "Instellingen invullen." || e2e_fail "i did not open the editor"
e2e_wait_until e2e_row_starts 11 "$(printf '%36s║%17s2 ' '' '')" || e2e_fail "the editor does not show page 2: '$(e2e_row 11)'"
e2e_send -l "$server"
e2e_send Tab
e2e_send -l "bert"
e2e_send Tab
e2e_send -l "w8woord!"
e2e_send Tab
e2e_send -l "Bert werk"
e2e_send Enter
e2e_wait_for_absence "Instellingen invullen." || e2e_fail "the editor did not close after the second account"
e2e_wait_until e2e_row_starts 4 "Bert werk" || e2e_fail "the second account is not listed"
e2e_row_starts 3 "Anna thuis" || e2e_fail "the first account moved: '$(e2e_row 3)'"

# Paging in the editor shows each account's fields; Esc leaves it unchanged.
e2e_key Up
e2e_wait_until e2e_cursor_on 1 || e2e_fail "Up did not reach the first account"
e2e_key i
e2e_wait_for_text "Instellingen invullen." || e2e_fail "i on the first account did not open the editor"
e2e_pane_has "Anna thuis" || e2e_fail "page 1 does not show the first account"
e2e_send PPage
e2e_send NPage
e2e_wait_until e2e_row_has 13 "bert" || e2e_fail "Page Down did not show the second account"
e2e_pane_lacks "w8woord" || e2e_fail "a password is shown in plain text"
e2e_wait_until e2e_row_has 14 "********" || e2e_fail "the password row does not show stars"
e2e_send PPage
e2e_wait_until e2e_row_has 13 "anna" || e2e_fail "Page Up did not go back to the first account"
e2e_send Escape
e2e_wait_for_absence "Instellingen invullen." || e2e_fail "Esc did not close the editor"

[ "$(stat -c %a "$ini")" = 600 ] || e2e_fail "Mailvak.ini has mode $(stat -c %a "$ini")"
records=$(tr -d '\r' < "$ini" | sed -n '/^\[serverinfo\]$/,$p' | grep -cxF "$server")
[ "$records" = 2 ] || e2e_fail "Mailvak.ini holds $records accounts, expected 2"
! grep -qF -e "zon en zee" -e "w8woord" "$ini" || e2e_fail "Mailvak.ini holds a password in plain text"

# Both accounts work with the passwords as typed.
e2e_key Home
e2e_wait_for_text "Verjaardag" || e2e_fail "Home did not list the first account's messages"
e2e_pane_has "Vakantiefoto" || e2e_fail "the first account's list is incomplete"
e2e_wait_until e2e_row_has 3 "2 berichten," || e2e_fail "the first folder line has no summary: '$(e2e_row 3)'"
e2e_key Left
e2e_wait_for_absence "Verjaardag" || e2e_fail "Left did not close the first folder"
e2e_key Down
e2e_key Home
e2e_wait_for_text "Nieuwsbrief" || e2e_fail "Home did not list the second account's messages"
e2e_wait_until e2e_row_has 4 "1 bericht," || e2e_fail "the second folder line has no summary: '$(e2e_row 4)'"
e2e_key q
e2e_expect_status 0

# The next start summarises both accounts from the files of this run.
e2e_send -l "clear"
e2e_send Enter
e2e_run "'$MAILVAK_BINARY_DIR/mailvak'"
e2e_wait_until e2e_row_has 4 "1 bericht," || e2e_fail "the second start lost the second summary: '$(e2e_row 4)'"
e2e_row_has 3 "2 berichten," || e2e_fail "the second start lost the first summary: '$(e2e_row 3)'"
e2e_pane_lacks "Instellingen invullen." || e2e_fail "the second start opened the editor"
e2e_key q
e2e_expect_status 0
echo "PASS"
