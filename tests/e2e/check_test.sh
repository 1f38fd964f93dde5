# Checking accounts in a real terminal against Dovecot: a refused login and an
# unreachable server show their status lines; Home on a working account shows
# " [bezig]" while the tool runs (the server sits behind a slow link) and then
# the message list; Right shows a message's body lines and h its headers.
source "$(dirname "$0")/lib.sh"

dovecot="$MAILVAK_SOURCE_DIR/scripts/dovecot.sh"
[ -x /usr/sbin/dovecot ] || command -v dovecot >/dev/null || { echo "SKIP: dovecot is not installed" >&2; exit 77; }
command -v python3 >/dev/null || { echo "SKIP: python3 is not installed" >&2; exit 77; }

# Outside $E2E_DIR (mode 0700): Dovecot's auth process must reach its users file.
base=$(mktemp -d "${TMPDIR:-/tmp}/mailvak-dovecot.XXXXXX")
proxy_pid=
stop_servers() {
  [ -n "$proxy_pid" ] && kill "$proxy_pid" 2>/dev/null
  "$dovecot" stop "$base" >/dev/null 2>&1 || true
  rm -rf "$base"
  e2e_cleanup
}
trap stop_servers EXIT

port=$("$dovecot" freeport)
"$dovecot" start "$base" "$port" >/dev/null || e2e_fail "Dovecot did not start"
"$dovecot" adduser "$base" piet geheim || e2e_fail "no user"
printf 'From: Jan de Vries <jan@example.nl>\r\nSubject: Eerste bericht\r\nDate: Tue, 4 Jun 2024 09:15:00 +0200\r\n\r\nBeste Piet,\r\nGroet, Jan\r\n' > "$E2E_DIR/m1"
printf 'From: Kees <kees@example.nl>\r\nSubject: Zonder datum\r\n\r\nKort.\r\n' > "$E2E_DIR/m2"
"$dovecot" addmail "$base" piet "$E2E_DIR/m1" "$E2E_DIR/m2" || e2e_fail "no mail"

# A link with 300 ms round trips, so that the busy mark stays long enough to see.
slow=$("$dovecot" freeport)
python3 "$MAILVAK_SOURCE_DIR/bench/delay_proxy.py" "$slow" "$port" 300 >/dev/null &
proxy_pid=$!
unreachable=$("$dovecot" freeport)

work="$E2E_DIR/appdata/Mailvak"
mkdir -p "$work"
{
  printf '; Mailvak.ini%40sversie 10.2t\r\n' ''
  for i in 2 3 4 5 6 7 8; do printf ';%64s\r\n' ''; done
  printf '\r\n[serverinfo]\r\n\r\n'
  printf '127.0.0.1:%s\r\npiet\r\n*geheim\r\nThuis\r\n\r\n' "$slow"
  printf '127.0.0.1:%s\r\npiet\r\n*fout\r\nFout\r\n\r\n' "$port"
  printf '127.0.0.1:%s\r\npiet\r\n*geheim\r\nWeg\r\n\r\n' "$unreachable"
} > "$work/Mailvak.ini"
chmod 600 "$work/Mailvak.ini"

# cursor_on ROW: the blue cursor bar lies on ROW. move_to KEY ROW: sends the
# key and waits until the bar is there, so the next key cannot arrive while a
# pass draws message lines (keys typed then are dropped on purpose).
cursor_on() {
  e2e_tmux capture-pane -p -e -t e2e | sed -n "${1}p" | grep -qE $'\e\\[([0-9;]*;)?44(;[0-9;]*)?m'
}
move_to() {
  e2e_send "$1"
  e2e_wait_until cursor_on "$2" || e2e_fail "the cursor bar did not reach row $2"
}

e2e_start 127 59 "APPDATA=$E2E_DIR/appdata"
e2e_run "'$MAILVAK_BINARY_DIR/mailvak'"
e2e_wait_for_text "Weg" || e2e_fail "the folder lines did not appear"

# Rows: 3 Thuis, 4 Fout, 5 Weg. A wrong password: the refusal's status line.
e2e_wait_until cursor_on 3 || e2e_fail "no cursor bar on the first folder line"
move_to Down 4
e2e_send Home
e2e_wait_for_row 5 "    Geen toegang tot de mailbox." || e2e_fail "no refusal line under Fout"
e2e_expect_row 6 "Weg$(printf '%93s' '')  - berichten,         - bytes."

# An unreachable server: the wrong-name line on the pass of the query, the
# no-answer line after the next key.
move_to Down 5
move_to Down 6
e2e_send Home
e2e_wait_for_row 7 "    Geen/foute reaktie van de server, naam fout?" || e2e_fail "no wrong-name line under Weg"
e2e_send x
e2e_wait_for_row 7 "    Geen reaktie van de server" || e2e_fail "no no-answer line after the next key"

# The working account, behind the slow link.
move_to Up 5
move_to Up 4
move_to Up 3
e2e_send Home
e2e_wait_for_text "Thuis [bezig]" || e2e_fail "no busy mark while the tool runs"
e2e_wait_for_text "Jan de Vries" || e2e_fail "the message list did not appear"
e2e_pane_lacks "[bezig]" || e2e_fail "the busy mark stayed"
e2e_expect_row 4 "     Afzender:                       Onderwerp:                                                 Datum:                Grootte:"
case "$(e2e_row 5)" in
  "  1  Jan de Vries <jan@example.nl>"*"Eerste bericht"*"04 Jun 2024 09:15:00"*) ;;
  *) e2e_fail "message line 1 is '$(e2e_row 5)'" ;;
esac
case "$(e2e_row 3)" in
  Thuis*"  2 berichten,"*" bytes.") ;;
  *) e2e_fail "the folder line is '$(e2e_row 3)'" ;;
esac

# Right on message 1 shows its body lines, h its full headers as well.
move_to Down 4
move_to Down 5
e2e_send Right
e2e_expect_row 6 "    Beste Piet,"
e2e_expect_row 7 "    Groet, Jan"
case "$(e2e_row 8)" in "  2  Kees"*) ;; *) e2e_fail "message 2 does not follow the body" ;; esac
e2e_send h
e2e_wait_for_row 6 "    From: Jan de Vries <jan@example.nl>" || e2e_fail "no header lines after h"
e2e_pane_has "    Subject: Eerste bericht" || e2e_fail "the Subject header is not shown"

e2e_send q
e2e_expect_status 0
