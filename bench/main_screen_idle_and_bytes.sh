#!/bin/bash
# Measures the main screen in a real terminal (a tmux pane of 127x59) with
# three accounts: the processor time an idle Mailvak uses over 10 seconds (1
# with BENCH_QUICK set), and the bytes it writes to the terminal for one Down key.
#
#   bench/main_screen_idle_and_bytes.sh [build-dir]
source "$(dirname "$0")/../tests/e2e/lib.sh"
[ $# -ge 1 ] && MAILVAK_BINARY_DIR=$(cd "$1" && pwd)

work="$E2E_DIR/appdata/Mailvak"
mkdir -p "$work"
{
  printf '; Mailvak.ini                                        versie 10.2t\r\n'
  for i in 2 3 4 5 6 7 8; do printf ';%64s\r\n' ''; done
  printf '\r\n[serverinfo]\r\n\r\n'
  for name in Thuis Werk Vereniging; do printf '127.0.0.1:1\r\n%s\r\ngeheim\r\n%s\r\n\r\n' "$name" "$name"; done
} > "$work/Mailvak.ini"
chmod 600 "$work/Mailvak.ini"
for a in 1 2 3; do printf '+OK %d %d\r\n.\r\n' "$a" $((a * 1000)) > "$work/Get2$a.txt"; done

e2e_start 127 59 "APPDATA=$E2E_DIR/appdata"
e2e_run "exec '$MAILVAK_BINARY_DIR/mailvak'"
e2e_expect "the folder lines did not appear" e2e_has "Vereniging"
pid=$(e2e_tmux display-message -p -t e2e '#{pane_pid}')
[ "$(readlink "/proc/$pid/exe")" = "$(readlink -f "$MAILVAK_BINARY_DIR/mailvak")" ] ||
  e2e_fail "the pane does not run mailvak"

ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
idle_seconds=10
[ -n "${BENCH_QUICK:-}" ] && idle_seconds=1  # a quick run only shows the bench works
before=$(ticks)
start=$(date +%s.%N)
sleep "$idle_seconds"
after=$(ticks)
end=$(date +%s.%N)
awk -v t=$((after - before)) -v hz="$hz" -v s="$start" -v e="$end" 'BEGIN {
  printf "idle: %.3f s of processor time in %.2f s = %.2f %% of one core\n", t / hz, e - s, 100 * t / hz / (e - s) }'

out="$E2E_DIR/frame.bytes"
: > "$out"
e2e_tmux pipe-pane -O -t e2e "cat >> '$out'"
e2e_send Down
row4_blue() { e2e_tmux capture-pane -p -e -t e2e | sed -n 4p | grep -qE $'\e\\[([0-9]+;)*44(;[0-9]+)*m'; }
e2e_expect "Down did not move the bar" row4_blue
e2e_tmux pipe-pane -t e2e
size=$(stat -c %s "$out")
echo "one Down key: $size bytes to the terminal"
od -c "$out" | head -20
e2e_send q
