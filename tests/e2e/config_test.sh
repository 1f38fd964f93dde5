# The configuration in a real terminal: a first start with an empty APPDATA
# opens the settings editor; an account typed there and Enter on the label row
# give a Mailvak.ini of exactly the expected bytes (mode 0600); a second start
# reads it and shows the account without opening the editor.
source "$(dirname "$0")/lib.sh"

appdata="$E2E_DIR/appdata"
mkdir -p "$appdata"
ini="$appdata/Mailvak/Mailvak.ini"

e2e_start 127 59 "APPDATA=$appdata"
e2e_run "'$MAILVAK_BINARY_DIR/mailvak'"
e2e_wait_for_text "Instellingen invullen." || e2e_fail "the settings editor did not open"
e2e_pane_has "Servernaam:" || e2e_fail "the editor shows no server row"

e2e_send -l "127.0.0.1:1"
e2e_send Tab
e2e_send -l "jann"
e2e_send BSpace
e2e_send Tab
e2e_send -l "geheim"
e2e_wait_for_text "******" || e2e_fail "the password was not shown as stars"
e2e_pane_lacks "geheim" || e2e_fail "the password is visible"
e2e_send Tab
e2e_send -l "Werk"
e2e_send Enter

e2e_wait_for_absence "Instellingen invullen." || e2e_fail "the editor did not close"
e2e_wait_for_text "Werk" || e2e_fail "the new account is not listed"

# The template preamble, then the account with its password scrambled.
e2e_write_ini "$E2E_DIR/expected" "127.0.0.1:1" jan $'#fgkalk\177gdjfmh~H' "Werk"
expected="$E2E_DIR/expected/Mailvak.ini"
cmp "$ini" "$expected" || e2e_fail "Mailvak.ini differs: $(od -c "$ini" | tail -8)"
[ "$(stat -c %a "$ini")" = 600 ] || e2e_fail "Mailvak.ini has mode $(stat -c %a "$ini")"
[ ! -e "$appdata/Mailvak/Mailvak.TMP" ] || e2e_fail "Mailvak.TMP was left behind"

e2e_send q
e2e_expect_status 0

# Second start: the file is read; the editor stays closed.
e2e_send -l "clear"
e2e_send Enter
e2e_run "'$MAILVAK_BINARY_DIR/mailvak'"
e2e_wait_for_text "Werk" || e2e_fail "the second start does not list the account"
e2e_pane_lacks "Instellingen invullen." || e2e_fail "the second start opened the editor"
e2e_send q
e2e_expect_status 0
cmp "$ini" "$expected" || e2e_fail "the second start changed Mailvak.ini"
echo "PASS"
