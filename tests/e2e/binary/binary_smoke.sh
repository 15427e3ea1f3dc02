#!/usr/bin/env bash
# Starts a copy of the program from a fresh folder and drives it with xdotool
# under openbox: window title, the menu by keyboard (Alt+F), the settings
# dialog, what closing writes, and that closing the main window ends it and
# leaves nothing running (it starts without a session bus, as a bare X
# session does, where asking for one would launch a bus that stays).
set -uo pipefail
program=$1
. "$(dirname "$0")/../../support/desktop_driver.sh"
needs_desktop

work=$(mktemp -d)
app_pid=""
# Marks the program's environment, which everything it starts inherits.
token="kestrova-smoke-$$-$RANDOM"
started_by_program() { # process ids carrying the mark, this shell's children aside
  grep -lsa "KESTROVA_SMOKE_RUN=$token" /proc/[0-9]*/environ | cut -d/ -f3 | grep -vx "$$"
}
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  for pid in $(started_by_program); do kill "$pid" 2>/dev/null; done
  stop_window_manager
  rm -rf "$work"
}
trap cleanup EXIT

# The program with its own data folder, started from an empty current folder.
mkdir -p "$work/program/★MailData" "$work/cwd"
cp "$program" "$work/program/kestrova"
start_window_manager
(cd "$work/cwd" && exec env -u DBUS_SESSION_BUS_ADDRESS KESTROVA_SMOKE_RUN="$token" \
  "$work/program/kestrova") >"$work/log" 2>&1 &
app_pid=$!

main=$(wait_window 'Ver 1\.0$') || { echo "FAILED: the main window did not appear"; cat "$work/log"; exit 1; }
# Go on once the window manager has framed it (it may still have been starting).
wait_framed "$main"
check "main window title" test "$(xdotool getwindowname "$main")" = "大空駆けるケストローバ Ver 1.0"
eval "$(xdotool getwindowgeometry --shell "$main")"
check "main window client is 222 pixels wide" test "$WIDTH" -eq 222

# Alt+F opens the menu; the second item opens the settings dialog.
check "Alt+F opens the menu" open_menu "$main"
xdotool key Down Return
settings=$(wait_window '^設定$')
check "Alt+F, 設定 opens the settings dialog" test -n "$settings"
check "nothing written before the dialog closes" test ! -e "$work/program/★MailData/ini.ini"

# Closing the settings dialog stores the option (saved whole, by a rename).
if [ -n "$settings" ]; then
  xdotool windowactivate --sync "$settings"
  xdotool key --clearmodifiers alt+F4
  printf '[EXEINI]\r\nNUMBER=0\r\nNUMBER100=0\r\n' >"$work/expected.ini"
  check "closing the settings dialog writes NUMBER and NUMBER100" \
    wait_for cmp -s "$work/program/★MailData/ini.ini" "$work/expected.ini"
fi

# Closing the main window ends the program and writes nothing else.
xdotool windowactivate --sync "$main"
xdotool key --clearmodifiers alt+F4
check "closing the main window ends the program" wait_for bash -c "! kill -0 $app_pid 2>/dev/null"
wait "$app_pid" 2>/dev/null
app_pid=""
check "no file in the folder it was started from" test -z "$(ls -A "$work/cwd")"
left=$(started_by_program)
[ -n "$left" ] && ps -o pid,args -p "$(echo $left | tr ' ' ,)"
check "nothing the program started is left running" test -z "$left"

finish
