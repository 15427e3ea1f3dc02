#!/usr/bin/env bash
# install_layouts.sh BUILD-DIR
# The installed program as users meet it, on the X server under openbox:
# - portable: `cmake --install --prefix` gives a folder that, copied elsewhere,
#   starts and keeps its settings inside itself;
# - system: installed with the system component (as in the Debian package) and
#   started through bin/kestrova by an unprivileged user (nobody, through
#   setpriv: root could write the program's folder), it keeps the same bytes in
#   $XDG_DATA_HOME/kestrova/★MailData and finds them at the next start;
# - without the shipped data folder nothing is written anywhere.
set -uo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../support/desktop_driver.sh"
needs_desktop
if [ "$(id -u)" -eq 0 ] && ! command -v setpriv >/dev/null; then
  echo "skipped: needs setpriv to start the program as an unprivileged user"
  exit 77
fi

work=$(mktemp -d)
chmod 755 "$work"
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  stop_window_manager
  rm -rf "$work"
}
trap cleanup EXIT

# The user the program runs as: nobody when we are root, else ourselves.
if [ "$(id -u)" -eq 0 ]; then
  user=$(id -u nobody)
  group=$(id -g nobody)
  as_user=(setpriv --reuid="$user" --regid="$group" --clear-groups)
else
  user=$(id -u)
  group=$(id -g)
  as_user=()
fi
# The X server's cookie, readable by that user.
xauth_copy=""
if [ -n "${XAUTHORITY:-}" ] && [ -r "$XAUTHORITY" ]; then
  xauth_copy=$work/xauthority
  cp "$XAUTHORITY" "$xauth_copy"
  chmod 644 "$xauth_copy"
fi

# A fresh home folder for one user: HOME, XDG_DATA_HOME and a runtime folder.
make_home() { # make_home NAME OWNER
  local h=$work/homes/$1
  mkdir -p "$h/home" "$h/data" "$h/run"
  chmod 700 "$h/run"
  [ "$2" = user ] && chown -R "$user:$group" "$h"
  echo "$h"
}

# start PROGRAM HOME-SET [as-user]: starts the program from the home folder,
# as a menu does; sets app_pid and main, the main window's id.
main=""
start() {
  local program=$1 h=$2
  local -a prefix=()
  [ "${3:-}" = as-user ] && prefix=("${as_user[@]}")
  (cd "$h/home" && exec env -u XDG_CONFIG_HOME -u XDG_CACHE_HOME HOME="$h/home" \
    XDG_DATA_HOME="$h/data" XDG_RUNTIME_DIR="$h/run" ${xauth_copy:+XAUTHORITY="$xauth_copy"} \
    "${prefix[@]}" "$program") >>"$work/log" 2>&1 &
  app_pid=$!
  main=$(wait_window 'Ver 1\.0$') || { echo "no main window; the program said:"; cat "$work/log"; return 1; }
  wait_framed "$main" || { echo "the window manager never framed it"; return 1; }
}

quit() { # quit MAIN-WINDOW: closes the main window and waits for the end
  xdotool windowactivate --sync "$1"
  xdotool key --clearmodifiers alt+F4
  wait_for bash -c "! kill -0 $app_pid 2>/dev/null"
  wait "$app_pid" 2>/dev/null
  app_pid=""
}

# The settings dialog from the menu (設定, the second item).
open_settings() {
  open_menu "$1" || return 1
  xdotool key Down Return
  wait_window '^設定$'
}

close_window() {
  xdotool windowactivate --sync "$1"
  xdotool key --clearmodifiers alt+F4
  wait_for bash -c "! xdotool search --onlyvisible --name '$2' >/dev/null 2>&1"
}

# Ticks the hang-up option and closes the dialog, which stores it; then
# enters and saves an account through ID/PASS. Positions are the dialogs'
# twips divided by 15, in the middle of each control.
first_session() { # first_session MAIN
  local settings account
  settings=$(open_settings "$1") || return 1
  click "$settings" 12 48                   # Check1
  click "$settings" 52 20                   # ID/PASS
  account=$(wait_window '^ID,PASS$') || return 1
  click "$account" 118 16                   # IdText
  xdotool type --delay 30 "pilot"
  click "$account" 118 48                   # PassText
  xdotool type --delay 30 "s3cret pw"
  click "$account" 36 76                    # save box
  click "$account" 88 102                   # OK
  wait_for bash -c "! xdotool search --onlyvisible --name '^ID,PASS$' >/dev/null 2>&1"
  close_window "$settings" '^設定$'
}

# Opens both dialogs and confirms them untouched, but with the save box
# ticked: what was read at start is written back, so a read that found
# nothing would show as an emptied file.
second_session() { # second_session MAIN
  local settings account
  settings=$(open_settings "$1") || return 1
  click "$settings" 52 20
  account=$(wait_window '^ID,PASS$') || return 1
  click "$account" 36 76
  click "$account" 88 102
  wait_for bash -c "! xdotool search --onlyvisible --name '^ID,PASS$' >/dev/null 2>&1"
  close_window "$settings" '^設定$'
}

expected_ini=$(printf '[EXEINI]\r\nNUMBER=1\r\nNUMBER100=1\r\n')
expected_account=$(printf '[EXEINI]\r\nNAME=pilot\r\nNAME2=s3cret pw\r\nNAME3=1\r\n')
holds() { [ -f "$1" ] && [ "$(cat "$1")" = "$2" ]; }
# rewritten FILE CONTENT: saved since it was dated back to 2000 (an inode
# number cannot tell: a freed one is soon given out again), holding CONTENT.
rewritten() { [ "$(stat -c %Y "$1" 2>/dev/null)" != "$old_time" ] && holds "$1" "$2"; }
old_time=$(date -d 2000-01-01T00:00:00Z +%s)
mode_of() { stat -c %a "$1" 2>/dev/null; }

start_window_manager
unset DESTDIR

echo "== portable: installed into a prefix, then copied elsewhere"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
check "the prefix holds the program, its licence and README, its sound and an empty data folder" \
  test "$(cd "$work/prefix" && find . | LC_ALL=C sort | tr '\n' ' ')" = ". ./LICENSE ./README.md ./Sound ./Sound/1.wav ./kestrova ./★MailData "
cp -a "$work/prefix" "$work/copied"
portable=$(make_home portable root)
data=$work/copied/★MailData
if start "$work/copied/kestrova" "$portable"; then
  first_session "$main"
  check "closing the settings dialog stores the option beside the program" \
    wait_for holds "$data/ini.ini" "$expected_ini"
  check "the saved account lies beside the program" holds "$data/iniIdPass.ini" "$expected_account"
  check "readable by its owner only" test "$(mode_of "$data/iniIdPass.ini")" = 600
  quit "$main"
else
  check "the copied program starts" false
fi
check "nothing in the per-user folder" test -z "$(ls -A "$portable/data")"
check "nothing in the folder it was installed to" test -z "$(ls -A "$work/prefix/★MailData")"

echo "== system: read-only program folder, started through bin/kestrova as an unprivileged user"
cmake --install "$build" --component system --prefix "$work/system" >/dev/null
check "bin/kestrova is a symbolic link to the program" \
  test "$(readlink "$work/system/bin/kestrova")" = ../lib/kestrova/kestrova
system=$(make_home system user)
mine=$system/data/kestrova/★MailData
if start "$work/system/bin/kestrova" "$system" as-user; then
  first_session "$main"
  check "the option is stored in the per-user folder" wait_for holds "$mine/ini.ini" "$expected_ini"
  check "the account is stored in the per-user folder" holds "$mine/iniIdPass.ini" "$expected_account"
  for f in ini.ini iniIdPass.ini; do
    check "$f has the same bytes as in the portable layout" cmp -s "$mine/$f" "$data/$f"
  done
  check "the account file and the folders made for it are the user's alone" \
    test "$(mode_of "$mine/iniIdPass.ini") $(mode_of "$mine") $(mode_of "$system/data/kestrova")" = "600 700 700"
  check "they belong to the user" test "$(stat -c %u "$mine/iniIdPass.ini")" = "$user"
  quit "$main"
else
  check "the installed program starts for the user" false
fi
check "nothing written beside the program" test -z "$(ls -A "$work/system/lib/kestrova/★MailData")"

touch -d @"$old_time" "$mine/ini.ini" "$mine/iniIdPass.ini"
if start "$work/system/bin/kestrova" "$system" as-user; then
  second_session "$main"
  check "at the next start the option was read back from the per-user folder" \
    wait_for rewritten "$mine/ini.ini" "$expected_ini"
  check "and the account too" \
    wait_for rewritten "$mine/iniIdPass.ini" "$expected_account"
  quit "$main"
else
  check "the installed program starts a second time" false
fi

echo "== system install without its data folder: nothing is stored"
rmdir "$work/system/lib/kestrova/★MailData"
bare=$(make_home bare user)
if start "$work/system/bin/kestrova" "$bare" as-user; then
  first_session "$main"
  quit "$main"
  check "no settings file anywhere" test -z "$(find "$bare" "$work/system" -name '*.ini')"
  check "no per-user folder" test -z "$(ls -A "$bare/data")"
else
  check "the program starts without a data folder" false
fi

finish || { cat "$work/log"; exit 1; }
