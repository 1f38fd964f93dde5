# Reading a message in a real terminal: Right opens it under its line, a long
# body line wraps at a blank and continues indented, w cuts it instead, h adds
# the full header lines; Shift-Left/Right move the subject column, Ctrl-Left/
# Right the date column, Shift-Ctrl-Left/Right scroll header and body lines
# sideways; Left closes the message and keeps only the header choice.
source "$(dirname "$0")/lib.sh"

e2e_dovecot_start
e2e_adduser leden geheim
sender="Pieternella van der Weerd-Oosterhout <pieternella@voorbeeld.example.org>"
subject="Uitnodiging voor de algemene ledenvergadering van dinsdag 15 december in het buurthuis"
long=$(for i in $(seq -w 1 25); do printf 'woord%s ' "$i"; done)
long=${long% }
{
  printf 'From: %s\r\nTo: ontvanger@example.org\r\nSubject: %s\r\n' "$sender" "$subject"
  printf 'Date: Mon, 7 Dec 2026 10:00:00 +0000\r\n\r\nBeste leden,\r\n%s\r\nTot dan.\r\n' "$long"
} > "$E2E_DIR/m1"
e2e_message "$E2E_DIR/m2" Tweede 1
e2e_addmail leden "$E2E_DIR/m1" "$E2E_DIR/m2"

appdata="$E2E_DIR/appdata"
e2e_write_ini "$appdata/Mailvak" "127.0.0.1:$E2E_PORT" leden geheim "Vereniging"

e2e_start 127 59 "APPDATA=$appdata"
e2e_run "'$MAILVAK_BINARY_DIR/mailvak'"
e2e_wait_until e2e_row_starts 3 "Vereniging" || e2e_fail "the folder line did not appear"
e2e_key Home
e2e_wait_for_text "Tweede" || e2e_fail "Home did not list the messages"

# Message 1 is list line 3, screen row 5. field START LENGTH: a piece of it.
field() { local row; row=$(e2e_row 5); printf '%s' "${row:$1:$2}"; }
field_is() { [ "$(field "$1" "$2")" = "$3" ]; }
expect_field() {
  e2e_wait_until field_is "$1" "$2" "$3" ||
    e2e_fail "$4: columns $(($1 + 1))-$(($1 + $2)) show '$(field $1 $2)', expected '$3'"
}
expect_field 5 30 "${sender:0:30}" "the sender at the start"
expect_field 37 57 "${subject:0:57}" "the subject at the start"
expect_field 96 11 "07 Dec 2026" "the date at the start"

e2e_keys S-Right S-Right S-Right
expect_field 5 33 "${sender:0:33}" "the sender after three Shift-Right"
expect_field 40 54 "${subject:0:54}" "the subject after three Shift-Right"
e2e_keys S-Left S-Left S-Left
expect_field 37 57 "${subject:0:57}" "the subject after three Shift-Left"

e2e_keys C-Left C-Left C-Left C-Left C-Left C-Left
expect_field 90 11 "07 Dec 2026" "the date after six Ctrl-Left"
expect_field 37 51 "${subject:0:51}" "the subject before the moved date"
e2e_keys C-Right C-Right C-Right C-Right C-Right C-Right
expect_field 96 11 "07 Dec 2026" "the date after six Ctrl-Right"

# Right: the body under the message line; the long line wraps before its
# last blank that fits and continues with one blank more.
e2e_keys Down Down Right
e2e_wait_until e2e_row_is 6 "    Beste leden," || e2e_fail "Right did not open the message: '$(e2e_row 6)'"
e2e_expect_row 7 "    ${long:0:119}"
e2e_expect_row 8 "    ${long:119}"
e2e_expect_row 9 "    Tot dan."

e2e_key w
e2e_expect_row 7 "    ${long:0:123}"
e2e_expect_row 8 "    Tot dan."

e2e_key h
e2e_wait_for_text "    To: ontvanger@example.org" || e2e_fail "h did not show the full headers"
e2e_pane_has "    Date: Mon, 7 Dec 2026 10:00:00 +0000" || e2e_fail "the Date header line is missing"

# Shift-Ctrl-Left scrolls the header and body lines, not the message line.
for _ in $(seq 1 20); do e2e_key C-S-Left; done
e2e_wait_for_text "$(printf '%s' "$long" | cut -c17-139)" || e2e_fail "the long line did not scroll by 20"
e2e_row_has 5 "${subject:0:30}" || e2e_fail "the message line scrolled too"
e2e_pane_lacks "    To: ontvanger" || e2e_fail "the header lines did not scroll"
for _ in $(seq 1 21); do e2e_key C-S-Right; done
e2e_wait_for_text "    To: ontvanger@example.org" || e2e_fail "Shift-Ctrl-Right did not scroll back to the start"
e2e_pane_has "    Beste leden," || e2e_fail "the body does not start at its indent again"

# Left closes the message; Right opens it again with the full headers still
# chosen and the line wrapped again.
e2e_key Left
e2e_wait_for_absence "Beste leden," || e2e_fail "Left did not close the message"
e2e_key Right
e2e_wait_for_text "    To: ontvanger@example.org" || e2e_fail "Left dropped the full headers"
e2e_wait_for_text "    ${long:119}" || e2e_fail "Left did not drop the cut-off choice"

e2e_key q
e2e_expect_status 0
echo "PASS"
