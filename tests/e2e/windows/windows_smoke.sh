#!/usr/bin/env bash
# The Windows zip as a user meets it: unpacked into a fresh folder whose path
# holds ★ and Japanese, kestrova.exe started there under Wine (with no DLL
# but its own) on the X server, under openbox, driven with xdotool: the main
# window's title, the menu by keyboard, the settings dialog and the bytes it
# writes, that closing the main window ends the program; then a check against
# a Linux Dovecot on loopback with the hang-up option ticked.
#   windows_smoke.sh ZIP WINE-RUNNER
set -uo pipefail
zip=$1
wine_runner=$2
. "$(dirname "$0")/../../support/desktop_driver.sh"
. "$(dirname "$0")/dialogs.sh"
needs_desktop
if [ ! -f "$zip" ]; then
  echo "skipped: no zip (scripts/windows makes it)"
  exit 77
fi

work=$(mktemp -d)
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  # Ends every program of this test's Wine prefix, and its server.
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null
  stop_window_manager
  rm -rf "$work"
}
trap cleanup EXIT

# start: kestrova.exe from its own folder, as a double click in Explorer
# starts it, in a Wine prefix of its own so that nothing of the build's is
# found; sets main to the main window's id once the window manager has it.
start() {
  (cd "$program" && exec env KESTROVA_WINE_PREFIX="$work/prefix" KESTROVA_WINE_BARE=1 \
    "$wine_runner" "$program/kestrova.exe") >>"$work/log" 2>&1 &
  app_pid=$!
  main=$(wait_window 'Ver 1\.0$') || { echo "FAILED: no main window"; cat "$work/log"; exit 1; }
  wait_framed "$main"
}
menu() { # menu KEYS...: Alt+F, then, once the menu is open, the keys that pick the item
  local before
  before=$(program_windows)
  dialog "$main" --clearmodifiers alt+f
  # Wine shows the menu as a window of the program's own.
  wait_for bash -c "[ \$(xdotool search --onlyvisible --class kestrova 2>/dev/null | wc -l) -gt $before ]"
  xdotool key "$@"
}
program_windows() { xdotool search --onlyvisible --class kestrova 2>/dev/null | wc -l; }
close_main() { # close_main DESCRIPTION
  xdotool windowactivate --sync "$main"
  xdotool key --clearmodifiers alt+F4
  check "$1" wait_for bash -c "! kill -0 $app_pid 2>/dev/null"
  app_pid=""
}

folder="$work/ケストローバ ★"
mkdir -p "$folder"
(cd "$folder" && python3 -m zipfile -e "$zip" .) || { echo "FAILED: unzip"; exit 1; }
program=$(ls -d "$folder"/kestrova-*-win64)
data=$program/★MailData
check "the zip holds the empty data folder" test -d "$data" -a -z "$(ls -A "$data")"

start_window_manager
start
check "main window title" test "$(xdotool getwindowname "$main")" = "大空駆けるケストローバ Ver 1.0"

menu Down Return
settings=$(wait_window '^設定$')
check "Alt+F, 設定 opens the settings dialog" test -n "$settings"
check "nothing written before the dialog closes" test ! -e "$data/ini.ini"
[ -n "$settings" ] && dialog "$settings" --clearmodifiers alt+F4
expect_file "closing the settings dialog writes NUMBER and NUMBER100 beside the program" \
  "$data/ini.ini" '[EXEINI]\r\nNUMBER=0\r\nNUMBER100=0\r\n'

# The server and account dialogs, from 設定, by keyboard: the files they
# write hold the bytes the Linux build writes for the same typing
# (tests/gui/settings checks those there).
menu Down Return
settings=$(wait_window '^設定$')
if [ -n "$settings" ]; then
  dialog "$settings" Tab space # POPサーバー
  server=$(wait_window '^サーバー$')
  check "POPサーバー opens the server dialog" test -n "$server"
  if [ -n "$server" ]; then
    typing "$server" "  smtp.example  " Tab "pop.example"
    xdotool key --delay 50 Tab space Tab space # APOP ticked, then 設定
    expect_file "the server dialog writes orvenda.ini in the folder it was started from" \
      "$program/orvenda.ini" 'SMTP=  smtp.example  \r\nPOP3=pop.example\r\nMAIL=\r\nAPOP=1\r\n'
  fi
  dialog "$settings" Tab space # ID/PASS, after POPサーバー, which keeps the focus
  account=$(wait_window '^ID,PASS$')
  check "ID/PASS opens the account dialog" test -n "$account"
  if [ -n "$account" ]; then
    typing "$account" "taro" Tab "pass word"
    xdotool key --delay 50 Tab Tab Tab space shift+Tab shift+Tab space # keep it, then OK
    expect_file "the account dialog writes iniIdPass.ini beside the program" \
      "$data/iniIdPass.ini" '[EXEINI]\r\nNAME=taro\r\nNAME2=pass word\r\nNAME3=1\r\n'
  fi
  dialog "$settings" --clearmodifiers alt+F4
fi
close_main "closing the main window ends the program"

# A check against Dovecot on loopback, with the hang-up option ticked: the
# result window, the paper aeroplane sent out (cut to its outline: the root
# window's black shows at its corners) and the remote-access hang-up, after
# which the program goes on as before.
if command -v dovecot >/dev/null; then
  . "$(dirname "$0")/dovecot.sh"
  trap 'dovecot_stop; cleanup' EXIT
  if dovecot_start "$work/dovecot"; then
    printf 'SMTP=\r\nPOP3=pop3://127.0.0.1:%s\r\nMAIL=\r\nAPOP=0\r\n' "$DOVECOT_PLAIN_PORT" >"$program/orvenda.ini"
    printf '[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\nNAME3=1\r\n' >"$data/iniIdPass.ini"
    printf '[EXEINI]\r\nNUMBER=1\r\nNUMBER100=1\r\n' >"$data/ini.ini"
    start
    menu Return # メールチェック
    result=$(wait_window '^新着情報$')
    check "メールチェック shows 新着情報" test -n "$result"
    # Dovecot's log process writes the line a moment after the session.
    check "Dovecot served the three messages" wait_for grep -q 'retr=3/' "$work/dovecot/dovecot.log"
    plane=$(wait_window '^Form1$')
    check "new mail sends the paper aeroplane out" test -n "$plane"
    # The aeroplane never takes the keyboard: it stays with 新着情報, which
    # the check brought to the front.
    keyboard_with_result() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$result" ]; }
    [ -n "$plane" ] && check "the aeroplane leaves the keyboard with 新着情報" wait_for keyboard_with_result
    # Seen on the screen: where the aeroplane is clear of the other windows
    # and of the screen's edges, its corners show the root window's black and
    # its middle the aeroplane. It sets out from the middle of the screen,
    # where the main window and 新着情報 stand, and wanders at random: those
    # two are moved to the top left corner, and the aeroplane is looked at
    # until it is somewhere clear, for up to 90 s (it flies every half second,
    # and a slow leg could keep it over them for more than ten).
    rect_of() { # rect_of WINDOW -> "x y w h", with the window manager's frame
      local left right top bottom
      eval "$(xdotool getwindowgeometry --shell "$1")"
      read -r left right top bottom < <(xprop -id "$1" _NET_FRAME_EXTENTS |
        sed -n 's/.*= *//p' | tr -d ',')
      echo "$((X - ${left:-0})) $((Y - ${top:-0})) $((WIDTH + ${left:-0} + ${right:-0})) $((HEIGHT + ${top:-0} + ${bottom:-0}))"
    }
    xdotool windowmove "$main" 0 0 windowmove "$result" 0 400
    shaped() {
      local _ others corners screen_w screen_h
      read -r screen_w screen_h < <(xdotool getdisplaygeometry)
      for _ in $(seq 1 360); do
        others="$(rect_of "$main") $(rect_of "$result")"
        eval "$(xdotool getwindowgeometry --shell "$plane")"
        if awk -v x="$X" -v y="$Y" -v w="$WIDTH" -v h="$HEIGHT" -v sw="$screen_w" -v sh="$screen_h" \
          -v o="$others" 'BEGIN {
            if (x < 0 || y < 0 || x + w > sw || y + h > sh) exit 1
            n = split(o, r, " ")
            for (i = 1; i < n; i += 4)
              if (x < r[i] + r[i + 2] && r[i] < x + w && y < r[i + 1] + r[i + 3] && r[i + 1] < y + h) exit 1
          }'; then
          import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$work/plane.png"
          # A picture taken while the aeroplane moved shows the wrong place.
          [ "$(rect_of "$plane")" = "$X $Y $WIDTH $HEIGHT" ] || { sleep 0.1; continue; }
          corners=$(convert "$work/plane.png" -format \
            "%[pixel:p{0,0}] %[pixel:p{$((WIDTH - 1)),0}] %[pixel:p{0,$((HEIGHT - 1))}] %[pixel:p{$((WIDTH - 1)),$((HEIGHT - 1))}]\n" info: |
            tr ' ' '\n' | grep -cE '^(black|srgb\(0,0,0\))$')
          [ "$corners" -eq 4 ] && [ "$(convert "$work/plane.png" -format '%[fx:mean > 0.05]' info:)" = 1 ] &&
            return 0
        fi
        sleep 0.25
      done
      return 1
    }
    [ -n "$plane" ] && check "the aeroplane window is cut to its outline" shaped
    check "after the check and the hang-up the program runs on" kill -0 "$app_pid"
    close_main "closing the main window ends the program again"
  else
    echo "FAILED: Dovecot did not start"
    failures=$((failures + 1))
  fi
fi
finish
