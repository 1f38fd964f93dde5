# The Debian package as built by scripts/package-debian (in debian-package/ of
# the test build, so a second run only relinks): it holds both programs,
# the gzipped manual page and the copyright, depends on the libraries the
# programs link (OpenSSL among them), and lintian finds no error in it.
# Unpacked into a throwaway root, its mailvak starts in tmux to the list of
# one account, having copied the mboxtool from beside itself into its working
# directory, and the unpacked mboxtool lists that account's mailbox on Dovecot.
# Exit 77 (skipped) without cpack, dpkg-deb, dpkg-shlibdeps or lintian.
source "$(dirname "$0")/../e2e/lib.sh"
for tool in cpack dpkg-deb dpkg-shlibdeps lintian; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is not installed" >&2; exit 77; }
done

start=$SECONDS
"$MAILVAK_SOURCE_DIR/scripts/package-debian" "$MAILVAK_BINARY_DIR/debian-package" "$E2E_DIR" \
  > "$E2E_DIR/package.log" 2>&1 || { cat "$E2E_DIR/package.log"; e2e_fail "scripts/package-debian failed"; }
deb=$(tail -n 1 "$E2E_DIR/package.log")
echo "package: ${deb##*/}, $(stat -c %s "$deb") bytes, built in $((SECONDS - start)) s"

root=$E2E_DIR/root
dpkg-deb -x "$deb" "$root" || e2e_fail "dpkg-deb -x failed"
[ -x "$root/usr/bin/mailvak" ] && [ -x "$root/usr/bin/mboxtool" ] &&
  gzip -t "$root/usr/share/man/man1/mailvak.1.gz" && [ -s "$root/usr/share/doc/mailvak/copyright" ] ||
  e2e_fail "the package lacks a program, the manual page or the copyright: $(dpkg-deb -c "$deb")"
[[ "$(dpkg-deb -f "$deb" Depends)" == *libssl3* ]] || e2e_fail "Depends: $(dpkg-deb -f "$deb" Depends)"
lintian --fail-on error "$deb" > "$E2E_DIR/lintian.log" 2>&1 ||
  e2e_fail "lintian: $(grep '^E: ' "$E2E_DIR/lintian.log")"

e2e_accounts "anna Anna Welkom Factuur"
MAILVAK_BINARY_DIR=$root/usr/bin  # e2e_mailvak starts the unpacked program
e2e_start 127 59
e2e_mailvak 3 "Anna"
cmp -s "$root/usr/bin/mboxtool" "$E2E_WORK/mboxtool" || e2e_fail "the working directory lacks the unpacked tool"
e2e_quit
list=$(cd "$E2E_DIR" && printf 'geheim\n' | "$root/usr/bin/mboxtool" 127.0.0.1 "$E2E_PORT" anna - list)
[[ $list == "+OK 2 "* ]] || e2e_fail "the unpacked mboxtool listed: $list"
echo "PASS in $((SECONDS - start)) s"
