#!/bin/bash
# Bytes Mailvak writes to a real terminal (a tmux pane of 127x59, one account):
# everything from start until the first screen stands (set-up, keyboard query
# and the first full frame), and what a drawing pass over an unchanged screen
# costs (a key the main screen does not use, which still runs a full pass).
#
#   bench/terminal_frame_bytes.sh [build-dir]
source "$(dirname "$0")/../tests/e2e/lib.sh"
[ $# -ge 1 ] && MAILVAK_BINARY_DIR=$(cd "$1" && pwd)

work="$E2E_DIR/appdata/Mailvak"
mkdir -p "$work"
printf 'pop.example.invalid\r\ngebruiker\r\n*geheim\r\nProef\r\n\r\n' > "$work/Mailvak.ini"

out="$E2E_DIR/terminal.bytes"
: > "$out"
e2e_start 127 59 "APPDATA=$E2E_DIR/appdata"
e2e_tmux pipe-pane -O -t e2e "cat >> '$out'"
e2e_run "exec '$MAILVAK_BINARY_DIR/mailvak'"
e2e_expect "the folder line did not appear" e2e_has "Proef"
e2e_expect "the key bar did not appear" e2e_has "i = instellingen"
pid=$(e2e_tmux display-message -p -t e2e '#{pane_pid}')

# The program is idle when it has read what was sent and waits in poll() again.
reads() { awk '/^syscr/ { print $2 }' "/proc/$pid/io"; }
written() { awk '/^wchar/ { print $2 }' "/proc/$pid/io"; }
waiting() { [ "$(awk '{ print $3 }' "/proc/$pid/stat")" = S ] && [ "$(cut -d' ' -f1 "/proc/$pid/syscall")" = 7 ]; }
idle_after() { [ "$(reads)" -gt "$1" ] && waiting; }

e2e_expect "the program did not settle" waiting
start_bytes=$(stat -c %s "$out")
echo "start-up until the first screen stands: $start_bytes bytes to the terminal"

for key in x y z; do
  r=$(reads)
  w=$(written)
  e2e_send "$key"
  e2e_expect "the key was not read" idle_after "$r"
  echo "drawing pass over an unchanged screen ('$key'): $(( $(written) - w )) bytes written"
done

e2e_send q
gone() { [ ! -e "/proc/$pid" ]; }
e2e_expect "q did not end the program" gone
