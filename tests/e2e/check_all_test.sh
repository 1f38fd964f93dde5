# The key a over four accounts on Dovecot and one whose server never answers
# (the tool gives up after 10 s): the four summaries come while the silent one
# is busy, open folders show their fresh list or report, the result files are
# Home's; q ends the program at once, leaving no tool run behind.
source "$(dirname "$0")/lib.sh"

"$MAILVAK_BINARY_DIR/tests/fixture_pop3" --silent 0 > "$E2E_DIR/fixture.out" &
E2E_PIDS+=($!)
silent() { sed -n 's/^port \([0-9]*\)$/\1/p' "$E2E_DIR/fixture.out" 2>/dev/null; }
e2e_expect "the silent server did not start" eval '[ -n "$(silent)" ]'
e2e_accounts "stil@127.0.0.1:$(silent) Stil" "een Een Eerste:3 Tweede" "twee Twee Enige" "drie Drie" \
  "vier Vier A B C"

# summary ROW COUNT WORD BYTES: the folder line ends in the summary of that list.
summary() { [[ "$(e2e_row "$1")" == *"$(printf '%3d %s%10s bytes.' "$2" "$3" " $4")" ]]; }
size() { cat "$@" | wc -c; }
others_done() {
  summary 5 2 berichten, "$(size "$E2E_DIR/Eerste" "$E2E_DIR/Tweede")" && summary 9 1 "bericht,  " \
    "$(size "$E2E_DIR/Enige")" && summary 10 0 berichten, 0 && summary 11 3 berichten, "$(size "$E2E_DIR"/[ABC])"
}
mboxtools() { for p in $(pgrep -x mboxtool); do [ "$(readlink "/proc/$p/cwd")" = "$E2E_WORK" ] && echo "$p"; done; }

e2e_start 127 45
e2e_run "clear; MBOXTOOL_READ_TIMEOUT_MS=10000 '$MAILVAK_BINARY_DIR/mailvak'"
e2e_expect "the folder lines did not appear" e2e_row_starts 7 Vier
# Stil and Een open (no result files yet): lines 1 Stil, 2 its status, 3 Een.
e2e_keys Right Down Down Right
e2e_expect "Een did not open" e2e_row_has 6 "Geen reaktie van de server"
e2e_expect "the program did not come to rest" e2e_idle
e2e_send a
e2e_expect "the Dovecot accounts were not checked" others_done
e2e_row_starts 3 "Stil [bezig]" || e2e_fail "Dovecot waited for Stil"
e2e_row_has 6 "Afzender:" && e2e_row_has 7 Eerste && e2e_row_has 8 Tweede || e2e_fail "Een's list is not fresh"
e2e_expect "the silent account was not reported" e2e_row_has 4 "Geen/foute reaktie van de server, naam fout?"
e2e_lacks bezig || e2e_fail "a busy mark stayed"

# Home on Een writes the same result files as a did.
cp "$E2E_WORK"/Get[24]2.txt "$E2E_DIR/" && touch -d @1000000000 "$E2E_WORK/Get22.txt"
e2e_key Home
[ "$(stat -c %Y "$E2E_WORK/Get22.txt")" != 1000000000 ] && cmp "$E2E_DIR/Get22.txt" "$E2E_WORK/Get22.txt" &&
  cmp "$E2E_DIR/Get42.txt" "$E2E_WORK/Get42.txt" || e2e_fail "Home wrote other result files than a"

e2e_send a
e2e_expect "a did not start the tool runs" eval '[ -n "$(mboxtools)" ]'
e2e_send q
E2E_TIMEOUT=5 e2e_ended  # well before the silent server's 10 s
[ -z "$(mboxtools)" ] || e2e_fail "tool runs were left behind: $(mboxtools)"
echo PASS
