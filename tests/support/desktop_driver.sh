# Helpers for scripts that drive the real program on the X server with
# xdotool, under openbox. Source it; the caller sets `set -uo pipefail`.
#
#   needs_desktop               exits 77 (skipped) without X server, xdotool, openbox
#   check DESCRIPTION CMD...    runs CMD, prints ok/FAILED, counts both
#   finish                      prints the counts; fails when anything failed
#   start_window_manager        openbox, stopped by stop_window_manager
#   wait_window NAME-REGEX      prints the id of a visible window so named
#   wait_framed WID             waits until the window manager has framed it
#   wait_for CMD...             retries CMD for up to 90 s (WAIT_TENTHS tenths): a
#                               bound for a hang, ten times what a loaded machine takes
#   open_menu WID               Alt+F on the window; waits for the menu to open
#   click WID X Y               left click at a point of the window's client area

passes=0
failures=0

needs_desktop() {
  if [ -z "${DISPLAY:-}" ] || ! command -v xdotool >/dev/null || ! command -v openbox >/dev/null ||
    ! command -v xprop >/dev/null; then
    echo "skipped: needs an X server, xdotool, xprop and openbox"
    exit 77
  fi
}

check() {
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
    passes=$((passes + 1))
  else
    echo "FAILED: $what"
    failures=$((failures + 1))
  fi
}

finish() {
  echo "$passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}

wm_pid=""
# A window manager runs when the root window names its check window and that
# window exists (the name outlives a window manager that has ended).
wm_running() {
  local id
  id=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | awk '/window id/ { print $NF }')
  [ -n "$id" ] && xprop -id "$id" _NET_WM_NAME 2>/dev/null | grep -q '"'
}
wm_log=""
wm_settled() { wm_running || ! kill -0 "$wm_pid" 2>/dev/null; }
# Ends the test at once, saying why, when openbox ends without running: every
# later step would otherwise wait out its bound on a desktop without one.
start_window_manager() {
  wm_log=$(mktemp)
  openbox --sm-disable --replace >"$wm_log" 2>&1 &
  wm_pid=$!
  wait_for wm_settled
  if ! wm_running; then
    echo "FAILED: the window manager did not start: $(cat "$wm_log")"
    exit 1
  fi
}
stop_window_manager() {
  # Gone before the next test starts its own.
  if [ -n "$wm_pid" ]; then
    kill "$wm_pid" 2>/dev/null
    wait "$wm_pid" 2>/dev/null
  fi
  wm_pid=""
  [ -z "$wm_log" ] || rm -f "$wm_log"
  wm_log=""
}

wait_for() {
  for _ in $(seq 1 "${WAIT_TENTHS:-900}"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

wait_window() {
  local id=""
  for _ in $(seq 1 "${WAIT_TENTHS:-900}"); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

wait_framed() {
  wait_for bash -c "xprop -id $1 _NET_FRAME_EXTENTS 2>/dev/null | grep -q '='"
}

# A Qt menu is a visible window of the program's class with a menu window type.
menu_is_open() {
  local id
  for id in $(xdotool search --onlyvisible --class kestrova 2>/dev/null); do
    xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q MENU && return 0
  done
  return 1
}

open_menu() {
  xdotool windowactivate --sync "$1"
  xdotool key --clearmodifiers alt+f
  wait_for menu_is_open
}

click() {
  xdotool windowactivate --sync "$1"
  xdotool mousemove --window "$1" "$2" "$3" click 1
}
