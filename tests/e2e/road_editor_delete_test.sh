# Removing accounts with Del in the settings editor, in a real terminal:
# answered "n", nothing is removed and what was typed on the page is dropped;
# answered "j", the account goes, the accounts after it move up with their
# result files and Mailvak.ini is rewritten; Del on the new, empty page asks
# nothing; removing the last account deletes Mailvak.ini, so the next start
# begins as a first run.
source "$(dirname "$0")/lib.sh"

e2e_dovecot_start
for user in anna bert carla; do e2e_adduser "$user" geheim; done
for subject in A1 B1 B2 C1 C2 C3; do e2e_message "$E2E_DIR/$subject" "$subject"; done
e2e_addmail anna "$E2E_DIR/A1"
e2e_addmail bert "$E2E_DIR/B1" "$E2E_DIR/B2"
e2e_addmail carla "$E2E_DIR/C1" "$E2E_DIR/C2" "$E2E_DIR/C3"

appdata="$E2E_DIR/appdata"
work="$appdata/Mailvak"
server="127.0.0.1:$E2E_PORT"
e2e_write_ini "$work" "$server" anna geheim Anna "$server" bert geheim Bert "$server" carla geheim Carla
users_in_ini() { tr -d '\r' < "$work/Mailvak.ini" | grep -xE 'anna|bert|carla' | tr '\n' ' '; }
editor_open() { e2e_pane_has "Instellingen invullen."; }

e2e_start 127 59 "APPDATA=$appdata"
e2e_run "'$MAILVAK_BINARY_DIR/mailvak'"
e2e_wait_until e2e_row_starts 5 "Carla" || e2e_fail "the folder lines did not appear"
e2e_check_accounts 3
carla_files=$(cat "$work/Get23.txt" "$work/Get43.txt" | md5sum)

# On Bert's page: a typed change, then Del and "n".
e2e_keys Up Up i
e2e_wait_until editor_open || e2e_fail "i did not open the editor"
e2e_key -l "X"
e2e_key Delete
e2e_wait_for_text "Dit account verwijderen!" || e2e_fail "Del did not ask"
e2e_key n
e2e_wait_until eval '! editor_open' || e2e_fail "the editor did not close after n"
[ "$(users_in_ini)" = "anna bert carla " ] || e2e_fail "n changed the accounts: '$(users_in_ini)'"
tr -d '\r' < "$work/Mailvak.ini" | grep -qxF "$server" || e2e_fail "the change typed before n was stored"
e2e_wait_until e2e_row_starts 4 "Bert" || e2e_fail "Bert's folder line is gone after n"

# Del and "j": Carla moves up to account 2 with her files and her summary.
e2e_key i
e2e_wait_until editor_open || e2e_fail "i did not open the editor again"
e2e_key Delete
e2e_wait_for_text "Dit account verwijderen!" || e2e_fail "the second Del did not ask"
e2e_key j
e2e_wait_until eval '! editor_open' || e2e_fail "the editor did not close after j"
[ "$(users_in_ini)" = "anna carla " ] || e2e_fail "Mailvak.ini holds '$(users_in_ini)' after removing bert"
e2e_wait_until e2e_row_starts 4 "Carla" || e2e_fail "Carla did not move up: '$(e2e_row 4)'"
e2e_row_has 4 "3 berichten," || e2e_fail "Carla's folder line lost her summary: '$(e2e_row 4)'"
e2e_row_is 5 "" || e2e_fail "a third folder line is left: '$(e2e_row 5)'"
[ "$(cat "$work/Get22.txt" "$work/Get42.txt" | md5sum)" = "$carla_files" ] ||
  e2e_fail "Carla's result files were not renumbered"
[ ! -e "$work/Get23.txt" ] && [ ! -e "$work/Get43.txt" ] || e2e_fail "result files of account 3 are left"

# Del on the new page below the list asks nothing and removes nothing.
e2e_key Down
e2e_wait_until e2e_cursor_on 3 || e2e_fail "the cursor is not below the list"
e2e_key i
e2e_wait_until editor_open || e2e_fail "i below the list did not open the editor"
e2e_key Delete
e2e_wait_until eval '! editor_open' || e2e_fail "Del on the new page did not close the editor"
e2e_pane_lacks "Dit account verwijderen!" || e2e_fail "Del on the new page asked"
[ "$(users_in_ini)" = "anna carla " ] || e2e_fail "Del on the new page changed '$(users_in_ini)'"

# Remove both remaining accounts: no Mailvak.ini is left.
for line in 2 1; do
  e2e_key Up
  e2e_wait_until e2e_cursor_on "$line" || e2e_fail "the cursor is not on line $line"
  e2e_key i
  e2e_wait_until editor_open || e2e_fail "i on line $line did not open the editor"
  e2e_key Delete
  e2e_wait_for_text "Dit account verwijderen!" || e2e_fail "Del on line $line did not ask"
  e2e_key j
  e2e_wait_until eval '! editor_open' || e2e_fail "the editor did not close"
done
[ ! -e "$work/Mailvak.ini" ] || e2e_fail "Mailvak.ini is left after the last removal"
e2e_row_is 3 "" || e2e_fail "a folder line is left: '$(e2e_row 3)'"
e2e_key q
e2e_expect_status 0

e2e_run "'$MAILVAK_BINARY_DIR/mailvak'"
e2e_wait_for_text "Instellingen invullen." || e2e_fail "the next start did not open the editor"
e2e_send Escape
e2e_wait_for_text "bevat geen relevante gegevens." || e2e_fail "leaving the first-run editor empty gave no message"
e2e_send x
e2e_expect_status 0
echo "PASS"
