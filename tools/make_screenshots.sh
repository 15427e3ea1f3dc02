#!/usr/bin/env bash
# Takes the README's pictures of Kestrova on a virtual X server (Xvfb, with
# openbox for the window frames) and writes them into docs/screenshots/:
#
#   bash tools/make_screenshots.sh [BUILD-DIR]      (default: build)
#
# cockpit.png    the main window
# airframe.png   the airframe view, the jet steered to the right
# settings.png   the settings dialog 設定
# account.png    the account dialog ID,PASS, filled in
# server.png     the server dialog サーバー, filled in
# new-mail.png   the desktop after a check that found mail: the result
#                window 新着情報 and the paper aeroplane flying
#
# The check talks to a throw-away Dovecot on 127.0.0.1 holding three
# messages, so the pictures show the program doing real work. Needs a built
# program and what scripts/setup installs. The program runs from a temporary
# copy: the build folder's settings are not touched.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
out=$here/docs/screenshots

if [ -z "${KESTROVA_SCREENSHOTS_X:-}" ]; then
  # A small screen keeps the desktop picture compact.
  exec env KESTROVA_SCREENSHOTS_X=1 xvfb-run -a -s "-screen 0 800x600x24" bash "$0" "$build"
fi

. "$here/tests/support/desktop_driver.sh"
# The tests' throw-away Dovecot on 127.0.0.1, three messages in its mailbox.
. "$here/tests/e2e/windows/dovecot.sh"
work=$(mktemp -d)
chmod 755 "$work"
app_pid=""
cleanup() {
  set +e # every step below is tried, whatever the one before did
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  dovecot_stop
  stop_window_manager
  rm -rf "$work"
}
trap cleanup EXIT

# --- the program ------------------------------------------------------------
mkdir -p "$work/program/★MailData" "$work/home"
cp "$build/kestrova" "$work/program/"
cp -r "$build/Sound" "$work/program/"

main=""
start() {
  (cd "$work/home" && exec env HOME="$work/home" XDG_DATA_HOME="$work/home/data" \
    "$work/program/kestrova") >>"$work/log" 2>&1 &
  app_pid=$!
  main=$(wait_window 'Ver 1\.0$')
  wait_framed "$main"
}
quit() {
  xdotool windowactivate --sync "$main"
  xdotool key --clearmodifiers alt+F4
  wait_for bash -c "! kill -0 $app_pid 2>/dev/null"
  app_pid=""
}
# The main window's menu bar sits above its client area of 148 pixels.
client_top() {
  eval "$(xdotool getwindowgeometry --shell "$main")"
  echo $((HEIGHT - 148))
}
# PNGs without time stamps, so an unchanged picture stays unchanged in git.
png() { convert "$1" -strip -define png:exclude-chunks=date,time "$out/$2.png"; }
shot() { # shot WINDOW NAME: the window with its frame
  sleep 0.3 # let the last repaint reach the screen
  import -window "$1" -frame "$work/shot.png"
  png "$work/shot.png" "$2"
}

server_settings() { # SMTP POP3 MAIL: orvenda.ini as the server dialog writes it
  printf 'SMTP=%s\r\nPOP3=%s\r\nMAIL=%s\r\nAPOP=0\r\n' "$1" "$2" "$3" >"$work/home/orvenda.ini"
}

mkdir -p "$out"
start_window_manager
# A sky-blue desktop (Xvfb's is black): the root window's background colour,
# set through libX11 (the screen is 24-bit TrueColor, so the pixel is RGB).
/usr/bin/python3 - <<'PY'
import ctypes
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XSetWindowBackground.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong]
x.XClearWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]
d = x.XOpenDisplay(None)
root = x.XDefaultRootWindow(d)
x.XSetWindowBackground(d, root, 0x9CC3EA)
x.XClearWindow(d, root)
x.XCloseDisplay(d)
PY

# First run: the windows and the dialogs, with the values a user would type.
server_settings smtp.example.net mail.example.net pilot@example.net
start
shot "$main" cockpit

settings=$(open_menu "$main" && xdotool key Down Return && wait_window '^設定$')
shot "$settings" settings
click "$settings" 52 20 # ID/PASS
account=$(wait_window '^ID,PASS$')
click "$account" 118 16
xdotool type --delay 40 pilot
click "$account" 118 48
xdotool type --delay 40 s3cret
click "$account" 36 76 # save
shot "$account" account
click "$account" 88 102 # OK
click "$settings" 135 20 # POPサーバー
server=$(wait_window '^サーバー$')
shot "$server" server
xdotool windowactivate --sync "$server"
xdotool key Escape
xdotool windowactivate --sync "$settings"
xdotool key --clearmodifiers alt+F4

top=$(client_top)
click "$main" 48 $((top + 141)) # コックピット: the airframe view
sleep 0.5
shot "$main" airframe
click "$main" 48 $((top + 141))
quit

# Second run: a check against the mail server.
dovecot_start "$work/mail" pilot s3cret || { echo "the mail server did not start" >&2; exit 1; }
# Plain POP3: the server's certificate is the tests' own, which no one trusts.
server_settings smtp.example.net "pop3://127.0.0.1:$DOVECOT_PLAIN_PORT" pilot@example.net
start
top=$(client_top)
click "$main" 184 $((top + 10)) # メールチェック
result=$(wait_window '^新着情報$') || { echo "the check showed no result" >&2; exit 1; }
xdotool windowmove "$result" 470 90
# The paper aeroplane: the program's 64 x 64 window without a frame. Dragged
# (as a user may) from its starting corner to where it shows off best.
plane=""
for id in $(xdotool search --onlyvisible --class kestrova); do
  eval "$(xdotool getwindowgeometry --shell "$id")"
  if [ "$WIDTH" -eq 64 ] && [ "$HEIGHT" -eq 64 ]; then
    plane=$id
    break
  fi
done
[ -n "$plane" ] || { echo "the paper aeroplane did not fly out" >&2; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$plane")"
xdotool mousemove $((X + 32)) $((Y + 32)) mousedown 1
for step in 1 2 3 4 5 6 7 8; do
  xdotool mousemove $((X + 32 + step * (560 - X) / 8)) $((Y + 32 + step * (300 - Y) / 8))
  sleep 0.05
done
xdotool mouseup 1
xdotool mousemove 790 590
sleep 0.6 # one step of its own flight
import -window root "$work/desktop.png"
convert "$work/desktop.png" -crop 464x352+268+70 +repage "$work/desktop-cropped.png"
png "$work/desktop-cropped.png" new-mail
quit

echo "pictures written to $out"
