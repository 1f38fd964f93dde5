#!/bin/bash
# mboxtool.exe (the cross build in build-windows/) under wine against Dovecot:
# over plain text, STLS and TLS from the first byte, list, top, stop and dele
# write the same files, byte for byte, as the POSIX tool on the same mailbox,
# and keep the same files beside them (the snapshot a dele goes by included). A
# certificate the Windows store does not trust, or a server older than TLS 1.2,
# ends the run with one -ERR line before the server sees a login. An access
# token from the local authorization server lists by XOAUTH2 what the password lists.
# --signin against that server over http://127.0.0.1: the device flow with WinHTTP,
# approved while the tool polls, and the browser flow, whose Winsock listener takes
# the redirect the test follows as the browser. Each writes its token file and says
# "+OK signed in"; no token reaches the output.
# Exit 77 (skipped) without the .exe, wine64, Dovecot or curl.
set -euo pipefail
SRC=${MAILVAK_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
TOOL=${MAILVAK_BINARY_DIR:-$SRC/build}/mboxtool
WIN=${MAILVAK_WINDOWS_DIR:-$SRC/build-windows}
WINE=/usr/lib/wine/wine64
DOVECOT=$SRC/scripts/dovecot.sh
skip() { echo "SKIP: $*"; exit 77; }
[ -f "$WIN/mboxtool.exe" ] || skip "no $WIN/mboxtool.exe (cmake -B build-windows -S . -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake)"
[ -x "$WINE" ] || skip "wine64 is not installed"
[ -x /usr/sbin/dovecot ] || skip "dovecot-pop3d is not installed"
command -v curl >/dev/null || skip "curl is not installed"

T=$(mktemp -d /tmp/mboxtool-wine.XXXXXX)
chmod 0755 "$T"  # Dovecot's auth process must reach its users file
export WINEPREFIX=$T/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
MUTE= OLD_TLS= OAUTH2=
cleanup() {
  [ -z "$MUTE$OLD_TLS$OAUTH2" ] || kill $MUTE $OLD_TLS $OAUTH2 2>/dev/null || true
  "$(dirname "$WINE")/wineserver" -k 2>/dev/null || true
  "$DOVECOT" stop "$T/dovecot"
  rm -rf "$T"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
trap 'echo "FAIL: line $LINENO"' ERR

# One mailbox, served on a plain-text port and, by a second instance with the
# self-signed certificate that also takes access tokens, on an STLS port and a TLS port.
mkdir -p "$T/dovecot" "$T/mail" "$T/posix" "$T/wine" "$T/untrusted" "$T/signin" "$WINEPREFIX"
PLAIN=$("$DOVECOT" freeport) STLS=$("$DOVECOT" freeport) TLS=$("$DOVECOT" freeport)
"$DOVECOT" adduser "$T/dovecot" jan geheim
for n in $(seq 1 8); do
  printf 'From: Afzender %d <a%d@example.nl>\r\nSubject: Bericht %d\r\n\r\n' "$n" "$n" "$n" >"$T/mail/$n"
  for l in $(seq 1 $((n * 7))); do printf 'Regel %d\r\n.punt\r\n\tCaf\xe9\r\n' "$l"; done >>"$T/mail/$n"
done
"$DOVECOT" addmail "$T/dovecot" jan "$T"/mail/{1..8}
python3 "$SRC/tests/support/oauth2_server.py" >"$T/oauth2.port" &
OAUTH2=$!
until grep -q '^ready [0-9]*$' "$T/oauth2.port"; do sleep 0.05; done
OAUTH2_URL=http://127.0.0.1:$(cut -d' ' -f2 "$T/oauth2.port")
DOVECOT_OAUTH2_INTROSPECTION=$OAUTH2_URL/introspect "$DOVECOT" start "$T/dovecot" "$STLS" "$TLS"
"$DOVECOT" start "$T/dovecot" "$PLAIN"
LOG=$T/dovecot/dovecot-$STLS.log

# tool posix|wine DIR SERVER WORDS...: one run in DIR, the password on stdin.
tool() {
  local kind=$1 dir=$2 server=$3; shift 3
  if [ "$kind" = posix ]; then
    (cd "$dir" && printf 'geheim\n' | SSL_CERT_FILE=$T/dovecot/cert.pem "$TOOL" "$server" 110 jan - "$@")
  else
    (cd "$dir" && printf 'geheim\n' | "$WINE" "$WIN/mboxtool.exe" "$server" 110 jan - "$@")
  fi
}

start=$SECONDS
"$(dirname "$WINE")/wineserver" -p  # stays up between runs: 0.05 s a start instead of 0.5 s
"$WINE" wineboot -i 2>/dev/null
echo "wine prefix ready in $((SECONDS - start)) s"
for server in "pop3s://localhost:$TLS" "localhost:$STLS"; do
  out=$(tool wine "$T/untrusted" "$server" list || true)
  [[ $out == "-ERR TLS certificate not accepted: "* && $out != *$'\n'* ]] ||
    fail "$server with an untrusted certificate: $out"
done
! grep -q 'Login: user=' "$LOG" || fail "a login reached the server before the certificate was trusted"
"$WINE" "$WIN/trust_test_certificate.exe" "$T/dovecot/cert.pem"

# A server that speaks TLS 1.1 at most is refused after the handshake: wine,
# like older systems, may agree on less than the credentials asked for.
OLD=$("$DOVECOT" freeport)
openssl s_server -accept "$OLD" -cert "$T/dovecot/cert.pem" -key "$T/dovecot/key.pem" -tls1_1 \
  -cipher DEFAULT@SECLEVEL=0 -quiet </dev/null >/dev/null 2>&1 &
OLD_TLS=$!
until (exec 3<>"/dev/tcp/127.0.0.1/$OLD") 2>/dev/null; do sleep 0.05; done
out=$(tool wine "$T/untrusted" "pop3s://localhost:$OLD" list || true)
[[ $out == "-ERR TLS version not accepted: "* ]] || fail "a TLS 1.1 server: $out"

# A server that accepts and never speaks: the run ends at the read timeout, writing nothing.
python3 -c 'import socket, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(); print(s.getsockname()[1], flush=True)
time.sleep(60)' >"$T/mute.port" &
MUTE=$!
until [ -s "$T/mute.port" ]; do sleep 0.05; done
begin=$SECONDS
out=$(MBOXTOOL_READ_TIMEOUT_MS=1000 tool wine "$T/untrusted" "localhost:$(cat "$T/mute.port")" list || true)
[ -z "$out" ] && [ $((SECONDS - begin)) -lt 5 ] || fail "a mute server: '$out' after $((SECONDS - begin)) s"

for server in "localhost:$PLAIN" "localhost:$STLS" "pop3s://localhost:$TLS"; do
  rm -f "$T"/posix/* "$T"/wine/*
  for kind in posix wine; do
    tool $kind "$T/$kind" "$server" list >"$T/$kind/list.out"
    tool $kind "$T/$kind" "$server" top 9 40 >"$T/$kind/top.out"
    tool $kind "$T/$kind" "$server" stop 2 5 >"$T/$kind/stop.out"
  done
  (cd "$T/posix" && ls) >"$T/posix.files"
  (cd "$T/wine" && ls) >"$T/wine.files"
  cmp "$T/posix.files" "$T/wine.files" || fail "$server: the tools keep different files"
  for f in $(cat "$T/posix.files"); do  # a record of commands sent ahead carries its time
    words() { [[ $f == ahead-* ]] && cut -d' ' -f1 "$1" || cat "$1"; }
    cmp <(words "$T/posix/$f") <(words "$T/wine/$f") || fail "$server: $f differs"
  done
  # The second deletes the message that is first after the first deleted its,
  # each by the snapshot it named.
  for kind in posix wine; do
    tool $kind "$T/$kind" "$server" list --seen seen.uid >/dev/null
    tool $kind "$T/$kind" "$server" dele 1 --seen seen.uid >"$T/$kind/dele.out"
  done
  cmp "$T/posix/dele.out" "$T/wine/dele.out" || fail "$server: dele differs"
  grep -q '^Subject: Bericht ' "$T/wine/stop.out" || fail "$server: no message in stop"
  grep -q '^+OK Marked to be deleted. \[message 1\]' "$T/wine/dele.out" || fail "$server: no dele"
  echo "ok $server"
done
[ "$(tool posix "$T/posix" "localhost:$PLAIN" list | head -c 6)" = '+OK 2 ' ] ||
  fail "the six deletions did not all take effect"
token=$(python3 -c 'import json, sys, urllib.request as u
print(json.load(u.urlopen(sys.argv[1], b"user=jan"))["access_token"])' "$OAUTH2_URL/mint")
(cd "$T/wine" && "$WINE" "$WIN/mboxtool.exe" --xoauth2 "localhost:$STLS" 110 jan "$token" list) |
  cmp - <(tool posix "$T/posix" "localhost:$STLS" list) || fail "a token lists unlike the password"

AT=$OAUTH2_URL/ok
printf '[%s]\nservers = %s\nflow = %s\n%s_endpoint = %s\ntoken_endpoint = %s/token\nclient_id = c\n' \
  Apparaat device.example device device "$AT/devicecode" "$AT" \
  Browser web.example browser authorization "$AT/authorize" "$AT" >"$T/signin/providers.ini"
# signin SERVER USER-ACTION: one sign-in in $T/signin, the action run once the box file is there.
signin() {
  local at=$T/signin
  rm -f "$at/token.json" "$at/box.txt"
  (cd "$at" && MAILVAK_OAUTH2_PROVIDERS=providers.ini MBOXTOOL_TOTAL_TIMEOUT_MS=20000 \
    "$WINE" "$WIN/mboxtool.exe" --signin "$1" jan token.json box.txt >out.txt) &
  local run=$!
  for _ in $(seq 200); do [ -s "$at/box.txt" ] && break; sleep 0.05; done
  [ -s "$at/box.txt" ] || fail "$1: no box file"
  $2
  wait $run || fail "$1: exit status $?: $(cat "$at/out.txt")"
  [ "$(tr -d '\r' <"$at/out.txt")" = "+OK signed in" ] || fail "$1: $(cat "$at/out.txt")"
  grep -q '"refresh_token": "[A-Za-z0-9_-]\{20,\}"' "$at/token.json" || fail "$1: token file"
  ! grep -q "$(sed -n 's/.*"access_token": "\(.*\)".*/\1/p' "$at/token.json")" "$at/out.txt" ||
    fail "$1: the access token is in the output"
  echo "ok $1"
}
approve() { curl -s -d "user_code=$(sed -n 3p "$T/signin/box.txt" | tr -d '\r')" -d user=jan "$OAUTH2_URL/approve" >/dev/null; }
browse() { curl -s -L --max-time 10 "$(sed -n 2p "$T/signin/box.txt" | tr -d '\r')" | grep -q Aanmelden; }
signin device.example approve
signin web.example browse
echo "PASS in $((SECONDS - start)) s"
