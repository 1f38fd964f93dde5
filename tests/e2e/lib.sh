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
  if [ -n "${E2E_DOVECOT:-}" ]; then
    "$MAILVAK_SOURCE_DIR/scripts/dovecot.sh" stop "$E2E_DOVECOT" >/dev/null 2>&1 || true
    rm -rf "$E2E_DOVECOT"
  fi
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

# ---- The program at rest ---------------------------------------------------
# The program drops keys that arrive while it draws message lines, so a test
# that types several keys sends each one only when the program waits for it.

# e2e_mailvak_pid: the pid of the mailvak that the pane's shell runs.
e2e_mailvak_pid() {
  local shell
  shell=$(e2e_tmux display-message -p -t e2e '#{pane_pid}') || return 1
  pgrep -P "$shell" -x mailvak | head -n 1
}

# e2e_mailvak_idle: true while mailvak sleeps in poll() for a key, no tool running.
e2e_mailvak_idle() {
  local pid call
  pid=$(e2e_mailvak_pid) || return 1
  [ -n "$pid" ] || return 1
  [ -z "$(pgrep -P "$pid")" ] || return 1
  grep -q '^State:[[:space:]]*S' "/proc/$pid/status" 2>/dev/null || return 1
  call=$(cut -d' ' -f1 "/proc/$pid/syscall" 2>/dev/null) || return 1
  case "$call" in 7 | 271) return 0 ;; esac  # poll, ppoll
  return 1
}

e2e_mailvak_reads() { awk '/^syscr/ { print $2 }' "/proc/$1/io" 2>/dev/null; }
e2e_mailvak_has_read() { [ "$(e2e_mailvak_reads "$1")" != "$2" ]; }
# Settled after a key: it has read since, and waits again or has ended.
e2e_mailvak_idle_after() { [ ! -d "/proc/$1" ] || { e2e_mailvak_has_read "$1" "$2" && e2e_mailvak_idle; }; }

# e2e_key ARGS...: waits until mailvak waits for a key, sends the keys
# (send-keys arguments), then waits until it has read them and rests again
# (or has ended).
e2e_key() {
  local pid before
  e2e_wait_until e2e_mailvak_idle || e2e_fail "the program did not come to rest before $*"
  pid=$(e2e_mailvak_pid)
  before=$(e2e_mailvak_reads "$pid")
  e2e_send "$@"
  e2e_wait_until e2e_mailvak_idle_after "$pid" "$before" || e2e_fail "the program did not settle after $*"
}

# e2e_keys KEY...: e2e_key for each key in turn.
e2e_keys() {
  local k
  for k in "$@"; do e2e_key "$k"; done
}

# ---- Screen rows -----------------------------------------------------------
# e2e_row_sgr N: row N with its SGR runs (capture-pane -e).
e2e_row_sgr() { e2e_tmux capture-pane -p -e -t e2e | sed -n "${1}p"; }
# e2e_cell_colours ROW COLUMN: the SGR colours of that cell as "FG BG" (30-37 or
# 90-97, 40-47 or 100-107; 39 and 49 for the defaults). capture-pane -e only
# writes a colour where it changes, so the runs are followed from row 1 on.
e2e_cell_colours() {
  e2e_tmux capture-pane -p -e -t e2e | python3 -c '
import re, sys
row, column = int(sys.argv[1]), int(sys.argv[2])
fg, bg = 39, 49
for number, line in enumerate(sys.stdin.read().split("\n"), 1):
    cell = 0
    for part in re.split(r"(\x1b\[[0-9;]*m)", line):
        if part.startswith("\x1b["):
            codes = [int(c) if c else 0 for c in part[2:-1].split(";")]
            i = 0
            while i < len(codes):
                c = codes[i]
                if c == 0: fg, bg = 39, 49
                elif 30 <= c <= 37 or 90 <= c <= 97 or c == 39: fg = c
                elif 40 <= c <= 47 or 100 <= c <= 107 or c == 49: bg = c
                elif c in (38, 48): i += 2 if codes[i + 1:i + 2] == [5] else 4
                i += 1
            continue
        for _ in part:
            cell += 1
            if number == row and cell == column:
                print(fg, bg)
                sys.exit(0)
    if number == row:
        print(fg, bg)
        sys.exit(0)
' "$1" "$2"
}
# e2e_row_is_blue N: row N has a blue background (the line under the cursor).
e2e_row_is_blue() { [ "$(e2e_cell_colours "$1" 1 | cut -d' ' -f2)" = 44 ]; }
# e2e_cursor_on N: list line N (screen row N + 2) is the line under the cursor.
e2e_cursor_on() { e2e_row_is_blue $(($1 + 2)); }
# e2e_row_starts N TEXT: row N begins with TEXT.
e2e_row_starts() { case "$(e2e_row "$1")" in "$2"*) return 0 ;; esac; return 1; }
# e2e_row_has N TEXT: row N shows TEXT somewhere.
e2e_row_has() { case "$(e2e_row "$1")" in *"$2"*) return 0 ;; esac; return 1; }
# e2e_row_of TEXT: the number of the first row that shows TEXT (empty if none).
e2e_row_of() { e2e_capture | grep -nF -m 1 -- "$1" | cut -d: -f1; }

# ---- Dovecot and the working directory -------------------------------------
# e2e_dovecot_start: a Dovecot POP3 server on 127.0.0.1 for this test, stopped
# at exit. Sets E2E_DOVECOT (its directory) and E2E_PORT. Users and mail are
# added with e2e_adduser and e2e_addmail, before or after the start.
e2e_dovecot() { "$MAILVAK_SOURCE_DIR/scripts/dovecot.sh" "$@"; }
e2e_dovecot_start() {
  [ -x /usr/sbin/dovecot ] || { echo "SKIP: dovecot is not installed" >&2; exit 77; }
  E2E_DOVECOT=$(mktemp -d /tmp/mailvak-e2e-dovecot.XXXXXX)
  chmod 0755 "$E2E_DOVECOT"
  E2E_PORT=$(e2e_dovecot freeport)
  e2e_dovecot start "$E2E_DOVECOT" "$E2E_PORT" >/dev/null || e2e_fail "dovecot did not start"
}
# e2e_adduser USER PASSWORD
e2e_adduser() { e2e_dovecot adduser "$E2E_DOVECOT" "$1" "$2" >/dev/null || e2e_fail "no user $1"; }
# e2e_addmail USER FILE...: messages numbered in argument order.
e2e_addmail() { e2e_dovecot addmail "$E2E_DOVECOT" "$@" >/dev/null || e2e_fail "no mail for $1"; }
# e2e_server_count USER: the number of messages the user's mailbox holds.
e2e_server_count() {
  local dir="$E2E_DOVECOT/mail/$1/Maildir"
  find "$dir/cur" "$dir/new" -type f 2>/dev/null | wc -l
}
# e2e_server_subjects USER: the subjects in the mailbox, in server order, one line.
e2e_server_subjects() {
  local dir="$E2E_DOVECOT/mail/$1/Maildir" f
  for f in $(cd "$dir" && ls cur/* new/* 2>/dev/null | sort -t/ -k2); do
    sed -n 's/^Subject: \([^\r]*\).*/\1/p' "$dir/$f" | head -n 1
  done | tr '\n' ' '
}

# e2e_message FILE SUBJECT [BODYLINES [FROM]]: writes a message with CR LF line
# ends whose body lines read "Regel 001 van SUBJECT" and so on.
e2e_message() {
  local file=$1 subject=$2 lines=${3:-1} from=${4:-afzender@example.org} i
  {
    printf 'From: %s\r\nTo: ontvanger@example.org\r\nSubject: %s\r\n' "$from" "$subject"
    printf 'Date: Mon, 7 Dec 2026 10:00:00 +0000\r\nMessage-ID: <%s@example.org>\r\n\r\n' "$subject"
    for ((i = 1; i <= lines; i++)); do printf 'Regel %03d van %s\r\n' "$i" "$subject"; done
  } > "$file"
}

# e2e_write_ini DIR [SERVER USER PASSWORD LABEL]...: a Mailvak.ini in DIR with
# these accounts, as the settings editor writes it (passwords in plain text;
# the program stores them scrambled at its next rewrite).
e2e_write_ini() {
  local dir=$1
  shift
  mkdir -p "$dir"
  {
    printf '; Mailvak.ini%40sversie 10.2t\r\n' ''
    printf '%s\r\n' \
      "; Zet na [serverinfo] een lege regel en dan steeds de serverinfo," \
      "; 4 items per account, nl servernaam, gebruikersnaam, password en" \
      "; benaming (zelf bepalen), een lege regel en dan evt. de volgende" \
      "; 4 account-regels. Wel de 4 voorbeeldregels weghalen natuurlijk." \
      "; Het password wordt blind ingevoerd en wordt ook versleuteld, je" \
      "; moet 'm dus niet vergeten. Bij hier invullen een * ervoor doen." \
      "; Deze file wordt sinds versie 8.01 ingevuld vanuit 't programma." \
      "" "[serverinfo]" ""
    while [ $# -ge 4 ]; do
      printf '%s\r\n' "$1" "$2" "$3" "$4" ""
      shift 4
    done
  } > "$dir/Mailvak.ini"
  chmod 0600 "$dir/Mailvak.ini"
}

# e2e_check_accounts N: with the cursor on folder line 1 and every folder
# closed, checks accounts 1..N in turn (Home, wait for the summary, Left, Down).
e2e_check_accounts() {
  local line
  for line in $(seq "$1"); do
    e2e_key Home
    e2e_wait_until e2e_row_has $((line + 2)) " bericht" || e2e_fail "account $line was not checked"
    e2e_key Left
    e2e_key Down
  done
}

# e2e_stub_viewer: an xdg-open in $E2E_DIR/bin that appends its argument to
# $E2E_DIR/viewer.log. tmux gives a new pane the client's PATH whatever
# e2e_start sets, so put it on the command: e2e_run "PATH='$E2E_DIR/bin':\$PATH ...".
e2e_stub_viewer() {
  mkdir -p "$E2E_DIR/bin"
  printf '#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s/viewer.log"\n' "$E2E_DIR" > "$E2E_DIR/bin/xdg-open"
  chmod 0755 "$E2E_DIR/bin/xdg-open"
}

# e2e_tool_count USER PASSWORD: the message count the server reports to the
# POP3 tool (build/mboxtool ... list), or empty when it gave no answer. The
# tool runs in a directory of its own: it keeps its deletion guard there.
e2e_tool_count() {
  mkdir -p "$E2E_DIR/tool"
  (cd "$E2E_DIR/tool" && "$MAILVAK_BINARY_DIR/mboxtool" 127.0.0.1 "$E2E_PORT" "$1" "$2" list 2>/dev/null) |
    head -n 1 | tr -d '\r' | awk '$1 == "+OK" { print $2 }'
}
