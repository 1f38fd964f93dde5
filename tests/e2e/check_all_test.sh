# The key a checks every account side by side: four accounts on Dovecot and
# one on a server that accepts and never answers (the tool gives up after 4 s).
# The four summaries come while the silent one still shows " [bezig]"; the
# open folders show their fresh list and the silent one's report, closed ones
# stay closed; the result files are those that Home writes. q during a check
# of every account ends the program at once and leaves no tool run behind.
source "$(dirname "$0")/lib.sh"

e2e_dovecot_start een twee drie vier
e2e_addmail een "$(e2e_message Eerste 3)" "$(e2e_message Tweede)"
e2e_addmail twee "$(e2e_message Enige)"
e2e_addmail vier "$(e2e_message A)" "$(e2e_message B)" "$(e2e_message C)"
"$MAILVAK_BINARY_DIR/tests/fixture_pop3" --silent 0 > "$E2E_DIR/fixture.out" &
E2E_PIDS+=($!)
silent() { sed -n 's/^port \([0-9]*\)$/\1/p' "$E2E_DIR/fixture.out" 2>/dev/null; }
e2e_expect "the silent server did not start" eval '[ -n "$(silent)" ]'
d="127.0.0.1:$E2E_PORT"
e2e_write_ini "$E2E_WORK/Mailvak.ini" "$d" een geheim Een "$d" twee geheim Twee "$d" drie geheim Drie \
  "$d" vier geheim Vier "127.0.0.1:$(silent)" stil geheim Stil

# summary ROW COUNT WORD BYTES: the folder line ends in the summary of that list.
summary() { [[ "$(e2e_row "$1")" == *"$(printf '%3d %s%10s bytes.' "$2" "$3" " $4")" ]]; }
size() { cat "$@" | wc -c; }
others_done() {
  summary 3 2 berichten, "$(size "$E2E_DIR/Eerste" "$E2E_DIR/Tweede")" && summary 7 1 "bericht,  " \
    "$(size "$E2E_DIR/Enige")" && summary 8 0 berichten, 0 && summary 9 3 berichten, "$(size "$E2E_DIR"/[ABC])"
}
mboxtools() { for p in $(pgrep -x mboxtool); do [ "$(readlink "/proc/$p/cwd")" = "$E2E_WORK" ] && echo "$p"; done; }

e2e_start 127 45
e2e_run "clear; MBOXTOOL_READ_TIMEOUT_MS=4000 '$MAILVAK_BINARY_DIR/mailvak'"
e2e_expect "the folder lines did not appear" e2e_row_starts 7 Stil
# Een and Stil open (no result files yet): lines 1 Een, 2 its status, 3 Twee ... 6 Stil.
e2e_keys Right Down Down Down Down Down Right
e2e_expect "Stil did not open" e2e_row_has 9 "Geen reaktie van de server"
e2e_expect "the program did not come to rest" e2e_idle
e2e_send a
started=$SECONDS
e2e_expect "the Dovecot accounts were not checked" others_done
e2e_row_starts 10 "Stil [bezig]" || e2e_fail "the silent account no longer shows its busy mark"
[ $((SECONDS - started)) -lt 3 ] || e2e_fail "the Dovecot accounts waited for the silent one"
e2e_row_has 4 "Afzender:" && e2e_row_has 5 Eerste && e2e_row_has 6 Tweede || e2e_fail "Een's list is not fresh"
e2e_expect "the silent account was not reported" e2e_row_has 11 "Geen/foute reaktie van de server, naam fout?"
e2e_lacks bezig || e2e_fail "a busy mark stayed"
[ $((SECONDS - started)) -ge 4 ] || e2e_fail "the silent account was reported before the tool gave up"

# Home on Een writes the same result files as a did.
for a in 1 2 3 4; do cp "$E2E_WORK/Get2$a.txt" "$E2E_WORK/Get4$a.txt" "$E2E_DIR/"; done
e2e_keys Up Up Up Up Up Home
e2e_expect "Home did not check Een" e2e_idle
cmp -s "$E2E_DIR/Get21.txt" "$E2E_WORK/Get21.txt" && cmp -s "$E2E_DIR/Get41.txt" "$E2E_WORK/Get41.txt" ||
  e2e_fail "Home wrote other result files than a"
grep -q "Enige" "$E2E_DIR/Get42.txt" && [ "$(head -c 5 "$E2E_DIR/Get23.txt")" = "+OK 0" ] ||
  e2e_fail "the result files of the closed folders are wrong"

e2e_send a
e2e_expect "a did not start the tool runs" eval '[ -n "$(mboxtools)" ]'
started=$SECONDS
e2e_send q
e2e_expect_status 0
[ $((SECONDS - started)) -lt 3 ] || e2e_fail "q waited for the silent server"
[ -z "$(mboxtools)" ] || e2e_fail "tool runs were left behind: $(mboxtools)"
echo PASS
