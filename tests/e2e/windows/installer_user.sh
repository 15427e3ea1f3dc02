#!/usr/bin/env bash
# The Windows installer as an ordinary user meets it, under Wine: an account
# of its own (when started as root; root may write anywhere) with a Wine
# prefix of its own; the silent install, twice (the second over the first);
# the install folder made read-only; Kestrova started from its Start-menu
# shortcut and driven with xdotool: the sound switch (the install folder's
# name has a blank), 設定's hang-up option, the server and account dialogs, a
# check against Dovecot and a trusted certificate, all kept in
# %LOCALAPPDATA%\kestrova\★MailData and the documents folder, nothing
# beside the program; an install over the running program, refused whole;
# the silent uninstall, which keeps the user's settings.
#   installer_user.sh SETUP-EXE ZIP WINE-RUNNER
set -uo pipefail
setup=$1
zip=$2
wine_runner=$3
here=$(dirname "$0")
. "$here/../../support/desktop_driver.sh"
needs_desktop
if [ ! -f "$setup" ] || [ ! -f "$zip" ] || ! command -v dovecot >/dev/null; then
  echo "skipped: needs the installer and the zip (scripts/windows makes them) and Dovecot"
  exit 77
fi
. "$here/dovecot.sh"
. "$here/dialogs.sh"

work=$(mktemp -d)
chmod 711 "$work"
user=$(id -un)
app_pid=""
if [ "$(id -u)" -eq 0 ]; then
  user=kestrova$$
  useradd --no-create-home --user-group --shell /usr/sbin/nologin "$user" || exit 1
fi
home=$work/home
prefix=$home/wine
mkdir -p "$home"
chown "$user:" "$home"

# as_user CMD...: CMD as the user, with nothing of this process's environment
# but the display and the user's own Wine prefix.
as_user() {
  local run=()
  [ "$user" != "$(id -un)" ] && run=(setpriv --reuid="$user" --regid="$user" --clear-groups)
  "${run[@]}" env -i HOME="$home" USER="$user" LOGNAME="$user" PATH=/usr/bin:/bin \
    LANG=C.UTF-8 DISPLAY="$DISPLAY" XAUTHORITY="$home/.Xauthority" DBUS_SESSION_BUS_ADDRESS=disabled: \
    WINEPREFIX="$prefix" KESTROVA_WINE_PREFIX="$prefix" KESTROVA_WINE_BARE=1 "$@"
}
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  as_user wineserver -k 2>/dev/null
  dovecot_stop
  stop_window_manager
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
  if [ "$user" != "$(id -un)" ]; then
    wait_for bash -c "! pgrep -u $user >/dev/null"
    userdel "$user"
  fi
}
trap cleanup EXIT

# The X server's cookie, for the user to read.
if [ -n "${XAUTHORITY:-}" ]; then
  xauth -f "$XAUTHORITY" nextract - "$DISPLAY" | as_user xauth -f "$home/.Xauthority" nmerge - 2>/dev/null
fi
cp "$setup" "$work/setup.exe"
chmod 644 "$work/setup.exe"

c=$prefix/drive_c
program="$c/Program Files/Kestrova"
shortcut="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/ケストローバ.lnk"
mine="$c/users/$user/AppData/Local/kestrova/★MailData"
documents="$c/users/$user/Documents"

# The entry among the installed programs, from the registry as Wine saved it
# when its server ended (names in its escapes: ケストローバ).
entry() {
  awk '/^\[/ { on = index($0, "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Kestrova]") == 1 }
       on && /^"/' "$prefix/system.reg" 2>/dev/null
}
entry_has() { entry | grep -qF -- "$1"; }
# Nothing of an install beside the install folder (its new or old self).
nothing_beside() { test -z "$(ls -d "$program".* 2>/dev/null)"; }
files_and_sums() { (cd "$program" && find . -type f -exec md5sum {} + | sort); }
# The installed folder holds the zip's files byte for byte, and the uninstaller.
same_as_zip() {
  /usr/bin/python3 - "$zip" "$program" <<'PY'
import os, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
top = z.namelist()[0].split("/")[0] + "/"
want = {"uninstall.exe"}
for n in z.namelist():
    parts = n[len(top):].rstrip("/").split("/")
    want |= {"/".join(parts[:i]) for i in range(1, len(parts) + 1)}
have = set()
for folder, dirs, files in os.walk(sys.argv[2]):
    for n in dirs + files:
        have.add(os.path.relpath(os.path.join(folder, n), sys.argv[2]))
bad = [n for n in z.namelist() if not n.endswith("/")
       and open(os.path.join(sys.argv[2], n[len(top):]), "rb").read() != z.read(n)]
for n in sorted(want ^ have) + bad:
    print("differs:", n)
sys.exit(1 if want ^ have or bad else 0)
PY
}

# The prefix first, then an install where the user may not write.
as_user "$wine_runner" wineboot.exe
chmod a-w "$c/Program Files"
as_user "$wine_runner" "$work/setup.exe" /S
check "an install without the rights to Program Files fails" test $? -ne 0
check "and leaves nothing behind" \
  test -z "$(ls -d "$program"* "$shortcut" 2>/dev/null; entry)"
chmod u+w "$c/Program Files"

as_user "$wine_runner" "$work/setup.exe" /S
check "the silent install succeeds" test $? -eq 0
touch "$program/stale.dll" "$program/★MailData/kept.txt"
as_user "$wine_runner" "$work/setup.exe" /S
check "an install over the last one succeeds" test $? -eq 0
check "it keeps the data folder's files and removes the old program files" \
  bash -c "test -f '$program/★MailData/kept.txt' && test ! -e '$program/stale.dll'"
rm -f "$program/★MailData/kept.txt"
check "the installed files are the zip's, byte for byte" same_as_zip
check "nothing is left beside the install folder" nothing_beside
check "the Start menu holds the shortcut ケストローバ" test -f "$shortcut"
for line in '"DisplayName"="\x30b1\x30b9\x30c8\x30ed\x30fc\x30d0"' '"DisplayVersion"="1.0"' \
  '"Publisher"="The Kestrova developers"' '"DisplayIcon"="C:\\Program Files\\Kestrova\\kestrova.exe,0"' \
  '"UninstallString"="\"C:\\Program Files\\Kestrova\\uninstall.exe\""' '"EstimatedSize"=dword:'; do
  check "the installed programs list $line" entry_has "$line"
done
chmod -R a-w "$program"

# The program as the shortcut starts it, its sound to SDL's disk driver.
sound="$documents/sound.raw"
start() {
  as_user env SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="C:\\users\\$user\\Documents\\sound.raw" \
    "$wine_runner" start 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\ケストローバ.lnk' \
    >>"$work/log" 2>&1 &
  app_pid=$!
  main=$(wait_window 'Ver 1\.0$') || { echo "FAILED: no main window"; cat "$work/log"; exit 1; }
}
menu() { # menu KEYS...: Alt+F, then the keys that pick the item
  open_menu "$main"
  xdotool key "$@"
}
server_dialog() { # server_dialog POP3-VALUE: typed into サーバー from 設定, then 設定
  dialog "$settings" Tab space # POPサーバー
  local server
  server=$(wait_window '^サーバー$') || return 1
  typing "$server" "" Tab "$1"
  xdotool key --delay 50 Tab Tab space # APOP left off, then 設定
}

dovecot_start "$work/dovecot" || { echo "FAILED: Dovecot did not start"; exit 1; }
start_window_manager
start
eval "$(xdotool getwindowgeometry --shell "$main")"
click "$main" 120 $((HEIGHT - 7)) # Sound OFF, on the cockpit's lowest row
# Half a second of 16-bit stereo at 44.1 kHz (the first buffers may be silence).
check "the sound switch sounds from Program Files, whose name has a blank" \
  wait_for bash -c "[ \$(stat -c %s '$sound' 2>/dev/null || echo 0) -gt 88200 ]"
click "$main" 120 $((HEIGHT - 7)) # Soun ON: the sound stops, the device closes
menu Down Return
settings=$(wait_window '^設定$') || { echo "FAILED: no 設定"; exit 1; }
server_dialog "pop3://127.0.0.1:$DOVECOT_PLAIN_PORT"
expect_file "the server dialog writes orvenda.ini in the documents folder, where the shortcut starts it" \
  "$documents/orvenda.ini" "SMTP=\r\nPOP3=pop3://127.0.0.1:$DOVECOT_PLAIN_PORT\r\nMAIL=\r\nAPOP=0\r\n"
dialog "$settings" Tab space # ID/PASS, after POPサーバー, which keeps the focus
account=$(wait_window '^ID,PASS$')
if [ -n "$account" ]; then
  typing "$account" "alice" Tab "secret"
  xdotool key --delay 50 Tab Tab Tab space shift+Tab shift+Tab space # keep it, then OK
fi
expect_file "the account dialog writes iniIdPass.ini under %LOCALAPPDATA%" \
  "$mine/iniIdPass.ini" '[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\nNAME3=1\r\n'
dialog "$settings" Tab space # the hang-up option ticked
dialog "$settings" --clearmodifiers alt+F4
expect_file "closing 設定 writes the hang-up option under %LOCALAPPDATA%" \
  "$mine/ini.ini" '[EXEINI]\r\nNUMBER=1\r\nNUMBER100=1\r\n'

menu Return # メールチェック
result=$(wait_window '^新着情報$')
check "メールチェック shows 新着情報" test -n "$result"
check "the check read the account from there and Dovecot served the three messages" \
  wait_for grep -q 'retr=3/' "$work/dovecot/dovecot.log"

# A server whose certificate nobody vouches for: trusted when asked.
menu Down Return
settings=$(wait_window '^設定$') || { echo "FAILED: no 設定"; exit 1; }
server_dialog "pop3s://127.0.0.1:$DOVECOT_TLS_PORT"
dialog "$settings" --clearmodifiers alt+F4
menu Return
question=$(wait_window '^エラー$')
check "the check asks about the certificate" test -n "$question"
[ -n "$question" ] && dialog "$question" y # はい
check "the trusted certificate's pin is kept under %LOCALAPPDATA%" wait_for test -s "$mine/certpins.txt"
check "nothing is written beside the program" \
  test -z "$(ls -A "$program/★MailData")" -a ! -e "$program/orvenda.ini"

# An install over the running program is refused whole.
chmod -R u+w "$program"
before=$(files_and_sums)
as_user wine "$work/setup.exe" /S >>"$work/log" 2>&1
check "an install over the running program fails" test $? -ne 0
check "and leaves the old program as it was" test "$(files_and_sums)" = "$before"
check "and nothing beside it" nothing_beside
check "the program runs on" kill -0 "$app_pid"
xdotool windowactivate --sync "$main" key --clearmodifiers alt+F4 2>/dev/null
check "closing the main window ends the program" wait_for bash -c "! kill -0 $app_pid 2>/dev/null"
app_pid=""
check "what the sound switch played is sound, not silence" \
  /usr/bin/python3 -c 'import sys; sys.exit(not any(open(sys.argv[1], "rb").read()))' "$sound"

cp -r "$c/users/$user/AppData/Local/kestrova" "$work/settings"
as_user "$wine_runner" "$program/uninstall.exe" /S
check "the uninstall removes the program files" test ! -e "$program"
check "and the shortcut" test ! -e "$shortcut"
check "and the entry among the installed programs" test -z "$(entry)"
check "and keeps the user's settings" diff -r "$work/settings" "$c/users/$user/AppData/Local/kestrova"
check "and the server settings" test -f "$documents/orvenda.ini"
finish
