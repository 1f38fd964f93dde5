# The three check keys against a real POP3 server, with a message of 200 body
# lines: Home fetches 40 body lines, Ctrl-Home 80 and Shift-Home 160. Each is
# seen in the header result file and on screen, where the opened message shows
# exactly that many body lines (160 are cut at the list's 127 lines per
# message). A check key on a message line asks the server nothing. A check of
# a server that does not answer says so and leaves no busy sign behind.
source "$(dirname "$0")/lib.sh"

e2e_dovecot_start
e2e_adduser lang geheim
e2e_message "$E2E_DIR/m1" Lang 200
e2e_message "$E2E_DIR/m2" Kort 1
e2e_addmail lang "$E2E_DIR/m1" "$E2E_DIR/m2"

appdata="$E2E_DIR/appdata"
work="$appdata/Mailvak"
e2e_write_ini "$work" "127.0.0.1:$E2E_PORT" lang geheim "Lange brief" "127.0.0.1:1" lang geheim "Geen server"
get4="$work/Get41.txt"

# Body lines of message 1 in the header result file, and on screen.
in_file() { tr -d '\r' < "$get4" | grep -c '^Regel [0-9]* van Lang$'; }
on_screen() { e2e_capture | grep -c 'Regel [0-9]* van Lang'; }
expect_body() {
  local fetched=$1 shown=$2 last=$3
  e2e_wait_until eval '[ "$(on_screen)" = "$shown" ]' ||
    e2e_fail "$fetched body lines fetched: $(on_screen) on screen, expected $shown"
  [ "$(in_file)" = "$fetched" ] || e2e_fail "the header file holds $(in_file) body lines, expected $fetched"
  e2e_pane_has "Regel $last van Lang" || e2e_fail "line $last is not shown"
  e2e_pane_lacks "Regel $(printf '%03d' $((10#$last + 1))) van Lang" || e2e_fail "a line after $last is shown"
}

# 127 x 95: the largest list window, 91 lines, so 80 body lines fit in it.
e2e_start 127 95 "APPDATA=$appdata"
e2e_run "'$MAILVAK_BINARY_DIR/mailvak'"
e2e_wait_until e2e_row_starts 3 "Lange brief" || e2e_fail "the folder line did not appear"

e2e_keys Down Home
e2e_wait_for_text "Geen/foute reaktie van de server, naam fout?" || e2e_fail "no status line for a server without answer"
e2e_pane_lacks "bezig" || e2e_fail "a busy sign stayed after the check had ended"
e2e_keys Left Up

e2e_key Home
e2e_wait_for_text "Kort" || e2e_fail "Home did not list the messages"
e2e_wait_until e2e_row_has 3 "2 berichten," || e2e_fail "no summary after Home: '$(e2e_row 3)'"
# Line 2 is the column header row, line 3 message 1.
e2e_keys Down Down Right
expect_body 40 40 040

# Home on a message line changes nothing: the file stays as it is.
touch -d @1000000000 "$get4"
e2e_key Home
e2e_key C-Home
[ "$(stat -c %Y "$get4")" = 1000000000 ] || e2e_fail "a check key on a message line asked the server"

e2e_keys Up Up
e2e_wait_until e2e_cursor_on 1 || e2e_fail "the cursor did not go back to the folder line"
e2e_key C-Home
expect_body 80 80 080

e2e_key S-Home
e2e_wait_until eval '[ "$(in_file)" = 160 ]' || e2e_fail "Shift-Home fetched $(in_file) body lines, expected 160"
# The opened message shows 127 list lines at most: page down to its end.
e2e_key NPage
e2e_wait_for_text "Regel 127 van Lang" || e2e_fail "the end of the long message is not shown"
e2e_pane_lacks "Regel 128 van Lang" || e2e_fail "more than 127 body lines are shown"
row=$(e2e_row_of "Regel 127 van Lang")
e2e_row_has $((row + 1)) "Kort" || e2e_fail "message 2 does not follow the last body line: '$(e2e_row $((row + 1)))'"

e2e_key q
e2e_expect_status 0
echo "PASS"
