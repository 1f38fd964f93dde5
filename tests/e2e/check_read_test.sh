# Checking and reading a message of 200 body lines: a server that does not
# answer gives "Geen/foute reaktie van de server, naam fout?", no busy sign
# stays. A Home check logs in once and writes the files that the tool's list
# and top runs write by hand. Home fetches 40 body lines, Ctrl-Home 80, Shift-Home 160 into the
# header file, and Right shows them (127 at most); h adds the header lines; a
# check key on a message line asks nothing. b fetches it into ML-1-1.eml for
# the viewer (xdg-open); Ctrl-b asks "Hoeveel KiloBytes ophalen", 2 gives 27.
source "$(dirname "$0")/lib.sh"

e2e_accounts "lang Lang Lang:200 Kort" "lang@127.0.0.1:1 Weg"
get4="$E2E_WORK/Get41.txt" eml="$E2E_WORK/ML-1-1.eml" viewer="$E2E_DIR/viewer.log"
# body N: message 1 shows N body lines, the last one N, and the header file holds N.
in_file() { [ "$(tr -d '\r' < "$get4" | grep -c '^Regel [0-9]* van Lang$')" = "$1" ]; }
shown() { [ "$(e2e_capture | grep -c 'Regel [0-9]* van Lang')" = "$1" ] && e2e_has "Regel $(printf %03d "$1") van"; }
body() { e2e_expect "$1 body lines are not shown" shown "$1"; in_file "$1" || e2e_fail "the header file lacks $1 body lines"; }
# viewed N LINES: the viewer was called N times with ML-1-1.eml, which holds
# the message's header lines and LINES body lines.
viewed() {
  [ "$(cat "$viewer" 2>/dev/null)" = "$(yes "$eml" | head -n "$1")" ] &&
    cmp -s <(head -n $((5 + $2)) "$E2E_DIR/Lang") "$eml"
}

# 127 x 95: the largest list window, 91 lines, so 80 body lines fit in it.
e2e_start 127 95
e2e_mailvak 4 Weg
e2e_do "Down Home" "no status line for a server without answer" e2e_has "Geen/foute reaktie van de server, naam fout?"
e2e_lacks bezig || e2e_fail "a busy sign stayed after the check had ended"
e2e_do "Left Up Home" "no summary after Home" e2e_row_has 3 "2 berichten,"
# That check was one login, and its files are what the tool's list and top write by hand.
logins=$(grep -c 'Login: user=<lang>' "$E2E_DOVECOT/dovecot-$E2E_PORT.log")
[ "$logins" = 1 ] || e2e_fail "a Home check logged in $logins times"
hand() { (cd "$E2E_DIR" && "$E2E_WORK/mboxtool" "127.0.0.1:$E2E_PORT" 110 lang geheim "$@"); }
cmp -s <(hand list) "$E2E_WORK/Get21.txt" && cmp -s <(hand top 2 40) "$get4" ||
  e2e_fail "the check's files differ from those of list and top"
# Line 2 is the column header row, line 3 message 1.
e2e_keys Down Down Right
body 40
e2e_do h "h did not show the header lines" e2e_has "    To: ontvanger@example.org"
e2e_do "h b" "b did not give the viewer the whole message" viewed 1 200
[ "$(stat -c %a "$eml" "$get4" "$E2E_WORK/Get21.txt" | sort -u)" = 600 ] || e2e_fail "a file is not mode 0600"
e2e_do C-b "Ctrl-b did not ask for kilobytes" e2e_has "Hoeveel KiloBytes ophalen"
e2e_send -l 2
e2e_do Enter "2 KB did not give the viewer the header lines and 27 body lines" viewed 2 27

touch -d @1000000000 "$get4"
e2e_keys Home C-Home S-Home
[ "$(stat -c %Y "$get4")" = 1000000000 ] || e2e_fail "a check key on a message line asked the server"
e2e_keys Up Up C-Home
body 80
e2e_do S-Home "Shift-Home did not fetch 160 body lines" in_file 160
e2e_do NPage "the end of the long message is not shown" e2e_has "Regel 127 van Lang"
e2e_lacks "Regel 128 van" || e2e_fail "more than 127 body lines are shown"
e2e_capture | grep -A1 -F "Regel 127 van Lang" | tail -n 1 | grep -q Kort || e2e_fail "message 2 does not follow line 127"
e2e_quit
echo PASS
