#!/usr/bin/env bash
# package_contents.sh BUILD-DIR
# Builds the Debian package from the program already built (CPack, as
# scripts/package does) into a temporary folder and checks what it holds: the
# files and nothing else, the link on PATH, the empty data folder users cannot
# write, the dependencies dpkg-shlibdeps found, and that the menu entry and
# the AppStream metadata pass their validators.
set -uo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../support/desktop_driver.sh" # check and finish

for tool in cpack dpkg-deb dpkg-shlibdeps file; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is needed to build the package (scripts/setup installs it)"
    exit 77
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset DESTDIR

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAILED: cpack"
  exit 1
fi
debs=("$work"/out/kestrova_*.deb)
check "one package, named kestrova_<version>_<arch>.deb" \
  test "${#debs[@]}" -eq 1 -a -f "${debs[0]}"
deb=${debs[0]}
check "its architecture is this machine's" \
  test "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)"

# Every entry but the folders that only lead somewhere.
dpkg-deb --contents "$deb" | awk '{ $1=$2=$3=$4=$5=""; sub(/^ +/, ""); print }' |
  grep -v '/$' | sort >"$work/files"
dpkg-deb --contents "$deb" | awk '$6 ~ /★MailData\/$/ { print $1, $2, $6 }' >"$work/datafolder"
{
  echo "./usr/bin/kestrova -> ../lib/kestrova/kestrova"
  for size in 16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256; do
    echo "./usr/share/icons/hicolor/$size/apps/kestrova.png"
  done
  echo "./usr/share/icons/hicolor/scalable/apps/kestrova.svg"
  echo "./usr/lib/kestrova/kestrova"
  echo "./usr/lib/kestrova/Sound/1.wav"
  echo "./usr/share/doc/kestrova/copyright"
  echo "./usr/share/applications/example.kestrova.Kestrova.desktop"
  echo "./usr/share/metainfo/example.kestrova.Kestrova.metainfo.xml"
  echo "./usr/share/doc/kestrova/README.md"
} | sort >"$work/expected"
check "the package holds exactly the program, its sound, the link on PATH, the menu entry, icons, metadata and licence" \
  diff "$work/expected" "$work/files"
check "the data folder ships empty, root's, not writable by users" \
  test "$(cat "$work/datafolder")" = "drwxr-xr-x root/root ./usr/lib/kestrova/★MailData/"
check "nothing else under the data folder" \
  test -z "$(dpkg-deb --contents "$deb" | awk '$6 ~ /★MailData\/./')"

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6network6 libqt6dbus6 libsdl2-2.0-0 libc6 qt6-qpa-plugins; do
  check "depends on $lib" grep -q "\b$lib\b" <<<"$depends"
done

dpkg-deb -x "$deb" "$work/root"
check "the program is a stripped executable" \
  bash -c "file -L '$work/root/usr/lib/kestrova/kestrova' | grep -q 'ELF.*executable.*, stripped'"
desktop=$work/root/usr/share/applications/example.kestrova.Kestrova.desktop
metainfo=$work/root/usr/share/metainfo/example.kestrova.Kestrova.metainfo.xml
check "the menu entry starts the command on PATH" grep -qx 'Exec=kestrova' "$desktop"
check "the menu entry's icon is one the package installs" \
  test -f "$work/root/usr/share/icons/hicolor/48x48/apps/$(sed -n 's/^Icon=//p' "$desktop").png"
check "the metadata names the menu entry" \
  grep -q '<launchable type="desktop-id">example.kestrova.Kestrova.desktop</launchable>' "$metainfo"

# The licence: MIT for everything, in Debian's machine-readable copyright
# format, its text that of LICENSE; CC0 for the metadata, as it says itself.
source_root=$here/../../..
copyright=$work/root/usr/share/doc/kestrova/copyright
check "LICENSE is the MIT licence of the Kestrova developers" \
  grep -qx 'Copyright (c) 2026 The Kestrova developers' "$source_root/LICENSE"
check "the copyright file is in the machine-readable format" \
  test "$(head -n 1 "$copyright")" = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
check "every file of the package is under MIT" \
  bash -c "grep -A2 -x 'Files: \*' '$copyright' | grep -qx 'License: MIT'"
# The stand-alone MIT paragraph, unindented, against LICENSE from "Permission" on.
sed -n '/^License: MIT$/,/^$/{/^ /p}' "$copyright" | sed 's/^ //; s/^\.$//' >"$work/mit"
sed -n '/^Permission/,$p' "$source_root/LICENSE" >"$work/mit.expected"
check "the copyright file holds the licence text of LICENSE" diff "$work/mit.expected" "$work/mit"
check "the metadata's licence names CC0 where Debian keeps its text" \
  test -f /usr/share/common-licenses/CC0-1.0 -a "$(grep -c 'CC0-1.0' "$copyright")" -ge 2
check "the metadata states the project's licence" \
  grep -q '<project_license>MIT</project_license>' "$metainfo"
# Only what answers: no made-up address (the reserved .example domain) in the
# package's fields or its metadata.
names_no_made_up_address() {
  ! dpkg-deb -f "$deb" | grep -q '\.example\b' && ! grep -q '\.example\b' "$metainfo"
}
check "the package names a maintainer" test -n "$(dpkg-deb -f "$deb" Maintainer)"
check "no field or metadata names an address that cannot answer" names_no_made_up_address

if command -v desktop-file-validate >/dev/null; then
  check "desktop-file-validate accepts the menu entry" desktop-file-validate "$desktop"
else
  echo "not checked: desktop-file-validate is not installed"
fi
if command -v appstreamcli >/dev/null; then
  # --no-net: the screenshot addresses are not fetched; tests never depend on
  # the network (CI machines may have none).
  # AppStream 1.0 (Debian 13) warns of a missing home page; the project has
  # none yet and names none that cannot answer (checked below).
  no_home_page=()
  if [ "$(appstreamcli --version | sed -n 's/.*version: \([0-9]*\).*/\1/p')" -ge 1 ]; then
    no_home_page=(--override=url-homepage-missing=info)
  fi
  check "appstreamcli validates the metadata" \
    appstreamcli validate --no-net "${no_home_page[@]}" "$metainfo"
else
  echo "not checked: appstreamcli is not installed"
fi

finish
