#!/usr/bin/env bash
# The program as a screen reader meets it, over AT-SPI on the X server: its
# captions are buttons with a Press action, nothing out of view takes the
# keyboard or shows, every field is named, no text holds an invisible
# character. A first session driven over the bus: the server, then an
# account typed but not saved, a wrong password's box, the password put
# right; Dovecot's count shows in 新着情報, and the file keeps no password.
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
shows() { "${driver[@]}" dump Kestrova "$1" >/dev/null; } # an object so named is there
# A button pressed over the bus clicks a moment later: what it closes is waited for.
gone() { wait_for bash -c "! xdotool search --onlyvisible --name '$1' >/dev/null"; }

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

# A portable copy, as a new user first starts it: no server, no account.
mkdir -p "$work/program/★MailData" "$work/cwd"
cp "$program" "$work/program/kestrova"
account="$work/program/★MailData/iniIdPass.ini"
(cd "$work/cwd" && exec env QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$work/program/kestrova") \
  >"$work/log" 2>&1 &
app_pid=$!
wait_window 'Ver 1\.0$' >/dev/null || { echo "FAILED: no main window"; cat "$work/log"; exit 1; }

"${driver[@]}" dump Kestrova 紙飛行機 >"$work/tree" || { echo "FAILED: kestrova is not on the bus"; exit 1; }
for caption in メールチェック コックピット 'Sound OFF' 紙飛行機; do
  check "$caption is a focusable button with a Press action" \
    grep -qxF "push button|$caption|focusable=True|showing=True|Press,SetFocus" "$work/tree"
done
check "a caption out of view takes no keyboard and does not show" \
  grep -qxF 'push button|set|focusable=False|showing=False|' "$work/tree"

# The first session: a check asks for the server, then for the account.
check "メールチェック is pressed over the bus" "${driver[@]}" press Kestrova メールチェック
check "without a server, サーバー opens, its fields named" shows POP3サーバー名
check "nothing shows outside its window, no text holds an invisible character" \
  "${driver[@]}" lint Kestrova
"${driver[@]}" set-text Kestrova POP3サーバー名 "pop3://127.0.0.1:$DOVECOT_PLAIN_PORT"
"${driver[@]}" press Kestrova 設定 'push button'
gone '^サーバー$'
"${driver[@]}" press Kestrova メールチェック
check "without an account, ID,PASS opens, its fields named" shows Password
check "and all is clean" "${driver[@]}" lint Kestrova
"${driver[@]}" set-text Kestrova ID alice
"${driver[@]}" set-text Kestrova Password wrong
"${driver[@]}" press Kestrova OK 'push button' # the save box left unticked
gone '^ID,PASS$'

# A wrong password: the box says so, in clean text.
"${driver[@]}" press Kestrova メールチェック
check "a refused login shows a box エラー" shows エラー
check "and all is clean" "${driver[@]}" lint Kestrova
"${driver[@]}" press Kestrova OK 'push button'
gone '^エラー$'

# The password put right through 設定 → ID/PASS, again unsaved: it is used.
"${driver[@]}" press Kestrova 設定 'menu item'
"${driver[@]}" press Kestrova ID/PASS 'push button'
check "ID,PASS shows the account in use" "${driver[@]}" wait-text Kestrova ID alice
"${driver[@]}" set-text Kestrova Password secret
"${driver[@]}" press Kestrova OK 'push button'
gone '^ID,PASS$'
"${driver[@]}" press Kestrova メールチェック
check "新着情報 shows Dovecot's three messages" "${driver[@]}" wait-text Kestrova 新着メールの数 3
check "the unsaved account left only NAME3=0 in the file" \
  cmp -s "$account" <(printf '[EXEINI]\r\nNAME3=0\r\n')
finish || { cat "$work/tree" "$work/log"; exit 1; }
