# Shared helpers for the end-to-end tests: mailvak runs in a tmux pane of a chosen
# size, driven with send-keys and read with capture-pane, against a Dovecot on
# 127.0.0.1. Every test has its own tmux server, a temporary directory $E2E_DIR
# (removed at exit) holding the working directory $E2E_WORK, and a clean shell.
# Waits poll for a condition; E2E_TIMEOUT (seconds) only bounds one that hangs.
set -u
MAILVAK_BINARY_DIR=${MAILVAK_BINARY_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../../build" && pwd)}
MAILVAK_SOURCE_DIR=${MAILVAK_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
E2E_TIMEOUT=${E2E_TIMEOUT:-20}
E2E_DIR=$(mktemp -d "${TMPDIR:-/tmp}/mailvak-e2e.XXXXXX")
E2E_WORK="$E2E_DIR/appdata/Mailvak"
E2E_RUNS=0 E2E_DOVECOT= E2E_PIDS=()
unset TMUX
[ "${TERM:-dumb}" = dumb ] && export TERM=xterm-256color

# The test's own tmux server, its socket inside $E2E_DIR, so nothing of it outlives the test.
e2e_tmux() { tmux -S "$E2E_DIR/tmux" -f /dev/null "$@"; }
e2e_cleanup() {
  e2e_tmux kill-server >/dev/null 2>&1
  [ ${#E2E_PIDS[@]} = 0 ] || kill "${E2E_PIDS[@]}" 2>/dev/null
  [ -n "$E2E_DOVECOT" ] && "$MAILVAK_SOURCE_DIR/scripts/dovecot.sh" stop "$E2E_DOVECOT" >/dev/null 2>&1
  rm -rf "$E2E_DIR" "$E2E_DOVECOT"
}
trap e2e_cleanup EXIT

# e2e_fail MESSAGE: prints the message and the pane, ends the test with status 1.
e2e_fail() { printf 'FAIL: %s\n---- pane ----\n%s\n--------------\n' "$*" "$(e2e_capture)" >&2; exit 1; }

# e2e_start COLUMNS ROWS: a clean bash in a pane of that size, with a
# recording xdg-open (it appends its argument to $E2E_DIR/viewer.log).
e2e_start() {
  command -v tmux >/dev/null || { echo "SKIP: tmux is not installed" >&2; exit 77; }
  mkdir -p "$E2E_DIR/bin" && printf '#!/bin/sh\necho "$1" >> "%s/viewer.log"\n' "$E2E_DIR" > "$E2E_DIR/bin/xdg-open" && chmod +x "$E2E_DIR/bin/xdg-open"
  e2e_tmux new-session -d -s e2e -x "$1" -y "$2" -e "HOME=$E2E_DIR" -e "TERM=$TERM" \
    -e "APPDATA=$E2E_DIR/appdata" "HISTFILE=/dev/null PS1='e2e> ' exec bash --norc --noprofile -i" ||
    e2e_fail "tmux did not start"
  e2e_tmux set-option -g status off >/dev/null
  e2e_expect "the shell did not come up" e2e_has 'e2e>'
}

e2e_capture() { e2e_tmux capture-pane -p -t e2e 2>/dev/null; }
e2e_row() { e2e_capture | sed -n "${1}p"; }
e2e_has() { e2e_capture | grep -qF -- "$1"; }
e2e_lacks() { ! e2e_has "$1"; }
e2e_row_starts() { [[ "$(e2e_row "$1")" == "$2"* ]]; }
e2e_row_has() { [[ "$(e2e_row "$1")" == *"$2"* ]]; }
e2e_send() { e2e_tmux send-keys -t e2e "$@"; }

# e2e_expect MESSAGE COMMAND...: polls until COMMAND succeeds; after E2E_TIMEOUT fails with MESSAGE.
e2e_expect() {
  local message=$1 deadline=$((SECONDS + E2E_TIMEOUT)); shift
  until "$@"; do [ "$SECONDS" -lt "$deadline" ] && sleep 0.05 || e2e_fail "$message"; done
}

# e2e_run COMMAND: types COMMAND into the shell; e2e_ended waits until it has ended with status 0.
e2e_run() { E2E_RUNS=$((E2E_RUNS + 1)); e2e_send -l "$1; echo \$? > '$E2E_DIR/status.$E2E_RUNS'"; e2e_send Enter; }
e2e_ended() {
  local status=$E2E_DIR/status.$E2E_RUNS; e2e_expect "the command did not end" test -s "$status"
  grep -qx 0 "$status" || e2e_fail "exit status $(cat "$status"), expected 0"
}
# e2e_mailvak [ROW TEXT]: clears the shell's screen, starts the program and
# waits until screen row ROW holds TEXT; e2e_quit [KEY]: KEY (q) ends it with status 0.
e2e_mailvak() {
  e2e_run "clear; PATH='$E2E_DIR/bin':\$PATH '$MAILVAK_BINARY_DIR/mailvak'"
  [ $# = 0 ] || e2e_expect "row $1 does not show $2" e2e_row_has "$@"
}
e2e_quit() { e2e_key "${1:-q}"; e2e_ended; }

# The program drops keys that arrive while it draws message lines, so every
# key waits until it sleeps in poll() for a key with no tool running.
e2e_pid() { pgrep -P "$(e2e_tmux display-message -p -t e2e '#{pane_pid}')" -x mailvak | head -n 1; }
# e2e_at_rest PID: PID has no child left and sleeps in poll or ppoll. It reads
# /proc with builtins only, so polling it takes no CPU from the program.
e2e_at_rest() {
  local task children= line= call=
  for task in "/proc/$1"/task/*; do
    read -r children < "$task/children" 2>/dev/null
    [ -z "$children" ] || return 1
  done
  while read -r line; do [[ $line == State:* ]] && break; done < "/proc/$1/status" 2>/dev/null
  read -r call _ < "/proc/$1/syscall" 2>/dev/null
  [[ $line == State:*S* && $call =~ ^(7|271)$ ]]  # poll, ppoll
}
e2e_idle() { local pid; pid=$(e2e_pid) && [ -n "$pid" ] && e2e_at_rest "$pid"; }
# e2e_reads PID: the read calls PID has made so far.
e2e_reads() {
  local key value
  while read -r key value; do [ "$key" = syscr: ] && echo "$value"; done < "/proc/$1/io" 2>/dev/null
}
e2e_settled() {
  [ -d "/proc/$1" ] || return 0
  local key value reads=
  while read -r key value; do [ "$key" = syscr: ] && reads=$value; done < "/proc/$1/io" 2>/dev/null
  [ "$reads" != "$2" ] && e2e_at_rest "$1"
}
# e2e_key ARGS...: at rest, sends the keys (send-keys arguments) and waits
# until the program has read them and rests again, or has ended.
e2e_key() {
  e2e_expect "the program did not come to rest before $*" e2e_idle
  local pid=$(e2e_pid); local before=$(e2e_reads "$pid")
  e2e_send "$@"
  e2e_expect "the program did not settle after $*" e2e_settled "$pid" "$before"
}
e2e_keys() { local k; for k in "$@"; do e2e_key "$k"; done; }
# e2e_do "KEY..." MESSAGE COMMAND...: the keys one by one, then a poll for COMMAND.
e2e_do() { local keys=$1 message=$2; shift 2; e2e_keys $keys; e2e_expect "$message" "$@"; }

# e2e_colours COLUMN: "FG BG" of that column on each row (SGR numbers; 39 and
# 49 are the defaults). capture-pane -e writes a colour only where it changes.
e2e_colours() {
  e2e_tmux capture-pane -p -e -t e2e | python3 -c '
import re, sys
column, fg, bg = int(sys.argv[1]), 39, 49
for line in sys.stdin.read().split("\n"):
    cell, found = 0, None
    for i, part in enumerate(re.split(r"\x1b\[([0-9;]*)m", line)):  # odd: SGR parameters
        for c in [int(c or 0) for c in part.split(";")] if i % 2 else []:
            fg, bg = ((39, 49) if c == 0 else (c, bg) if 30 <= c <= 39 or 90 <= c <= 97
                      else (fg, c) if 40 <= c <= 49 or 100 <= c <= 107 else (fg, bg))
        cell += 0 if i % 2 else len(part)
        found = found or (cell >= column and (fg, bg))
    print("%d %d" % (found or (fg, bg)))' "$1"
}
# e2e_blue_rows: the rows drawn with the blue cursor bar; e2e_cursor_on N: list
# line N (screen row N + 2) is the only one.
e2e_blue_rows() { e2e_colours 1 | awk '$2 == 44 { printf "%d ", NR }'; }
e2e_cursor_on() { [ "$(e2e_blue_rows)" = "$(($1 + 2)) " ]; }

e2e_dovecot() { "$MAILVAK_SOURCE_DIR/scripts/dovecot.sh" "$@" >/dev/null || e2e_fail "dovecot.sh $1 failed"; }
e2e_addmail() { e2e_dovecot addmail "$E2E_DOVECOT" "$@"; }
# e2e_accounts "USER[/PASSWORD][@SERVER] LABEL [SUBJECT[:BODYLINES]]..."...:
# Dovecot on 127.0.0.1:$E2E_PORT with each USER (password "geheim" unless
# given) holding those messages, and a Mailvak.ini of these accounts in order;
# an account with its own SERVER gets no mailbox.
e2e_accounts() {
  [ -x /usr/sbin/dovecot ] || { echo "SKIP: dovecot is not installed" >&2; exit 77; }
  E2E_DOVECOT=$(mktemp -d /tmp/mailvak-e2e-dovecot.XXXXXX) && chmod 0755 "$E2E_DOVECOT"  # read by Dovecot's users
  E2E_PORT=$("$MAILVAK_SOURCE_DIR/scripts/dovecot.sh" freeport)
  e2e_dovecot start "$E2E_DOVECOT" "$E2E_PORT"
  local spec user label subjects subject password server quads=()
  for spec in "$@"; do
    read -r user label subjects <<< "$spec"
    password=geheim server=127.0.0.1:$E2E_PORT
    [[ $user == *@* ]] && server=${user#*@} user=${user%@*}
    [[ $user == */* ]] && password=${user#*/} user=${user%/*}
    quads+=("$server" "$user" "$password" "$label")
    [ "$server" != "127.0.0.1:$E2E_PORT" ] && continue
    e2e_dovecot adduser "$E2E_DOVECOT" "$user" "$password"
    for subject in $subjects; do e2e_addmail "$user" "$(e2e_message ${subject/:/ })"; done
  done
  e2e_write_ini "$E2E_WORK/Mailvak.ini" "${quads[@]}"
}
# e2e_subjects USER: the subjects the server holds for USER, in its order.
e2e_subjects() {
  (cd "$E2E_DOVECOT/mail/$1/Maildir" && ls cur/* new/* 2>/dev/null | sort -t/ -k2 |
    xargs -r grep -h -m 1 '^Subject: ' | sed 's/^Subject: //' | tr -d '\r' | tr '\n' ' ')
}

# e2e_message SUBJECT [BODYLINES]: writes $E2E_DIR/SUBJECT with CR LF line ends,
# body lines "Regel 001 van SUBJECT" and so on; prints the file's name.
e2e_message() {
  printf 'From: afzender@example.org\r\nTo: ontvanger@example.org\r\nSubject: %s\r\nDate: %s\r\n\r\n' \
    "$1" "Mon, 7 Dec 2026 10:00:00 +0000" > "$E2E_DIR/$1"
  seq -f "Regel %03g van $1"$'\r' "${2:-1}" >> "$E2E_DIR/$1" && echo "$E2E_DIR/$1"
}

# e2e_write_ini FILE [SERVER USER PASSWORD LABEL]...: a Mailvak.ini (mode 0600):
# a comment line long enough for a file that is set up, [serverinfo] and the
# accounts; a password not starting with # is taken as it stands.
e2e_write_ini() {
  mkdir -p "${1%/*}"
  { printf '; Mailvak.ini%550s\r\n\r\n[serverinfo]\r\n\r\n' ''; printf '%s\r\n%s\r\n%s\r\n%s\r\n\r\n' "${@:2}"; } > "$1"
  chmod 0600 "$1"
}

# e2e_check_accounts N: with the cursor on folder line 1 and every folder
# closed, checks accounts 1..N in turn (Home, wait for the summary, Left, Down).
e2e_check_accounts() {
  local line; for ((line = 1; line <= $1; line++)); do
    e2e_do Home "account $line was not checked" e2e_row_has $((line + 2)) " bericht"
    e2e_keys Left Down
  done
}
