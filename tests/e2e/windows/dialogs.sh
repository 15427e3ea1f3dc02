# Helpers for the scripts that drive Kestrova's windows under Wine with
# xdotool, beside tests/support/desktop_driver.sh (source that first).
#
#   dialog WINDOW KEYS...                  the keys, typed into that window
#   typing WINDOW TEXT KEYS... TEXT        the text, then keys, then text
#   expect_file DESCRIPTION PATH FORMAT    waits until PATH holds the bytes
#                                          printf FORMAT gives; checks that

# The X server's keyboard focus is in the window. Wine hands a key to the
# program only after the focus change that came before it, so from then on
# the keys reach the window that was activated.
has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }

dialog() {
  xdotool windowactivate --sync "$1"
  wait_for has_focus "$1"
  shift
  xdotool key --delay 50 "$@"
}

typing() {
  dialog "$1" ctrl+a
  xdotool type --delay 50 "$2"
  xdotool key --delay 50 "${@:3:$#-3}"
  xdotool type --delay 50 "${@: -1}"
}

# The program replaces its files whole, so a file that is there is complete.
# A dialog writes within a second of its last key, even under load; 30 s
# keeps a run where every file is missing inside the test's time limit.
holds_bytes() { cmp -s "$1" <(printf "$2"); }
expect_file() {
  WAIT_TENTHS=300 wait_for holds_bytes "$2" "$3"
  check "$1" holds_bytes "$2" "$3"
}
