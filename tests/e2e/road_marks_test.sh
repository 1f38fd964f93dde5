# Marks and a joint delete in a real terminal against a real POP3 server:
# Enter marks a message and steps down, Space toggles a mark off and on again,
# marked lines are brown on light grey; Alt-d on an unmarked line with marks
# present deletes the marked selection. Meanwhile another client removed a
# message, so the server renumbered the rest: exactly the messages the user
# marked are deleted, under their new numbers, and nothing else.
source "$(dirname "$0")/lib.sh"

e2e_dovecot_start
e2e_adduser post geheim
files=()
for subject in Een Twee Drie Vier Vijf; do
  e2e_message "$E2E_DIR/$subject" "$subject"
  files+=("$E2E_DIR/$subject")
done
e2e_addmail post "${files[@]}"

appdata="$E2E_DIR/appdata"
e2e_write_ini "$appdata/Mailvak" "127.0.0.1:$E2E_PORT" post geheim "Post"

e2e_start 127 59 "APPDATA=$appdata"
e2e_run "'$MAILVAK_BINARY_DIR/mailvak'"
e2e_wait_until e2e_row_starts 3 "Post" || e2e_fail "the folder line did not appear"
e2e_key Home
e2e_wait_for_text "Vijf" || e2e_fail "Home did not list the messages"

# Messages 1 to 5 are list lines 3 to 7 (screen rows 5 to 9).
marked_look() { [ "$(e2e_cell_colours "$1" 3)" = "33 47" ]; }
e2e_keys Down Down Enter Enter Enter
e2e_wait_until e2e_cursor_on 6 || e2e_fail "three Enters did not step down three lines"
e2e_keys Up Space Down Down Space Space Space
e2e_wait_until e2e_cursor_on 7 || e2e_fail "the cursor is not on message 5"
for row in 5 6; do marked_look "$row" || e2e_fail "row $row is not drawn as marked"; done
for row in 7 8; do ! marked_look "$row" || e2e_fail "row $row is drawn as marked"; done

# Another client removes message 3 ("Drie"): Vier and Vijf become 3 and 4.
rm "$(grep -l '^Subject: Drie' "$E2E_DOVECOT"/mail/post/Maildir/cur/*)"

e2e_key Up
e2e_key M-d
e2e_wait_for_text "De gemarkeerde berichten" || e2e_fail "Alt-d did not ask about the marked messages"
e2e_key j
e2e_wait_until eval '[ "$(e2e_server_subjects post)" = "Vier " ]' ||
  e2e_fail "the server holds '$(e2e_server_subjects post)', expected only Vier"
[ "$(e2e_tool_count post geheim)" = 1 ] || e2e_fail "the server reports $(e2e_tool_count post geheim) messages"

# The list was checked again: one message, no marks left.
e2e_wait_until e2e_row_has 3 "1 bericht," || e2e_fail "the folder line was not checked again: '$(e2e_row 3)'"
e2e_wait_for_absence "Een" || e2e_fail "a deleted message is still listed"
e2e_pane_has "Vier" || e2e_fail "the kept message is not listed"
! marked_look 5 || e2e_fail "the kept message is drawn as marked"

e2e_key q
e2e_expect_status 0
echo "PASS"
