# Marking and deleting: Enter marks a message and steps down, Space toggles a
# mark; marked lines are brown on light grey. Alt-d asks "De gemarkeerde
# berichten ..." and "j" deletes them after another client removed a message,
# so the server renumbered the rest: exactly the marked ones go, and the folder
# is checked again. Alt-d on a folder line asks "Alle berichten van deze ..."
# and "j" empties that mailbox, mail that came after the last check included.
source "$(dirname "$0")/lib.sh"

e2e_accounts "post Post Een Twee Drie Vier Vijf" "bus Brievenbus Oud1 Oud2"
held() { [ "$(e2e_subjects "$1")" = "$2" ]; }
# marked ROW...: exactly these rows show a mark's colours (brown on light grey).
marked() { [ "$(e2e_colours 3 | awk '$0 == "33 47" { printf "%s%d", s, NR; s = " " }')" = "$*" ]; }

e2e_start 127 59
e2e_mailvak 4 Brievenbus
e2e_do Home "Home did not list the messages" e2e_has Vijf
# Messages 1 to 5 are list lines 3 to 7 (screen rows 5 to 9).
e2e_do "Down Down Enter Enter Enter" "three Enters did not step down three lines" e2e_cursor_on 6
e2e_do "Up Space Down Down Space Space Space Up" "the marks are not on messages 1, 2 and 5" marked 5 6 9
# Another client removes message 3 ("Drie"): Vier and Vijf become 3 and 4.
rm "$(grep -l '^Subject: Drie' "$E2E_DOVECOT"/mail/post/Maildir/cur/*)"
e2e_do M-d "Alt-d did not ask about the marked messages" e2e_has "De gemarkeerde berichten"
e2e_do j "the server does not hold Vier alone" held post "Vier "
e2e_expect "the folder was not checked again" e2e_row_has 3 "1 bericht,"
e2e_lacks Een && e2e_has Vier && marked || e2e_fail "the list does not show what the server holds, unmarked"

# The cursor stays on list line 6; the second folder line is now line 4.
e2e_do "Up Up Home" "Home did not list the second mailbox" e2e_has Oud2
e2e_addmail bus "$(e2e_message Nieuw)"
e2e_do M-d "Alt-d on the folder line did not ask" e2e_has "Alle berichten van deze"
e2e_do j "the mailbox was not emptied" held bus ""
e2e_expect "the emptied folder was not checked again" e2e_has "Geen berichten op de server."
e2e_row_has 6 "0 berichten," && held post "Vier " || e2e_fail "the folder line still counts mail, or the other mailbox lost mail"
e2e_quit
echo PASS
