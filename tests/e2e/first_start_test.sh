# First start, as installed: cmake --install puts both programs and the manual
# page in place; the installed mailvak, started elsewhere with no working
# directory yet, copies the installed tool there and opens the settings editor
# ("Instellingen invullen."). An account is typed, a typing error put right
# with Backspace, Enter on the label row stores it; "i" on the empty line below
# the list adds a second. Mailvak.ini holds both, passwords scrambled, mode
# 0600; Home checks both, and the second start shows both summaries.
source "$(dirname "$0")/lib.sh"

prefix="$E2E_DIR/prefix"
cmake --install "$MAILVAK_BINARY_DIR" --prefix "$prefix" > "$E2E_DIR/install.log" 2>&1 || e2e_fail "cmake --install failed"
[ -x "$prefix/bin/mailvak" ] && [ -x "$prefix/bin/mboxtool" ] && [ -f "$prefix/share/man/man1/mailvak.1" ] ||
  e2e_fail "the programs or the manual page are not installed"
e2e_accounts "anna Anna Vakantiefoto Verjaardag" "bert/w8woord Bert Nieuwsbrief" && rm -r "$E2E_DIR/appdata"
server="127.0.0.1:$E2E_PORT"
# page N LABEL: fills page N of the editor (server, user, a mistyped password
# put right with Backspace, LABEL, Enter) and waits for LABEL on list line N.
page() {
  e2e_expect "the editor is not on page $1" e2e_row_starts 11 "$(printf '%36s║%17s%s ' '' '' "$1")"
  local field; for field in "$server" "$2" "$3"$'x\177'; do e2e_send -l "$field"; e2e_send Tab; done  # 127 is Backspace
  e2e_expect "the password is not shown as stars" e2e_has "******"
  e2e_lacks "$3" || e2e_fail "the password is shown in plain text"
  e2e_send -l "$4"; e2e_send Enter
  e2e_expect "account $1 is not listed" e2e_row_starts $(($1 + 2)) "$4"
  e2e_lacks "Instellingen invullen." || e2e_fail "Enter on the label row did not close the editor"
}

e2e_start 127 59
mkdir -p "$E2E_DIR/elsewhere"
e2e_run "cd '$E2E_DIR/elsewhere' && '$prefix/bin/mailvak'"
page 1 anna geheim "Anna thuis"
# Line 2 is the first empty line below the list: "i" there starts page 2.
e2e_keys Down i
page 2 bert w8woord "Bert werk"
e2e_write_ini "$E2E_DIR/expected.ini" "$server" anna '#fgkalk'$'\177''gdjfmh~H' "Anna thuis" \
  "$server" bert "#v:tkjtcxv:tkjtI" "Bert werk"
cmp <(sed '1,/^\[serverinfo\]/d' "$E2E_WORK/Mailvak.ini") <(sed '1,/^\[serverinfo\]/d' "$E2E_DIR/expected.ini") ||
  e2e_fail "Mailvak.ini: $(od -c "$E2E_WORK/Mailvak.ini" | tail -12)"
[ "$(stat -c %a "$E2E_WORK/Mailvak.ini")" = 600 ] || e2e_fail "Mailvak.ini is not mode 0600"
cmp -s "$prefix/bin/mboxtool" "$E2E_WORK/mboxtool" || e2e_fail "the working directory lacks the installed tool"

e2e_key Up
e2e_check_accounts 2
e2e_quit
e2e_mailvak 4 "1 bericht,"
e2e_row_has 3 "2 berichten," && e2e_lacks "Instellingen invullen." || e2e_fail "the second start is wrong"
e2e_quit
echo PASS
