# Reordering accounts in a real terminal: Ctrl-Up moves the account under the
# cursor up; its result files move with it, so every folder line keeps its own
# summary. Reordering is refused while a folder is open or a folder line keeps
# a toggled bit (h), and allowed again once that is undone; Mailvak.ini holds
# the new order, and the next start shows it with the same summaries.
source "$(dirname "$0")/lib.sh"

e2e_dovecot_start
for user in anna bert carla; do e2e_adduser "$user" geheim; done
for subject in A1 A2 B1 C1 C2 C3; do e2e_message "$E2E_DIR/$subject" "$subject"; done
e2e_addmail anna "$E2E_DIR/A1" "$E2E_DIR/A2"
e2e_addmail bert "$E2E_DIR/B1"
e2e_addmail carla "$E2E_DIR/C1" "$E2E_DIR/C2" "$E2E_DIR/C3"

appdata="$E2E_DIR/appdata"
work="$appdata/Mailvak"
server="127.0.0.1:$E2E_PORT"
e2e_write_ini "$work" "$server" anna geheim Anna "$server" bert geheim Bert "$server" carla geheim Carla

# order: the labels on rows 3 to 5 with their counts, e.g. "Anna:2 Bert:1 Carla:3".
order() {
  local r line
  for r in 3 4 5; do
    line=$(e2e_row "$r")
    printf '%s:%s ' "${line%% *}" "$(sed -E 's/.* ([0-9]+) berichte?n?,.*/\1/' <<< "$line")"
  done
}
order_is() { [ "$(order)" = "$1 " ]; }
expect_order() {
  e2e_wait_until order_is "$1" || e2e_fail "$2: the folder lines read '$(order)', expected '$1 '"
}
users_in_ini() { tr -d '\r' < "$work/Mailvak.ini" | grep -xE 'anna|bert|carla' | tr '\n' ' '; }

e2e_start 127 59 "APPDATA=$appdata"
e2e_run "'$MAILVAK_BINARY_DIR/mailvak'"
e2e_wait_until e2e_row_starts 5 "Carla" || e2e_fail "the folder lines did not appear"

e2e_check_accounts 3
expect_order "Anna:2 Bert:1 Carla:3" "after the checks"
carla_files=$(cat "$work/Get23.txt" "$work/Get43.txt" | md5sum)

e2e_keys Up Up
e2e_wait_until e2e_cursor_on 2 || e2e_fail "the cursor is not on Bert"
e2e_key C-Up
expect_order "Bert:1 Anna:2 Carla:3" "after Ctrl-Up"
e2e_wait_until e2e_cursor_on 1 || e2e_fail "the cursor did not follow the moved account"
[ "$(users_in_ini)" = "bert anna carla " ] || e2e_fail "Mailvak.ini holds '$(users_in_ini)'"

# An open folder refuses reordering.
e2e_keys Down Down Right
e2e_wait_for_text "C3" || e2e_fail "Right did not open Carla's folder"
e2e_key C-Up
e2e_key Left
e2e_wait_for_absence "C3" || e2e_fail "Left did not close Carla's folder"
expect_order "Bert:1 Anna:2 Carla:3" "Ctrl-Up with an open folder"

# So does a folder line with the header bit toggled on, until it is toggled off.
e2e_key h
e2e_key C-Up
expect_order "Bert:1 Anna:2 Carla:3" "Ctrl-Up with a toggled bit"
e2e_key h
e2e_key C-Up
expect_order "Bert:1 Carla:3 Anna:2" "Ctrl-Up after the bit was toggled off"
[ "$(cat "$work/Get22.txt" "$work/Get42.txt" | md5sum)" = "$carla_files" ] ||
  e2e_fail "Carla's result files did not move with her"
e2e_key C-Down
expect_order "Bert:1 Anna:2 Carla:3" "after Ctrl-Down"
e2e_key C-Down
expect_order "Bert:1 Anna:2 Carla:3" "Ctrl-Down on the last account"
[ "$(users_in_ini)" = "bert anna carla " ] || e2e_fail "Mailvak.ini holds '$(users_in_ini)'"

e2e_key q
e2e_expect_status 0
e2e_send -l "clear"
e2e_send Enter
e2e_run "'$MAILVAK_BINARY_DIR/mailvak'"
expect_order "Bert:1 Anna:2 Carla:3" "at the next start"
e2e_key q
e2e_expect_status 0
echo "PASS"
