# Shared helpers for the end-to-end tests: build/mailvak runs in a tmux pane
# of a chosen size, driven with send-keys and read back with capture-pane.
#
# Use:
#   source "$(dirname "$0")/lib.sh"
#   e2e_start 127 59 APPDATA="$E2E_DIR/appdata"   # a bash shell in a 127x59 pane
#   e2e_run "$MAILVAK_BINARY_DIR/mailvak"          # typed into that shell
#   e2e_wait_for_text "Mailvak"                     # poll the pane until it shows
#   e2e_expect_row 1 " * * *  Mailvak"              # row 1 starts with this text
#   e2e_send q                                      # tmux send-keys arguments
#   e2e_expect_status 0                             # waits for the command's exit
#
# Every test gets its own tmux server (socket), its own temporary directory
# $E2E_DIR (removed at exit) and a clean shell whose prompt is "e2e> ". Waiting is
# always for a condition, polled; E2E_TIMEOUT (seconds, default 20) only
# bounds a wait that would otherwise hang. On a failure the pane is printed.

set -u

MAILVAK_BINARY_DIR=${MAILVAK_BINARY_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../../build" && pwd)}
MAILVAK_SOURCE_DIR=${MAILVAK_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
E2E_TIMEOUT=${E2E_TIMEOUT:-20}
E2E_DIR=$(mktemp -d "${TMPDIR:-/tmp}/mailvak-e2e.XXXXXX")
E2E_SOCKET="mailvak-e2e-$$"
E2E_RUNS=0
unset TMUX
export TERM=${TERM:-xterm-256color}
[ "$TERM" = dumb ] && export TERM=xterm-256color

e2e_tmux() { tmux -L "$E2E_SOCKET" -f /dev/null "$@"; }

e2e_cleanup() {
  e2e_tmux kill-server >/dev/null 2>&1 || true
  rm -rf "$E2E_DIR"
}
trap e2e_cleanup EXIT

# e2e_fail MESSAGE: prints the message and the pane, ends the test with status 1.
e2e_fail() {
  echo "FAIL: $*" >&2
  echo "---- pane ----" >&2
  e2e_tmux capture-pane -p >&2 2>/dev/null || true
  echo "--------------" >&2
  exit 1
}

# e2e_start COLUMNS ROWS [NAME=VALUE ...]: a new session running a clean bash
# in a pane of that size, with the given variables in its environment.
e2e_start() {
  local columns=$1 rows=$2
  shift 2
  command -v tmux >/dev/null || { echo "SKIP: tmux is not installed" >&2; exit 77; }
  local -a environment=(-e "HOME=$E2E_DIR" -e "TERM=$TERM")
  local pair
  for pair in "$@"; do environment+=(-e "$pair"); done
  e2e_tmux new-session -d -s e2e -x "$columns" -y "$rows" "${environment[@]}" \
    "HISTFILE=/dev/null PS1='e2e> ' exec bash --norc --noprofile -i" || e2e_fail "tmux did not start"
  e2e_tmux set-option -g status off >/dev/null
  e2e_tmux resize-window -t e2e -x "$columns" -y "$rows" >/dev/null 2>&1 || true
  e2e_wait_for_text 'e2e>' || e2e_fail "the shell did not come up"
}

# e2e_capture: the whole pane as text, one line per row.
e2e_capture() { e2e_tmux capture-pane -p -t e2e 2>/dev/null; }

# e2e_row N: the text of row N (1-based), trailing blanks removed by tmux.
e2e_row() { e2e_capture | sed -n "${1}p"; }

# e2e_wait_until COMMAND...: polls until COMMAND succeeds; fails after E2E_TIMEOUT.
e2e_wait_until() {
  local deadline=$((SECONDS + E2E_TIMEOUT))
  until "$@"; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.05
  done
}

e2e_pane_has() { e2e_capture | grep -qF -- "$1"; }
e2e_pane_lacks() { ! e2e_capture | grep -qF -- "$1"; }

# e2e_wait_for_text TEXT: waits until the pane shows TEXT somewhere.
e2e_wait_for_text() { e2e_wait_until e2e_pane_has "$1"; }
# e2e_wait_for_absence TEXT: waits until the pane no longer shows TEXT.
e2e_wait_for_absence() { e2e_wait_until e2e_pane_lacks "$1"; }

e2e_row_is() { [ "$(e2e_row "$1")" = "$2" ]; }
# e2e_wait_for_row N TEXT: waits until row N is exactly TEXT (trailing blanks dropped).
e2e_wait_for_row() { e2e_wait_until e2e_row_is "$1" "${2%"${2##*[! ]}"}"; }

# e2e_expect_row N TEXT: row N must be exactly TEXT (trailing blanks dropped).
e2e_expect_row() {
  local want="${2%"${2##*[! ]}"}"
  e2e_wait_for_row "$1" "$want" || e2e_fail "row $1 is '$(e2e_row "$1")', expected '$want'"
}

# e2e_send ARGS...: tmux send-keys to the pane (key names like Down, C-b, M-d,
# Escape, or -l TEXT for literal text, or -H hex bytes).
e2e_send() { e2e_tmux send-keys -t e2e "$@"; }

# e2e_run COMMAND: types COMMAND into the pane's shell. Its exit status goes
# to a file that e2e_wait_exit reads.
e2e_run() {
  E2E_RUNS=$((E2E_RUNS + 1))
  rm -f "$E2E_DIR/status.$E2E_RUNS"
  e2e_send -l "$1; echo \$? > '$E2E_DIR/status.$E2E_RUNS'"
  e2e_send Enter
}

e2e_status_written() { [ -s "$E2E_DIR/status.$E2E_RUNS" ]; }

# e2e_wait_exit: waits until the last e2e_run command has ended; prints its status.
e2e_wait_exit() {
  e2e_wait_until e2e_status_written || e2e_fail "the command did not end"
  cat "$E2E_DIR/status.$E2E_RUNS"
}

# e2e_expect_status N: the last e2e_run command ends with exit status N.
e2e_expect_status() {
  local status
  status=$(e2e_wait_exit)
  [ "$status" = "$1" ] || e2e_fail "exit status $status, expected $1"
}
