#!/usr/bin/env bash
# The program as a screen reader meets it, over AT-SPI on the X server: its
# captions are buttons with a Press action, what lies out of view takes no
# keyboard, and pressing メールチェック over the bus runs a check against
# Dovecot on loopback whose count 新着情報 then shows.
#   atspi_check.sh PROGRAM     (run inside dbus-run-session; see CMakeLists.txt)
set -uo pipefail
program=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../support/desktop_driver.sh"
needs_desktop
launcher=/usr/libexec/at-spi-bus-launcher
if [ ! -x "$launcher" ] || ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null ||
  [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] || ! command -v dovecot >/dev/null; then
  echo "skipped: needs at-spi2-core, python3-pyatspi, a session bus and Dovecot"
  exit 77
fi
driver=(/usr/bin/python3 "$here/../../support/atspi_driver.py")

work=$(mktemp -d)
app_pid=""
launcher_pid=""
. "$here/../windows/dovecot.sh"
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$launcher_pid" ] && kill "$launcher_pid" 2>/dev/null
  dovecot_stop
  rm -rf "$work"
}
trap cleanup EXIT

"$launcher" --launch-immediately >/dev/null 2>&1 &
launcher_pid=$!
dovecot_start "$work/dovecot" || { echo "FAILED: Dovecot did not start"; exit 1; }

# A portable copy with the account saved and the server set.
mkdir -p "$work/program/★MailData" "$work/cwd"
cp "$program" "$work/program/kestrova"
printf 'SMTP=\r\nPOP3=pop3://127.0.0.1:%s\r\nMAIL=\r\nAPOP=0\r\n' "$DOVECOT_PLAIN_PORT" >"$work/cwd/orvenda.ini"
printf '[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\nNAME3=1\r\n' >"$work/program/★MailData/iniIdPass.ini"
(cd "$work/cwd" && exec env QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$work/program/kestrova") \
  >"$work/log" 2>&1 &
app_pid=$!
wait_window 'Ver 1\.0$' >/dev/null || { echo "FAILED: no main window"; cat "$work/log"; exit 1; }

"${driver[@]}" dump Kestrova 紙飛行機 >"$work/tree" || { echo "FAILED: kestrova is not on the bus"; exit 1; }
for caption in メールチェック コックピット 'Sound OFF' 紙飛行機; do
  check "$caption is a focusable button with a Press action" \
    grep -qxF "push button|$caption|focusable=True|showing=True|Press,SetFocus" "$work/tree"
done
check "a caption out of view takes no keyboard" grep -q '^push button|set|focusable=False|' "$work/tree"
check "no check box out of view takes the keyboard" \
  bash -c "! grep -E '^check box\\|(同期|メモリ|繰り返し).*focusable=True' '$work/tree'"

check "メールチェック is pressed over the bus" "${driver[@]}" press Kestrova メールチェック
check "新着情報 shows Dovecot's three messages" "${driver[@]}" wait-text Kestrova 新着メールの数 3
finish || { cat "$work/tree" "$work/log"; exit 1; }
