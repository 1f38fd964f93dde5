# The Windows release as scripts/package-windows writes it from the cross
# build of scripts/test (build-windows): unzip on Linux gives the four files
# with ordinary modes, and the winget and Scoop manifests name this zip's
# SHA-256 and paths that are in it, for this version. Every program of the
# cross build, test helpers included, needs no DLL but Windows' own.
# Exit 77 (skipped) without the cross build or unzip.
set -euo pipefail
SRC=${MAILVAK_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
WIN=${MAILVAK_WINDOWS_DIR:-$SRC/build-windows}
skip() { echo "SKIP: $*"; exit 77; }
[ -f "$WIN/mboxtool.exe" ] && [ -f "$WIN/mailvak.exe" ] || skip "no cross build in $WIN"
command -v unzip >/dev/null || skip "unzip is not installed"
T=$(mktemp -d /tmp/mailvak-release.XXXXXX)
trap 'rm -rf "$T"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$SRC/scripts/package-windows" "$WIN" "$T/out" > "$T/package.log" 2>&1 ||
  { cat "$T/package.log"; fail "scripts/package-windows failed"; }
zip=$(tail -n 1 "$T/package.log")
version=$(sed -n 's/^project(mailvak VERSION \([0-9.]*\).*/\1/p' "$SRC/CMakeLists.txt")
[ "$zip" = "$T/out/Mailvak-$version-windows-x64.zip" ] || fail "the zip is $zip"
(cd "$T" && umask 022 && unzip -q "$zip")
modes=$(cd "$T/Mailvak-$version-windows-x64" && stat -c '%n %a' * | sort | tr '\n' ' ')
[ "$modes" = "LEESMIJ.txt 644 README.txt 644 mailvak.exe 755 mboxtool.exe 755 " ] ||
  fail "unzip gives: $modes"

python3 - "$zip" "$version" "$T/out" <<'PY'
import hashlib, json, re, sys, zipfile, yaml
zip_path, version, out = sys.argv[1:]
names, name = set(zipfile.ZipFile(zip_path).namelist()), zip_path.rsplit("/", 1)[1]
sha = hashlib.sha256(open(zip_path, "rb").read()).hexdigest()
def check(ok, what):
    ok or sys.exit(f"FAIL: {what}")
winget = {kind: yaml.safe_load(open(f"{out}/winget/Mailvak.Mailvak{suffix}.yaml")) for kind, suffix
          in [("version", ""), ("defaultLocale", ".locale.en-US"), ("installer", ".installer")]}
for kind, m in winget.items():
    check((m["ManifestType"], m["ManifestVersion"], m["PackageVersion"], m["PackageIdentifier"]) ==
          (kind, "1.6.0", version, "Mailvak.Mailvak"), f"winget {kind} manifest: {m}")
inst = winget["installer"]
(installer,) = inst["Installers"]
nested = {f["RelativeFilePath"].replace("\\", "/"): f["PortableCommandAlias"]
          for f in inst["NestedInstallerFiles"]}
check(inst["NestedInstallerType"] == "portable" and installer["InstallerSha256"] == sha.upper() and
      installer["InstallerUrl"].endswith("/" + name), f"winget installer: {inst}")
check(sorted(nested.values()) == ["mailvak", "mboxtool"] and
      all(p in names and p.endswith(f"/{a}.exe") for p, a in nested.items()), f"winget: {nested}")
scoop = json.load(open(f"{out}/mailvak.json"))
arch, update = scoop["architecture"]["64bit"], scoop["autoupdate"]["architecture"]["64bit"]
check(scoop["version"] == version and arch["hash"] == sha and arch["url"] == installer["InstallerUrl"],
      f"scoop: {arch}")
check(sorted(scoop["bin"]) == ["mailvak.exe", "mboxtool.exe"] and
      all(f"{arch['extract_dir']}/{b}" in names for b in scoop["bin"]), f"scoop bin: {scoop['bin']}")
found = re.search(scoop["checkver"]["regex"], name)
check(found and found.group(1) == version, "scoop: checkver does not find the version")
check(all("$version" in v for v in update.values()) and
      {k: v.replace("$version", version) for k, v in update.items()} == {k: arch[k] for k in update},
      f"scoop: autoupdate gives {update}")
PY

own_dlls='^(ADVAPI32|bcrypt|CRYPT32|KERNEL32|msvcrt|ole32|Secur32|SHELL32|USER32|WINHTTP|WS2_32)\.dll$'
for exe in "$WIN"/*.exe "$WIN"/tests/*.exe; do
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p')
  others=$(grep -Eiv "$own_dlls" <<< "$dlls" || true)
  [ -z "$others" ] || fail "${exe##*/} needs $others"
done
echo "PASS: ${zip##*/}, $(stat -c %s "$zip") bytes"
