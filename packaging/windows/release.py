#!/usr/bin/env python3
"""Writes the Windows release into OUT_DIR: the zip and its manifests.

  release.py VERSION EXE_DIR OUT_DIR URL_BASE

Mailvak-<version>-windows-x64.zip holds one folder of that name with
mailvak.exe and mboxtool.exe (taken from EXE_DIR) and LEESMIJ.txt and
README.txt in CR LF. Its entries carry Unix modes (0755 for the programs,
0644 for the texts), so unzip on Linux gives ordinary files.

Beside it, for the zip published as URL_BASE/<zip name>:
  winget/   the multi-file winget manifest (version, en-US locale, installer)
            of a portable package: both programs get a command alias, so
            winget's links folder holds mboxtool.exe beside mailvak.exe, where
            Mailvak looks for its tool;
  mailvak.json  the Scoop manifest: both programs as shims, checkver on the
            release folder's index and autoupdate.
"""
import hashlib
import json
import os
import sys
import time
import zipfile

Identifier = "Mailvak.Mailvak"
Summary = "Keeps an eye on up to 80 POP3 mailboxes from a console window"
Description = ("Mailvak is a full-screen, keyboard-driven console program that lists, per "
               "account, what waits on a POP3 server without becoming a mail store. Every "
               "server operation is one run of its POP3 tool mboxtool. All texts on screen "
               "are Dutch.")
Publisher = "Mailvak-ontwikkelaars"
License = "Proprietary"  # no licence has been granted yet (packaging/debian/copyright)
Programs = ["mailvak.exe", "mboxtool.exe"]
Texts = ["LEESMIJ.txt", "README.txt"]
ManifestVersion = "1.6.0"


def write_zip(path, folder, exe_dir, text_dir):
    stamp = time.localtime()[:6]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name in Programs + Texts:
            data = open(os.path.join(exe_dir if name in Programs else text_dir, name), "rb").read()
            if name in Texts:  # Notepad of old wants CR LF
                data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
            entry = zipfile.ZipInfo(f"{folder}/{name}", stamp)
            entry.create_system = 3  # Unix: unzip takes the mode from external_attr
            entry.external_attr = (0o100755 if name in Programs else 0o100644) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(entry, data)


def write_winget(out, version, url, sha256, folder):
    q = json.dumps  # a JSON string is a YAML string, whatever it holds
    def manifest(kind, lines):
        schema = f"https://aka.ms/winget-manifest.{kind}.{ManifestVersion}.schema.json"
        suffix = {"version": "", "defaultLocale": ".locale.en-US", "installer": ".installer"}[kind]
        text = [f"# yaml-language-server: $schema={schema}",
                f"PackageIdentifier: {Identifier}", f"PackageVersion: '{version}'", *lines,
                f"ManifestType: {kind}", f"ManifestVersion: {ManifestVersion}"]
        with open(os.path.join(out, f"{Identifier}{suffix}.yaml"), "w", newline="\n") as f:
            f.write("\n".join(text) + "\n")

    os.makedirs(out, exist_ok=True)
    manifest("version", ["DefaultLocale: en-US"])
    manifest("defaultLocale", [
        "PackageLocale: en-US", f"Publisher: {q(Publisher)}", "PackageName: Mailvak",
        f"License: {q(License)}", f"ShortDescription: {q(Summary)}",
        f"Description: {q(Description)}",
        "Moniker: mailvak", "Tags:", "  - pop3", "  - email", "  - console"])
    nested = []
    for program in Programs:
        inside = folder + "\\" + program  # a Windows path inside the zip
        nested += [f"  - RelativeFilePath: {q(inside)}",
                   f"    PortableCommandAlias: {program[:-len('.exe')]}"]
    manifest("installer", [
        "InstallerType: zip", "NestedInstallerType: portable", "NestedInstallerFiles:", *nested,
        "MinimumOSVersion: 10.0.0.0", "Installers:", "  - Architecture: x64",
        f"    InstallerUrl: {q(url)}", f"    InstallerSha256: {sha256.upper()}"])


def write_scoop(path, version, url, sha256, url_base):
    pattern = lambda v: f"Mailvak-{v}-windows-x64"
    scoop = {
        "version": version,
        "description": Summary,
        "homepage": url_base,
        "license": License,
        "architecture": {"64bit": {"url": url, "hash": sha256, "extract_dir": pattern(version)}},
        "bin": Programs,
        "checkver": {"url": url_base + "/", "regex": r"Mailvak-([\d.]+)-windows-x64\.zip"},
        "autoupdate": {"architecture": {"64bit": {
            "url": f"{url_base}/{pattern('$version')}.zip", "extract_dir": pattern("$version")}}},
    }
    with open(path, "w", newline="\n") as f:
        json.dump(scoop, f, indent=4)
        f.write("\n")


def main():
    version, exe_dir, out, url_base = sys.argv[1:5]
    url_base = url_base.rstrip("/")
    folder = f"Mailvak-{version}-windows-x64"
    zip_path = os.path.join(out, folder + ".zip")
    text_dir = os.path.dirname(os.path.abspath(__file__))
    write_zip(zip_path, folder, exe_dir, text_dir)
    sha256 = hashlib.sha256(open(zip_path, "rb").read()).hexdigest()
    url = f"{url_base}/{folder}.zip"
    write_winget(os.path.join(out, "winget"), version, url, sha256, folder)
    write_scoop(os.path.join(out, "mailvak.json"), version, url, sha256, url_base)
    print(zip_path)


if __name__ == "__main__":
    main()
