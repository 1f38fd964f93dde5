# Signing in against the local authorization server, with a Dovecot that asks
# it about tokens: the settings editor hints and empties the password, Home
# shows the code, the test approves it as the user would, the check follows.
# A second start checks without signing in; a revoked token gives "Opnieuw
# aanmelden nodig." and Home signs in again. Bert signs in in the browser
# (the test follows the address the viewer got): Esc breaks that off first.
source "$(dirname "$0")/lib.sh"
grep -q DOVECOT_OAUTH2_INTROSPECTION "$MAILVAK_SOURCE_DIR/scripts/dovecot.sh" ||
  { echo "SKIP: scripts/dovecot.sh offers no OAuth2 login" >&2; exit 77; }
python3 "$MAILVAK_SOURCE_DIR/tests/support/oauth2_server.py" > "$E2E_DIR/server.out" & E2E_PIDS+=($!)
e2e_expect "the authorization server did not start" grep -q '^ready ' "$E2E_DIR/server.out"
server=http://127.0.0.1:$(awk '/^ready/ { print $2 }' "$E2E_DIR/server.out")
export DOVECOT_OAUTH2_INTROSPECTION=$server/introspect MAILVAK_OAUTH2_PROVIDERS=$E2E_DIR/providers
# Access tokens live one second there, so every run refreshes its token.
printf '[Test]\nservers = 127.0.0.1\ndevice_endpoint = %s/short/devicecode\ntoken_endpoint = %s/short/token\nclient_id = m\nscope = pop\n' \
  "$server" "$server" > "$MAILVAK_OAUTH2_PROVIDERS"
printf '[Web]\nservers = localhost\nflow = browser\nauthorization_endpoint = %s/ok/authorize\ntoken_endpoint = %s/ok/token\nclient_id = w\nscope = pop\nmechanism = OAUTHBEARER\n' \
  "$server" "$server" >> "$MAILVAK_OAUTH2_PROVIDERS"
e2e_accounts "anna Anna Hallo"
e2e_dovecot adduser "$E2E_DOVECOT" bert geheim && e2e_addmail bert "$(e2e_message Welkom)"
e2e_write_ini "$E2E_WORK/Mailvak.ini" "127.0.0.1:$E2E_PORT" anna geheim Anna "localhost:$E2E_PORT" bert "" Bert
token=$E2E_WORK/Token1.json
# press KEY [TEXT]: sends KEY at rest without waiting for the next rest (a
# sign-in runs on) and waits for the box that shows TEXT.
press() {
  e2e_expect "no rest before $1" e2e_idle; e2e_send "$1"
  e2e_expect "no sign-in box" e2e_has "${2:-en voer deze code in:}"
}
approve() {  # approve USER: enters the code the box shows, as USER in the browser
  local code=$(e2e_capture | grep -A1 -F "en voer deze code in:" | tail -n 1 | awk '{ print $1 }')
  curl -fsS -d "user_code=$code" -d "user=$1" "$server/approve" >/dev/null || e2e_fail "approving $code failed"
}

e2e_start 127 50
e2e_mailvak 3 Anna
e2e_do "i Down Down" "no hint for a provider's server" e2e_has "Laat het wachtwoord leeg om in te loggen via je browser."
e2e_do "Space Escape" "Esc did not close the editor" e2e_lacks "Instellingen invullen."  # no password now
press Home && approve anna
e2e_expect "no summary after the sign-in" e2e_row_has 3 "1 bericht,"
e2e_lacks "voer deze code" && [ "$(stat -c %a "$token")" = 600 ] || e2e_fail "the box stayed, or the token file is not 0600"
e2e_quit
e2e_mailvak 3 Anna
e2e_do Home "the second start did not check" e2e_has "Hallo"
[ "$(curl -fsS "$server/log" | grep -o /short/devicecode | wc -l)" = 1 ] || e2e_fail "the second start signed in again"
e2e_keys Left Down
press Home "ga dan in een browser naar:"  # Bert has no token: Esc breaks his sign-in off
e2e_send Escape
e2e_expect "Esc did not break the sign-in off" e2e_has "Aanmelden afgebroken."
e2e_expect "the sign-in run outlived Esc" e2e_idle
[ ! -e "$E2E_WORK/Token2.json" ] && [ ! -e "$E2E_WORK/signin.txt" ] || e2e_fail "Esc left files"
press Home "ga dan in een browser naar:"
opened() { [ "$(wc -l < "$E2E_DIR/viewer.log")" = 2 ]; }
e2e_expect "the browser was not opened for the second sign-in" opened
address=$(tail -n 1 "$E2E_DIR/viewer.log")
[[ $address == "$server/ok/authorize?"*login_hint=bert* ]] || e2e_fail "the viewer got $address"
curl -fsSL --max-time 10 "$address" >/dev/null || e2e_fail "the redirect did not reach the tool"
e2e_expect "no check after the browser sign-in" e2e_row_has 4 "1 bericht,"
e2e_keys Left
curl -fsS -d user=anna "$server/revoke" >/dev/null
e2e_do "Up Home" "a revoked token did not ask for a new sign-in" e2e_has "Opnieuw aanmelden nodig."
[ ! -e "$token" ] || e2e_fail "the tool kept a revoked token file"
press Home && approve anna
e2e_expect "no check after signing in again" e2e_has "Hallo"
e2e_quit
echo PASS
