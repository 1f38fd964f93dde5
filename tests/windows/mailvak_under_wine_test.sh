# The Windows build under wine in a 127 x 58 tmux pane (wine's 1024 x 768 desktop
# on its "6.1.7" version) against Dovecot: title line and key bar at their rows
# and colours, Home, Right, F1, the settings editor and q. Keys go around
# wine's limits on a terminal: Home as ESC [ H (tmux's ESC [ 1 ~ arrives without
# a key code); Esc only once the screen has settled (Esc with a letter right
# behind it arrives as Alt with the letter).
source "$(dirname "$0")/../e2e/lib.sh"
WINDOWS_DIR=${MAILVAK_WINDOWS_DIR:-$MAILVAK_SOURCE_DIR/build-windows}
WINE=/usr/lib/wine/wine64
for need in "$WINDOWS_DIR/mailvak.exe" "$WINDOWS_DIR/mboxtool.exe" "$WINE"; do
  [ -e "$need" ] || { echo "SKIP: $need is missing (cross build: see cmake/mingw-w64.cmake)"; exit 77; }
done

# One prefix for every run, made on the first (it takes a few seconds and 700 MB).
export WINEPREFIX=${MAILVAK_WINEPREFIX:-${TMPDIR:-/tmp}/mailvak-wine-$(id -u)}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$WINEPREFIX/system.reg" ] || "$WINE" wineboot -i >/dev/null 2>&1 || e2e_fail "no wine prefix"
trap '"${WINE%/*}/wineserver" -k 2>/dev/null; e2e_cleanup' EXIT
E2E_WORK="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Mailvak"
rm -rf "$E2E_WORK"

# settled: the pane shows the same twice in a row, so the program is done
# drawing and waits for a key (a key that comes while it draws is dropped).
E2E_LAST=
settled() { local now; now=$(e2e_capture); [ "$now" = "$E2E_LAST" ] || { E2E_LAST=$now; false; }; }
# press KEYS MESSAGE COMMAND...: the send-keys arguments once the pane has
# settled, then a poll for COMMAND.
press() {
  local keys=$1 message=$2; shift 2
  e2e_expect "the screen did not settle before $keys" settled
  e2e_send $keys
  e2e_expect "$message" "$@"
}
lacks_row() { ! e2e_row_has "$@"; }
# cursor_on N: list line N is the only blue one. Rows the console never wrote
# stay empty in the pane and carry no colour of their own.
cursor_on() {
  [ "$(paste <(e2e_colours 1) <(e2e_capture) | awk -F '\t' '$1 ~ / 44$/ && $2 != "" { printf "%d ", NR }')" = "$(($1 + 2)) " ]
}

e2e_accounts "jan Thuis Welkom:3 Factuur Etentje"
e2e_start 127 58
"${WINE%/*}/wineserver" -p 2>/dev/null  # the server stays up between the runs below
start=$(date +%s%N)
e2e_run "clear; '$WINE' '$WINDOWS_DIR/mailvak.exe'"
title=" * * *  Mailvak  v10.2t    POP3-emailchecker    80 accounts    800 emails per account    (c) 2026"
bar=" Home = check email │ F1 = Help │ (Shft/Ctrl-)Pijltoetsen │ h = Headers │ b = Open bericht │"
first_screen() { e2e_row_starts 1 "$title" && e2e_row_starts 58 "$bar" && e2e_row_has 3 Thuis; }
e2e_expect "the first screen is not complete" first_screen
echo "first complete screen after $((($(date +%s%N) - start) / 1000000)) ms"

colours=$(e2e_colours 2 | sed -n '1p;58p' | tr '\n' ' ')
[ "$colours" = "97 45 35 47 " ] || e2e_fail "title and key bar colours are '$colours'"
[ "$(e2e_colours 21 | sed -n 58p)" = "30 47" ] || e2e_fail "the key bar's separator is not black on grey"
cursor_on 1 || e2e_fail "the cursor bar is not on the folder line"

press "-H 1b 5b 48" "Home did not list the messages" e2e_row_has 7 Etentje
e2e_row_has 3 " bericht" || e2e_fail "the folder line has no summary"
press Down "Down did not reach the column header" cursor_on 2
press Down "Down did not reach the first message" cursor_on 3
press Right "Right did not open the message" e2e_has "Regel 003 van Welkom"
press F1 "F1 did not show the help page" e2e_row_has 7 GEBRUIKS-AANWIJZING
press q "q did not close the help page" lacks_row 7 GEBRUIKS-AANWIJZING
e2e_row_starts 1 "$title" || e2e_fail "the title line is gone after the help page"
press i "i did not open the settings editor" e2e_has "Instellingen invullen."
press Escape "Esc did not close the settings editor" e2e_lacks "Instellingen invullen."
press q "q did not end the program" true
e2e_ended
echo PASS
