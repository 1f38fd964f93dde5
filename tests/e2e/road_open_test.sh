# Opening a message in a real terminal against a real POP3 server, with a
# recording xdg-open first on PATH: b fetches the message into ML-1-1.eml (up
# to 1000 body lines: here all 200) and hands the viewer its full path; Ctrl-b
# asks for kilobytes, and 2 fetches 27 body lines into the same file; Esc in
# that question fetches and opens nothing.
source "$(dirname "$0")/lib.sh"

e2e_dovecot_start
e2e_adduser lezer geheim
e2e_message "$E2E_DIR/m1" Lang 200
e2e_message "$E2E_DIR/m2" Kort 1
e2e_addmail lezer "$E2E_DIR/m1" "$E2E_DIR/m2"

appdata="$E2E_DIR/appdata"
work="$appdata/Mailvak"
e2e_write_ini "$work" "127.0.0.1:$E2E_PORT" lezer geheim "Lezer"
e2e_stub_viewer
log="$E2E_DIR/viewer.log"
eml="$work/ML-1-1.eml"

# head_of LINES: the message's headers, the empty line and LINES body lines.
head_of() {
  local headers
  headers=$(grep -n -m 1 $'^\r$' "$E2E_DIR/m1" | cut -d: -f1)
  head -n $((headers + $1)) "$E2E_DIR/m1"
}
viewer_calls() { [ -f "$log" ] && wc -l < "$log" || echo 0; }

e2e_start 127 59 "APPDATA=$appdata"
e2e_run "PATH='$E2E_DIR/bin':\$PATH '$MAILVAK_BINARY_DIR/mailvak'"
e2e_wait_until e2e_row_starts 3 "Lezer" || e2e_fail "the folder line did not appear"
e2e_key Home
e2e_wait_for_text "Kort" || e2e_fail "Home did not list the messages"

e2e_keys Down Down b
e2e_wait_until eval '[ "$(viewer_calls)" = 1 ]' || e2e_fail "b did not start the viewer"
[ "$(cat "$log")" = "$eml" ] || e2e_fail "the viewer got '$(cat "$log")', expected '$eml'"
cmp <(head_of 200) "$eml" || e2e_fail "ML-1-1.eml is not the whole message"
for file in "$eml" "$work/Get21.txt" "$work/Get41.txt"; do
  [ "$(stat -c %a "$file")" = 600 ] || e2e_fail "$file has mode $(stat -c %a "$file"), expected 600"
done

e2e_key C-b
e2e_wait_for_text "Hoeveel KiloBytes ophalen" || e2e_fail "Ctrl-b did not ask for kilobytes"
e2e_send -l 2
e2e_key Enter
e2e_wait_until eval '[ "$(viewer_calls)" = 2 ]' || e2e_fail "Ctrl-b did not start the viewer"
e2e_wait_for_absence "Hoeveel KiloBytes ophalen" || e2e_fail "the question box stayed"
cmp <(head_of 27) "$eml" || e2e_fail "2 KB did not fetch the headers and 27 body lines"

e2e_key C-b
e2e_wait_for_text "Hoeveel KiloBytes ophalen" || e2e_fail "the second Ctrl-b did not ask"
e2e_key Escape
e2e_wait_for_absence "Hoeveel KiloBytes ophalen" || e2e_fail "Esc did not close the question"
[ "$(viewer_calls)" = 2 ] || e2e_fail "Esc in the question still opened the message"
cmp <(head_of 27) "$eml" || e2e_fail "Esc in the question changed ML-1-1.eml"
e2e_pane_has "Kort" || e2e_fail "the list is gone after Esc"

e2e_key q
e2e_expect_status 0
echo "PASS"
