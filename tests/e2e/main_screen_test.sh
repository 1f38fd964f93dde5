# The main screen in a real terminal: with three accounts whose result files
# from an earlier run lie in the working directory, the folder lines show their
# summaries, Down and Up move the blue bar, F1 shows the help page until a key
# closes it (Esc included: it does not end the program), a resize repaints
# the screen, and q ends it.
source "$(dirname "$0")/lib.sh"

appdata="$E2E_DIR/appdata"
work="$appdata/Mailvak"
mkdir -p "$work"

{
  printf '; Mailvak.ini                                        versie 10.2t\r\n'
  printf '; Zet na [serverinfo] een lege regel en dan steeds de serverinfo,\r\n'
  printf '; 4 items per account, nl servernaam, gebruikersnaam, password en\r\n'
  printf '; benaming (zelf bepalen), een lege regel en dan evt. de volgende\r\n'
  printf '; 4 account-regels. Wel de 4 voorbeeldregels weghalen natuurlijk.\r\n'
  printf '; Het password wordt blind ingevoerd en wordt ook versleuteld, je\r\n'
  printf "; moet 'm dus niet vergeten. Bij hier invullen een * ervoor doen.\r\n"
  printf "; Deze file wordt sinds versie 8.01 ingevuld vanuit 't programma.\r\n"
  printf '\r\n[serverinfo]\r\n\r\n'
  printf '127.0.0.1:1\r\nanna\r\ngeheim1\r\nThuis\r\n\r\n'
  printf '127.0.0.1:1\r\nbob\r\ngeheim2\r\nWerk\r\n\r\n'
  printf '127.0.0.1:1\r\ncarla\r\ngeheim3\r\nVereniging\r\n\r\n'
} > "$work/Mailvak.ini"
chmod 600 "$work/Mailvak.ini"
printf '+OK 2 320\r\n+OK 2 messages\r\n1 120\r\n2 200\r\n.\r\n' > "$work/Get21.txt"
printf '+OK 1 1500\r\n+OK 1 messages\r\n1 1500\r\n.\r\n' > "$work/Get22.txt"
# Account 3 has no result file yet: its summary is the "- -" one.

e2e_start 127 59 "APPDATA=$appdata"
e2e_run "'$MAILVAK_BINARY_DIR/mailvak'"
e2e_wait_for_text "Vereniging" || e2e_fail "the folder lines did not appear"

e2e_expect_row 3 "Thuis$(printf '%*s' 91 '')  2 berichten,       320 bytes."
e2e_expect_row 4 "Werk$(printf '%*s' 92 '')  1 bericht,        1500 bytes."
e2e_expect_row 5 "Vereniging$(printf "%*s" 86 "")  - berichten,         - bytes."

# The blue bar: background 44 in tmux's SGR runs of a row.
row_sgr() { e2e_tmux capture-pane -p -e -t e2e | sed -n "${1}p"; }
row_is_blue() { row_sgr "$1" | grep -qE $'\e\\[([0-9]+;)*44(;[0-9]+)*m'; }
bar_on() {
  local r
  row_is_blue "$1" || return 1
  for r in 3 4 5 6; do
    [ "$r" = "$1" ] && continue
    row_is_blue "$r" && return 1
  done
  return 0
}
e2e_wait_until bar_on 3 || e2e_fail "the bar is not on the first folder line"
e2e_send Down
e2e_wait_until bar_on 4 || e2e_fail "Down did not move the bar to the second line"
e2e_send Down
e2e_wait_until bar_on 5 || e2e_fail "Down did not move the bar to the third line"
e2e_send Up
e2e_wait_until bar_on 4 || e2e_fail "Up did not move the bar back"

e2e_send F1
e2e_wait_for_text "GEBRUIKS-AANWIJZING" || e2e_fail "F1 did not show the help page"
e2e_pane_has "Met Esc of q het programma afsluiten." || e2e_fail "the help text is incomplete"
e2e_send Escape
e2e_wait_for_absence "GEBRUIKS-AANWIJZING" || e2e_fail "a key did not close the help page"
e2e_wait_until bar_on 4 || e2e_fail "the closing key acted on the list"
e2e_expect_row 3 "Thuis$(printf '%*s' 91 '')  2 berichten,       320 bytes."

# A resize repaints the whole screen; the geometry chosen at start stays.
e2e_tmux resize-window -t e2e -x 100 -y 40
e2e_wait_until bar_on 4 || e2e_fail "the screen was not repainted after shrinking"
e2e_tmux resize-window -t e2e -x 127 -y 59
e2e_expect_row 5 "Vereniging$(printf "%*s" 86 "")  - berichten,         - bytes."
e2e_expect_row 59 " Home = check email │ F1 = Help │ (Shft/Ctrl-)Pijltoetsen │ h = Headers │ b = Open bericht │ Alt-d = Delete │ i = instellingen"
e2e_wait_until bar_on 4 || e2e_fail "the bar was lost in the resize"

e2e_send q
e2e_expect_status 0
e2e_wait_for_absence "Vereniging" || e2e_fail "the program's screen is still shown"
echo "PASS"
