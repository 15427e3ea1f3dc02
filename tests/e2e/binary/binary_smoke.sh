#!/usr/bin/env bash
# Starts a copy of the program from a fresh folder and drives it with xdotool
# under openbox: window title, the menu by keyboard (Alt+F), the settings
# dialog, what closing writes, and that closing the main window ends it and
# leaves nothing running (it starts without a session bus, as a bare X
# session does, where asking for one would launch a bus that stays).
set -uo pipefail
program=$1
if [ -z "${DISPLAY:-}" ] || ! command -v xdotool >/dev/null || ! command -v openbox >/dev/null; then
  echo "skipped: needs an X server, xdotool and openbox"
  exit 77
fi

work=$(mktemp -d)
wm_pid=""
app_pid=""
# Marks the program's environment, which everything it starts inherits.
token="kestrova-smoke-$$-$RANDOM"
started_by_program() { # process ids carrying the mark, this shell's children aside
  grep -lsa "KESTROVA_SMOKE_RUN=$token" /proc/[0-9]*/environ | cut -d/ -f3 | grep -vx "$$"
}
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  for pid in $(started_by_program); do kill "$pid" 2>/dev/null; done
  # The window manager is gone before the next test starts its own.
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
passes=0
check() { # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; passes=$((passes + 1)); else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
wait_window() { # wait_window NAME-REGEX -> prints the window id
  local id=""
  for _ in $(seq 1 50); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# The program with its own data folder, started from an empty current folder.
mkdir -p "$work/program/★MailData" "$work/cwd"
cp "$program" "$work/program/kestrova"
openbox --sm-disable --replace >/dev/null 2>&1 &
wm_pid=$!
sleep 0.5
(cd "$work/cwd" && exec env -u DBUS_SESSION_BUS_ADDRESS KESTROVA_SMOKE_RUN="$token" \
  "$work/program/kestrova") >"$work/log" 2>&1 &
app_pid=$!

main=$(wait_window 'Ver 1\.0$') || { echo "FAILED: the main window did not appear"; cat "$work/log"; exit 1; }
# Go on once the window manager has framed it (it may still have been starting).
for _ in $(seq 1 50); do
  xprop -id "$main" _NET_FRAME_EXTENTS 2>/dev/null | grep -q '=' && break
  sleep 0.1
done
check "main window title" test "$(xdotool getwindowname "$main")" = "大空駆けるケストローバ Ver 1.0"
eval "$(xdotool getwindowgeometry --shell "$main")"
check "main window client is 222 pixels wide" test "$WIDTH" -eq 222

# Alt+F opens the menu; the second item opens the settings dialog.
xdotool windowactivate --sync "$main"
xdotool key --clearmodifiers alt+f
sleep 0.3
xdotool key Down Return
settings=$(wait_window '^設定$')
check "Alt+F, 設定 opens the settings dialog" test -n "$settings"
check "nothing written before the dialog closes" test ! -e "$work/program/★MailData/ini.ini"

# Closing the settings dialog stores the option.
if [ -n "$settings" ]; then
  xdotool windowactivate --sync "$settings"
  xdotool key --clearmodifiers alt+F4
  for _ in $(seq 1 30); do [ -e "$work/program/★MailData/ini.ini" ] && break; sleep 0.1; done
  check "closing the settings dialog writes NUMBER and NUMBER100" \
    cmp -s "$work/program/★MailData/ini.ini" <(printf '[EXEINI]\r\nNUMBER=0\r\nNUMBER100=0\r\n')
fi

# Closing the main window ends the program and writes nothing else.
xdotool windowactivate --sync "$main"
xdotool key --clearmodifiers alt+F4
for _ in $(seq 1 30); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
check "closing the main window ends the program" bash -c "! kill -0 $app_pid 2>/dev/null"
app_pid=""
check "no file in the folder it was started from" test -z "$(ls -A "$work/cwd")"
left=$(started_by_program)
[ -n "$left" ] && ps -o pid,args -p "$(echo $left | tr ' ' ,)"
check "nothing the program started is left running" test -z "$left"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
