#!/bin/bash
# mboxtool.exe --signin (the cross build in build-windows/) under wine against
# the local authorization server over http://127.0.0.1: the device flow with
# WinHTTP, approved while the tool polls, and the browser flow, whose Winsock
# listener takes the redirect the test follows as the browser. Each writes its
# token file and says "+OK signed in"; no token reaches the output.
# Exit 77 (skipped) without the .exe, wine64 or curl.
set -euo pipefail
SRC=${MAILVAK_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
WIN=${MAILVAK_WINDOWS_DIR:-$SRC/build-windows}
WINE=/usr/lib/wine/wine64
skip() { echo "SKIP: $*"; exit 77; }
[ -f "$WIN/mboxtool.exe" ] || skip "no $WIN/mboxtool.exe (cmake -B build-windows -S . -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake)"
[ -x "$WINE" ] || skip "wine64 is not installed"
command -v curl >/dev/null || skip "curl is not installed"

T=$(mktemp -d /tmp/mboxtool-signin-wine.XXXXXX)
mkdir "$T/prefix"
export WINEPREFIX=$T/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
SERVER=
cleanup() {
  [ -z "$SERVER" ] || kill "$SERVER" 2>/dev/null || true
  "$(dirname "$WINE")/wineserver" -k 2>/dev/null || true
  rm -rf "$T"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

python3 "$SRC/tests/support/oauth2_server.py" >"$T/server.out" 2>/dev/null &
SERVER=$!
until [ -s "$T/server.out" ]; do sleep 0.05; done
AT=http://127.0.0.1:$(cut -d' ' -f2 "$T/server.out")/ok
cat >"$T/providers.ini" <<EOF
[Apparaat]
servers = device.example
device_endpoint = $AT/devicecode
token_endpoint = $AT/token
client_id = c
[Browser]
servers = web.example
flow = browser
authorization_endpoint = $AT/authorize
token_endpoint = $AT/token
client_id = c
EOF
start=$SECONDS
"$(dirname "$WINE")/wineserver" -p
"$WINE" wineboot -i 2>/dev/null
echo "wine prefix ready in $((SECONDS - start)) s"

# signin SERVER USER-ACTION: one sign-in in $T, the action run once the box file is there.
signin() {
  rm -f "$T/token.json" "$T/box.txt"
  (cd "$T" && MAILVAK_OAUTH2_PROVIDERS=providers.ini MBOXTOOL_TOTAL_TIMEOUT_MS=20000 \
    "$WINE" "$WIN/mboxtool.exe" --signin "$1" jan token.json box.txt >out.txt) &
  local run=$!
  for _ in $(seq 200); do [ -s "$T/box.txt" ] && break; sleep 0.05; done
  [ -s "$T/box.txt" ] || fail "$1: no box file"
  $2
  wait $run || fail "$1: exit status $?: $(cat "$T/out.txt")"
  [ "$(tr -d '\r' <"$T/out.txt")" = "+OK signed in" ] || fail "$1: $(cat "$T/out.txt")"
  grep -q '"refresh_token": "[A-Za-z0-9_-]\{20,\}"' "$T/token.json" || fail "$1: token file"
  ! grep -q "$(sed -n 's/.*"access_token": "\(.*\)".*/\1/p' "$T/token.json")" "$T/out.txt"
  echo "ok $1"
}
approve() { curl -s -d "user_code=$(sed -n 3p "$T/box.txt" | tr -d '\r')" -d user=jan "${AT%/ok}/approve" >/dev/null; }
browse() { curl -s -L --max-time 10 "$(sed -n 2p "$T/box.txt" | tr -d '\r')" | grep -q Aanmelden; }
signin device.example approve
signin web.example browse
echo "PASS in $((SECONDS - start)) s"
