#!/usr/bin/env bash
# Crash safety: the account-editing operations (settings editor closes,
# removals, moves) are killed with SIGKILL at random moments, again and again
# in one working directory; every next start must show the accounts of the
# last completed operation (or of the one that was cut short, done whole).
#
#   MAILVAK_CRASH_RUNS   number of kills (default 200)
#   MAILVAK_CRASH_MAX_US longest time to the kill after a start (default 40000)
set -u
binary_dir=${MAILVAK_BINARY_DIR:-$(cd "$(dirname "$0")/../../build" && pwd)}
driver="$binary_dir/tests/crash_driver"
[ -x "$driver" ] || { echo "SKIP: crash_driver is not built" >&2; exit 77; }
runs=${MAILVAK_CRASH_RUNS:-200}
max_us=${MAILVAK_CRASH_MAX_US:-40000}

work=$(mktemp -d "${TMPDIR:-/tmp}/mailvak-crash.XXXXXX")
trap 'rm -rf "$work"' EXIT
chmod 700 "$work"

killed=0 starts=0 accounts=0
for ((i = 1; i <= runs; i++)); do
  delay=$(( (RANDOM * 32768 + RANDOM) % max_us + 1 ))
  out=$("$driver" "$work" "$delay" 2>&1)
  status=$?
  if [ $status -eq 137 ]; then
    killed=$((killed + 1))
  elif [ $status -ne 0 ]; then
    echo "FAIL: run $i (kill after ${delay} us) ended with status $status" >&2
    echo "$out" >&2
    exit 1
  fi
  if [[ $out =~ start\ ok\ ([0-9]+) ]]; then
    starts=$((starts + 1))
    accounts=$((accounts + BASH_REMATCH[1]))
  fi
done
# A last start without a kill checks what the last run left.
out=$("$driver" "$work" 0 0 2>&1) || { echo "FAIL: last start: $out" >&2; exit 1; }
[[ $out =~ start\ ok\ ([0-9]+) ]] && starts=$((starts + 1)) && accounts=$((accounts + BASH_REMATCH[1]))
ops=$(grep -c '^done ' "$work/crash-driver.log")
echo "crash safety: $runs runs, $killed killed mid-way, $starts starts checked," \
     "$accounts accounts checked, $ops operations completed"
[ "$killed" -gt 0 ] || { echo "FAIL: no run was killed" >&2; exit 1; }
