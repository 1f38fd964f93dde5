# First start, as installed: cmake --install puts both programs and the manual
# page in place; the installed mailvak, started elsewhere with an empty working
# directory, copies the installed tool there and opens the settings editor
# ("Instellingen invullen."). An account is typed, a typing error put right
# with Backspace, Enter on the label row stores it; "i" on the empty line below
# the list adds a second. Mailvak.ini holds both, passwords scrambled, mode
# 0600; Home checks both, and the second start shows both summaries.
source "$(dirname "$0")/lib.sh"

prefix="$E2E_DIR/prefix"
cmake --install "$MAILVAK_BINARY_DIR" --prefix "$prefix" > "$E2E_DIR/install.log" 2>&1 || e2e_fail "cmake --install failed"
[ -x "$prefix/bin/mailvak" ] && [ -x "$prefix/bin/mboxtool" ] && [ -f "$prefix/share/man/man1/mailvak.1" ] ||
  e2e_fail "the programs or the manual page are not installed"
e2e_dovecot_start anna
e2e_dovecot adduser "$E2E_DOVECOT" bert w8woord
e2e_addmail anna "$(e2e_message Vakantiefoto)" "$(e2e_message Verjaardag)"
e2e_addmail bert "$(e2e_message Nieuwsbrief)"
server="127.0.0.1:$E2E_PORT"
# fill FIELD...: types each field of an editor page and Tab after it.
fill() { for f in "$@"; do e2e_send -l "$f"; e2e_send Tab; done; }
page() { e2e_row_starts 11 "$(printf '%36s║%17s%s ' '' '' "$1")"; }

e2e_start 127 59
mkdir -p "$E2E_DIR/elsewhere"
e2e_run "cd '$E2E_DIR/elsewhere' && '$prefix/bin/mailvak'"
e2e_expect "the first start did not open the editor on page 1" page 1
fill "$server" anna $'geheimm\177'  # 127 is Backspace
e2e_expect "the password is not shown as stars" e2e_has "******"
e2e_lacks geheim || e2e_fail "the password is shown in plain text"
e2e_send -l "Anna thuis"; e2e_send Enter
e2e_expect "the first account is not listed" e2e_row_starts 3 "Anna thuis"
e2e_lacks "Instellingen invullen." || e2e_fail "Enter on the label row did not close the editor"

# Line 2 is the first empty line below the list: "i" there starts page 2.
e2e_key Down
e2e_expect "Down did not reach the line below the list" e2e_cursor_on 2
e2e_key i
e2e_expect "i did not open the editor on page 2" page 2
fill "$server" bert w8woord; e2e_send -l "Bert werk"; e2e_send Enter
e2e_expect "the second account is not listed" e2e_row_starts 4 "Bert werk"

e2e_write_ini "$E2E_DIR/expected.ini" "$server" anna '#fgkalk'$'\177''gdjfmh~H' "Anna thuis" \
  "$server" bert "#v:tkjtcxv:tkjtI" "Bert werk"
cmp "$E2E_WORK/Mailvak.ini" "$E2E_DIR/expected.ini" || e2e_fail "Mailvak.ini: $(od -c "$E2E_WORK/Mailvak.ini" | tail -12)"
[ "$(stat -c %a "$E2E_WORK/Mailvak.ini")" = 600 ] || e2e_fail "Mailvak.ini is not mode 0600"
cmp -s "$prefix/bin/mboxtool" "$E2E_WORK/mboxtool" || e2e_fail "the working directory lacks the installed tool"

e2e_key Up
e2e_expect "Up did not reach the first account" e2e_cursor_on 1
e2e_check_accounts 2
e2e_key q
e2e_expect_status 0
e2e_mailvak
e2e_expect "the second start lost the summaries" e2e_row_has 4 "1 bericht,"
e2e_row_has 3 "2 berichten," && e2e_lacks "Instellingen invullen." || e2e_fail "the second start is wrong"
e2e_key q
e2e_expect_status 0
echo PASS
