# Server actions in a real terminal against Dovecot: Alt-d on a message
# answered "n" deletes nothing; two marked messages deleted with Alt-d and "j"
# are exactly the two gone from the server, and the list is checked again;
# Alt-d on a folder line and "j" empties that mailbox; Ctrl-Down moves an
# account, and Mailvak.ini shows the new order.
source "$(dirname "$0")/lib.sh"

dovecot="$MAILVAK_SOURCE_DIR/scripts/dovecot.sh"
[ -x /usr/sbin/dovecot ] || { echo "SKIP: dovecot is not installed" >&2; exit 77; }
base=$(mktemp -d /tmp/mailvak-e2e-dovecot.XXXXXX)
chmod 0755 "$base"
stop_dovecot() {
  "$dovecot" stop "$base" >/dev/null 2>&1 || true
  rm -rf "$base"
  e2e_cleanup
}
trap stop_dovecot EXIT

port=$("$dovecot" freeport)
"$dovecot" adduser "$base" anna geheim || e2e_fail "no user anna"
"$dovecot" adduser "$base" bert geheim || e2e_fail "no user bert"
mail() { printf 'From: %s@example.org\r\nSubject: %s\r\nDate: Mon, 7 Dec 2026 10:00:00 +0000\r\n\r\nBody\r\n' "$1" "$2" > "$base/$2"; echo "$base/$2"; }
"$dovecot" addmail "$base" anna "$(mail a Onderwerp-A)" "$(mail a Onderwerp-B)" \
  "$(mail a Onderwerp-C)" "$(mail a Onderwerp-D)" || e2e_fail "no mail for anna"
"$dovecot" addmail "$base" bert "$(mail b Bericht-X)" "$(mail b Bericht-Y)" || e2e_fail "no mail for bert"
"$dovecot" start "$base" "$port" >/dev/null || e2e_fail "dovecot did not start"

# The subjects a mailbox holds on the server, in the server's order, on one line.
on_server() {
  local f
  for f in $(cd "$base/mail/$1/Maildir" && ls cur/* new/* 2>/dev/null | sort -t/ -k2); do
    sed -n 's/^Subject: \([^\r]*\).*/\1/p' "$base/mail/$1/Maildir/$f"
  done | tr '\n' ' '
}
expect_on_server() {
  local got
  got=$(on_server "$1")
  [ "$got" = "$2" ] || e2e_fail "$1 holds '$got' on the server, expected '$2'"
}

appdata="$E2E_DIR/appdata"
mkdir -p "$appdata/Mailvak"
{
  printf '; Mailvak.ini%40sversie 10.2t\r\n' ''
  for i in 2 3 4 5 6 7 8; do printf '; %63s\r\n' "regel $i"; done
  printf '\r\n[serverinfo]\r\n\r\n'
  printf '127.0.0.1:%s\r\nanna\r\ngeheim\r\nAnna\r\n\r\n' "$port"
  printf '127.0.0.1:%s\r\nbert\r\ngeheim\r\nBert\r\n\r\n' "$port"
} > "$appdata/Mailvak/Mailvak.ini"

# List line v stands on screen row v + 2; the line under the cursor is blue.
cursor_on() {
  e2e_tmux capture-pane -p -e -t e2e | sed -n "$(($1 + 2))p" | grep -qE $'\e\\[([0-9]+;)*44(;[0-9]+)*m'
}
# The program drops keys typed while it draws message lines, so every key
# waits until it sits idle: asleep in poll() for a key, no tool running.
mailvak_idle() {
  local pid
  pid=$(pgrep -P "$(e2e_tmux display -p -t e2e '#{pane_pid}')" -x mailvak) || return 1
  [ -z "$(pgrep -P "$pid")" ] || return 1
  grep -q '^State:[[:space:]]*S' "/proc/$pid/status" || return 1
  # Where the kernel hides wait channels ("0"), sleeping without a child must do.
  case "$(cat "/proc/$pid/wchan" 2>/dev/null || echo 0)" in *poll* | 0) return 0 ;; esac
  return 1
}
send() {
  e2e_wait_until mailvak_idle || e2e_fail "the program did not come to rest before $*"
  e2e_send "$@"
}
# key LINE KEYS...: sends the keys, then waits for the cursor bar on list line LINE.
key() {
  local line=$1
  shift
  send "$@"
  e2e_wait_until cursor_on "$line" || e2e_fail "after $*: the cursor is not on list line $line"
}

e2e_start 127 59 "APPDATA=$appdata"
e2e_run "'$MAILVAK_BINARY_DIR/mailvak'"
e2e_wait_for_text "Mailvak-ontwikkelaars" || e2e_fail "the title line did not appear"
key 1 Home
e2e_wait_for_text "Onderwerp-D" || e2e_fail "anna's list did not appear"

# Line 2 is the column header row, lines 3 to 6 are messages 1 to 4.
key 2 Down
key 3 Down
send M-d
e2e_wait_for_text "Bericht onder blauwe balk" || e2e_fail "no confirmation box for one message"
send n
e2e_wait_for_text "Onderwerp-A" || e2e_fail "the list is gone after n"
expect_on_server anna "Onderwerp-A Onderwerp-B Onderwerp-C Onderwerp-D "

key 3 Space
key 4 Down
key 5 Down
key 5 Space
send M-d
e2e_wait_for_text "De gemarkeerde berichten" || e2e_fail "no confirmation box for the marked messages"
send j
e2e_wait_for_absence "Onderwerp-C" || e2e_fail "the list was not checked again"
e2e_wait_for_text "Onderwerp-D" || e2e_fail "the list lost message D"
e2e_pane_lacks "Onderwerp-A" || e2e_fail "message A is still listed"
expect_on_server anna "Onderwerp-B Onderwerp-D "
expect_on_server bert "Bericht-X Bericht-Y "

# Anna now lists two messages (lines 3 and 4): line 5 is Bert's folder line.
key 5 M-d
e2e_wait_for_text "Alle berichten van deze" || e2e_fail "no confirmation box for emptying"
send j
e2e_wait_until eval '[ -z "$(on_server bert)" ]' || e2e_fail "bert's mailbox was not emptied: $(on_server bert)"
expect_on_server anna "Onderwerp-B Onderwerp-D "

# Close Anna's folder, then move her below Bert.
key 4 Up
key 3 Up
key 2 Up
key 1 Up
send Left
e2e_wait_for_absence "Onderwerp-B" || e2e_fail "anna's folder did not close"
key 2 C-Down
row_starts() { case "$(e2e_row "$1")" in "$2"*) return 0 ;; esac; return 1; }
e2e_wait_until row_starts 3 Bert || e2e_fail "row 3 is '$(e2e_row 3)', expected Bert's folder line"
row_starts 4 Anna || e2e_fail "row 4 is '$(e2e_row 4)', expected Anna's folder line"
users=$(tr -d '\r' < "$appdata/Mailvak/Mailvak.ini" | grep -xE 'anna|bert' | tr '\n' ' ')
[ "$users" = "bert anna " ] || e2e_fail "Mailvak.ini holds the users as '$users'"

send q
e2e_expect_status 0
echo "PASS"
