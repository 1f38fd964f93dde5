# Reordering and removing accounts: Ctrl-Up and Ctrl-Down move the account
# under the cursor, its result files with it (every folder line keeps its own
# summary) and Mailvak.ini holds the new order; with a folder open they do
# nothing. Del in the settings editor asks "Dit account verwijderen!" and
# "j" removes the account: the accounts after it move up with their result
# files. The next start shows what is left; removing the last
# account deletes Mailvak.ini, and the start after that is a first start.
source "$(dirname "$0")/lib.sh"

e2e_accounts "anna Anna A1 A2" "bert Bert B1" "carla Carla C1 C2 C3"
# order LABELS...: the folder lines read these labels with their counts ("Anna:2").
order() { [ "$(e2e_capture | sed -n 's/^\([A-Z][a-z]*\) .* \([0-9]*\) berichte\{0,1\}n\{0,1\},.*/\1:\2/p')" = "$(printf '%s\n' "$@")" ]; }
# users NAMES: Mailvak.ini holds these user names, in this order.
users() { [ "$(sed -n '/^127/{n;p}' "$E2E_WORK/Mailvak.ini" | tr -d '\r' | xargs)" = "$1" ] || e2e_fail "Mailvak.ini: not $1"; }
files_of() { cat "$E2E_WORK/Get2$1.txt" "$E2E_WORK/Get4$1.txt" | md5sum; }
# remove: Del on the account's editor page, and "j".
remove() {
  e2e_do "i Delete" "Del did not ask" e2e_has "Dit account verwijderen!"
  e2e_do j "j did not close the editor" e2e_lacks "Instellingen invullen."
}

e2e_start 127 59
e2e_mailvak 5 Carla
e2e_check_accounts 3
e2e_expect "the checks do not show Anna:2 Bert:1 Carla:3" order Anna:2 Bert:1 Carla:3
carla=$(files_of 3)
e2e_do "Up Up C-Up" "Ctrl-Up did not move Bert up" order Bert:1 Anna:2 Carla:3
users "bert anna carla"
e2e_do "Down Down Right" "Right did not open Carla's folder" e2e_has C3
e2e_do "C-Up Left" "Left did not close Carla's folder" e2e_lacks C3
order Bert:1 Anna:2 Carla:3 || e2e_fail "Ctrl-Up with an open folder moved an account"
e2e_do C-Up "Ctrl-Up did not move Carla up" order Bert:1 Carla:3 Anna:2
[ "$(files_of 2)" = "$carla" ] || e2e_fail "Carla's result files did not move with her"
e2e_do C-Down "Ctrl-Down did not move Carla down" order Bert:1 Anna:2 Carla:3

# Anna is removed: Carla moves up with her result files.
e2e_key Up
remove
users "bert carla"
[ "$(files_of 2)" = "$carla" ] && [ ! -e "$E2E_WORK/Get23.txt" ] || e2e_fail "Carla's result files did not move up"
e2e_quit
e2e_mailvak
e2e_expect "the next start does not show Bert:1 Carla:3" order Bert:1 Carla:3
e2e_key Down
remove
users bert
e2e_do Up "the cursor is not on line 1" e2e_cursor_on 1
remove
[ ! -e "$E2E_WORK/Mailvak.ini" ] || e2e_fail "Mailvak.ini is left after the last removal"
e2e_quit
e2e_mailvak
e2e_expect "the next start did not open the editor" e2e_has "Instellingen invullen."
echo PASS
