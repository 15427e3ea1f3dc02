#!/usr/bin/env bash
# Start-up of the Windows build under Wine beside a bare Qt window built the
# same way (bench/startup/BareWindow.cpp: one fixed-size window of the main
# window's size; and the same with one Japanese caption, the price of drawing
# any text), and the size of the zip. Needs the Windows build and its zip
# (bash scripts/windows). Prints a Markdown table for bench/RESULTS.md.
#
#   bench/wine_startup.sh [RUNS]     RUNS starts of each, in turns (default 10)
#
# A start is timed from just before "wine" is run to the moment the window
# is mapped on the X server (polled every 10 ms), in a folder holding the
# zip's files, on a private Xvfb, with the Wine server already up (each run
# starts a program in it, as a second program on a desktop does). Loading
# Wine itself is the same for both and counts in both.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-10}
build=$here/build-windows
zip=$(ls "$build"/kestrova-*-win64.zip)
stage=$(ls -d "$build"/zip/kestrova-*-win64)
[ -f "$build/bench/startup/bare_window.exe" ] || { echo "no Windows build: bash scripts/windows" >&2; exit 1; }

work=$(mktemp -d /tmp/kestrova-wine-bench-XXXXXX)
export WINEPREFIX=$build/wine WINEDEBUG=-all
xvfb_pid=""
cleanup() {
  wineserver -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cp -r "$stage" "$work/program"
cp "$build"/bench/startup/bare_{,caption_}window.exe "$work/program/"
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -noreset -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
sleep 1
# Keeps the Wine server up between the runs.
wineserver -p
[ -f "$WINEPREFIX/system.reg" ] || wine wineboot --init >/dev/null 2>&1

# start_ms PROGRAM TITLE-REGEX: milliseconds to the window, then ends it.
start_ms() {
  local t0 t1 pid
  t0=$(date +%s%N)
  (cd "$work/program" && exec wine "$1") >/dev/null 2>&1 &
  pid=$!
  until xdotool search --onlyvisible --name "$2" >/dev/null 2>&1; do sleep 0.01; done
  t1=$(date +%s%N)
  kill "$pid" 2>/dev/null
  wine taskkill /f /im "$1" >/dev/null 2>&1 || true
  wait "$pid" 2>/dev/null || true
  echo $(((t1 - t0) / 1000000))
}

ours=()
bare=()
caption=()
start_ms kestrova.exe 'Ver 1\.0$' >/dev/null
start_ms bare_window.exe '^Bare window$' >/dev/null
for _ in $(seq 1 "$runs"); do
  ours+=("$(start_ms kestrova.exe 'Ver 1\.0$')")
  bare+=("$(start_ms bare_window.exe '^Bare window$')")
  caption+=("$(start_ms bare_caption_window.exe '^Bare window$')")
done
best() { printf '%s\n' "$@" | sort -n | head -n1; }
median() { printf '%s\n' "$@" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
ob=$(best "${ours[@]}")
bb=$(best "${bare[@]}")
om=$(median "${ours[@]}")
bm=$(median "${bare[@]}")
ratio=$(awk -v a="$ob" -v b="$bb" 'BEGIN { printf "%.2f", a / b }')
verdict=$(awk -v r="$ratio" 'BEGIN { print (r <= 1.5) ? "pass" : "miss" }')
size=$(stat -c %s "$zip")
echo "| Windows start-up under Wine to the mapped main window, best of $runs (median) | $ob ms ($om) | bare Qt window $bb ms ($bm) | $ratio | ≤ 1.5 × bare window | $verdict |"
echo "| the same, bare window with one Japanese caption | — | $(best "${caption[@]}") ms ($(median "${caption[@]}")) | $(awk -v a="$ob" -v b="$(best "${caption[@]}")" 'BEGIN { printf "%.2f", a / b }') | — | no goal |"
echo "| Size of $(basename "$zip") | $((size / 1024)) KiB | — | — | — | no goal |"
