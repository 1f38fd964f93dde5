# Installing: `cmake --install` puts both programs into PREFIX/bin and the
# manual page into PREFIX/share/man/man1, and the installed mailvak, started
# from an unrelated directory, copies the installed tool into its working
# directory.
source "$(dirname "$0")/lib.sh"

prefix="$E2E_DIR/prefix"
cmake --install "$MAILVAK_BINARY_DIR" --prefix "$prefix" >"$E2E_DIR/install.log" 2>&1 ||
  { cat "$E2E_DIR/install.log" >&2; e2e_fail "cmake --install failed"; }
for file in bin/mailvak bin/mboxtool; do
  [ -x "$prefix/$file" ] || e2e_fail "$file is not installed as a program"
done
[ -f "$prefix/share/man/man1/mailvak.1" ] || e2e_fail "the manual page is not installed"
if command -v man >/dev/null; then
  MANPATH="$prefix/share/man" man -P cat mailvak 2>/dev/null | grep -q "mboxtool" ||
    e2e_fail "man does not find the installed page"
fi

appdata="$E2E_DIR/appdata"
mkdir -p "$appdata/Mailvak" "$E2E_DIR/elsewhere"
{
  printf '; Mailvak.ini%40sversie 10.2t\r\n' ''
  for i in 2 3 4 5 6 7 8; do printf '; %63s\r\n' "regel $i"; done
  printf '\r\n[serverinfo]\r\n\r\n127.0.0.1:1\r\njan\r\n\r\nTest\r\n\r\n'
} > "$appdata/Mailvak/Mailvak.ini"

e2e_start 127 59 "APPDATA=$appdata"
e2e_run "cd '$E2E_DIR/elsewhere' && '$prefix/bin/mailvak'"
e2e_wait_for_text "Mailvak-ontwikkelaars" || e2e_fail "the installed program did not start"
e2e_send q
e2e_expect_status 0
cmp -s "$prefix/bin/mboxtool" "$appdata/Mailvak/mboxtool" ||
  e2e_fail "the working directory does not hold the installed tool"
[ -x "$appdata/Mailvak/mboxtool" ] || e2e_fail "the copied tool lost its run bit"
echo "PASS"
