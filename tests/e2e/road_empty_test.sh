# Emptying a mailbox in a real terminal against a real POP3 server: Alt-d on
# the folder line answered "n" deletes nothing; answered "j" it deletes every
# message the server holds, including one that arrived after the last check,
# and the folder is checked again; emptying it once more says the server was
# already empty, and the key that closes that notice acts as a command.
source "$(dirname "$0")/lib.sh"

e2e_dovecot_start
e2e_adduser bus geheim
e2e_adduser buur geheim
for subject in Oud1 Oud2 Oud3 Nieuw Buurman; do e2e_message "$E2E_DIR/$subject" "$subject"; done
e2e_addmail bus "$E2E_DIR/Oud1" "$E2E_DIR/Oud2" "$E2E_DIR/Oud3"
e2e_addmail buur "$E2E_DIR/Buurman"

appdata="$E2E_DIR/appdata"
e2e_write_ini "$appdata/Mailvak" "127.0.0.1:$E2E_PORT" bus geheim "Brievenbus" \
  "127.0.0.1:$E2E_PORT" buur geheim "Buren"

e2e_start 127 59 "APPDATA=$appdata"
e2e_run "'$MAILVAK_BINARY_DIR/mailvak'"
e2e_wait_until e2e_row_starts 3 "Brievenbus" || e2e_fail "the folder line did not appear"
e2e_key Home
e2e_wait_for_text "Oud3" || e2e_fail "Home did not list the messages"
e2e_wait_until e2e_row_has 3 "3 berichten," || e2e_fail "no summary: '$(e2e_row 3)'"

e2e_key M-d
e2e_wait_for_text "Alle berichten van deze" || e2e_fail "Alt-d on the folder line did not ask"
e2e_key n
[ "$(e2e_server_count bus)" = 3 ] || e2e_fail "n still deleted: $(e2e_server_count bus) left"
e2e_pane_has "Oud1" || e2e_fail "the list is gone after n"

# A message arrives after the last check; emptying takes it as well.
e2e_addmail bus "$E2E_DIR/Nieuw"
e2e_key M-d
e2e_wait_for_text "Alle berichten van deze" || e2e_fail "the second Alt-d did not ask"
e2e_key j
e2e_wait_until eval '[ "$(e2e_server_count bus)" = 0 ]' || e2e_fail "$(e2e_server_count bus) messages are left"
[ "$(e2e_tool_count bus geheim)" = 0 ] || e2e_fail "the server reports $(e2e_tool_count bus geheim) messages"
[ "$(e2e_server_count buur)" = 1 ] || e2e_fail "the other mailbox lost mail"
e2e_wait_for_text "Geen berichten op de server." || e2e_fail "the emptied folder was not checked again"
e2e_wait_until e2e_row_has 3 "0 berichten," || e2e_fail "the folder line still counts mail: '$(e2e_row 3)'"
e2e_pane_lacks "Oud1" || e2e_fail "a deleted message is still listed"

e2e_key M-d
e2e_wait_for_text "Alle berichten van deze" || e2e_fail "the third Alt-d did not ask"
e2e_key j
e2e_wait_for_text "Server was al leeg." || e2e_fail "emptying an empty mailbox gave no notice"
# The key that closes the notice moves the cursor as well.
e2e_key Down
e2e_wait_until e2e_cursor_on 2 || e2e_fail "the closing key was not handled as Down"
e2e_wait_for_absence "Server was al leeg." || e2e_fail "the notice stayed"
[ "$(e2e_server_count buur)" = 1 ] || e2e_fail "the other mailbox lost mail"

e2e_key q
e2e_expect_status 0
echo "PASS"
