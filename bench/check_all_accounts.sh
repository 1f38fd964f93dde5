#!/bin/bash
# Checking 30 accounts on Dovecot behind the delay proxy (50 ms round trip),
# in a real terminal (a tmux pane of 127x45): first with the key a, then one
# by one with Home in the same run (Home, then Left and Down to the next
# folder line). The accounts lie two by two on 15 loopback addresses, as 30
# accounts on 15 providers would. Prints the wall time of both and the ratio.
# With BENCH_QUICK set, 4 accounts and no delay: it only shows the bench runs.
#
#   bench/check_all_accounts.sh [build-dir] [rtt-ms]
source "$(dirname "$0")/../tests/e2e/lib.sh"
[ $# -ge 1 ] && MAILVAK_BINARY_DIR=$(cd "$1" && pwd)
rtt=${2:-50}
accounts=30
[ -n "${BENCH_QUICK:-}" ] && accounts=4 rtt=0
E2E_TIMEOUT=60

specs=() addresses=()
for ((a = 1; a <= accounts; a++)); do specs+=("u$a Account$a Een:20 Twee:20"); done
for ((h = 1; h <= (accounts + 1) / 2; h++)); do addresses+=("127.0.0.$h"); done
e2e_accounts "${specs[@]}"
proxy=$("$MAILVAK_SOURCE_DIR/scripts/dovecot.sh" freeport)
python3 "$(dirname "$0")/delay_proxy.py" "$proxy" "$E2E_PORT" "$rtt" "$(IFS=,; echo "${addresses[*]}")" \
  > "$E2E_DIR/proxy.out" &
E2E_PIDS+=($!)
e2e_expect "the delay proxy did not start" grep -qs ready "$E2E_DIR/proxy.out"
ini=()
for ((a = 1; a <= accounts; a++)); do ini+=("127.0.0.$(((a + 1) / 2)):$proxy" "u$a" geheim "Account $a"); done
e2e_write_ini "$E2E_WORK/Mailvak.ini" "${ini[@]}"

# timed KEY: sends the key at rest and prints the seconds until the program
# rests again (no tool run left, waiting for a key), polled every 5 ms with
# builtins only (a read with a timeout on a pipe that never speaks), so that
# the polling starts no process beside the ones measured.
exec {nap}<> <(:)
timed() {
  e2e_expect "the program did not come to rest" e2e_idle
  local pid=$(e2e_pid) before start
  before=$(e2e_reads "$pid") start=$EPOCHREALTIME
  e2e_send "$1"
  until e2e_settled "$pid" "$before"; do read -rt 0.005 -u "$nap" || true; done
  echo "$EPOCHREALTIME - $start" | bc
}

e2e_start 127 45
e2e_mailvak
e2e_expect "the folder lines did not appear" e2e_row_starts $((accounts + 2)) "Account $accounts"
# The first a finds no server memory of the tool's yet; the second is every
# later one (the tool remembers for 30 days that a server takes commands sent
# ahead).
first=$(timed a)
all=$(timed a)
e2e_lacks bezig && [ "$(e2e_capture | grep -c '2 berichten,')" = "$accounts" ] ||
  e2e_fail "a did not check all $accounts"
one=0
for ((a = 1; a <= accounts; a++)); do
  one=$(echo "$one + $(timed Home)" | bc)
  e2e_row_has $((a + 2)) "2 berichten," || e2e_fail "Home did not check account $a"
  e2e_keys Left Down
done
printf 'a over %d accounts at %s ms RTT: %.2f s (the first a: %.2f s)\n' "$accounts" "$rtt" "$all" "$first"
printf '%d checks one by one with Home:   %.2f s (the Home keys alone)\n' "$accounts" "$one"
printf 'a is %.1f times as fast\n' "$(echo "$one / $all" | bc -l)"
e2e_send q
