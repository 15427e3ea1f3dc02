#!/usr/bin/env bash
# Runs every benchmark beside its reference on this machine and writes
# bench/RESULTS.md. Builds what it needs in the build folder, starts its own
# X server, D-Bus daemon and Dovecot (on loopback), and stops them however it
# ends (success, failure, Ctrl-C).
#
#   bench/run_all.sh [--no-build] [BUILD_DIR]      BUILD_DIR defaults to build/
#
# Quiet on success; on failure it names the step and shows the end of its log.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build_first=1
if [ "${1:-}" = "--no-build" ]; then
  build_first=0
  shift
fi
build=$(realpath -m "${1:-$here/build}")
results="$here/bench/RESULTS.md"

for tool in cmake curl dovecot Xvfb dbus-daemon valgrind callgrind_annotate /usr/bin/python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "bench/run_all.sh: $tool is missing (scripts/setup installs it)" >&2
    exit 1
  fi
done

work=$(mktemp -d /tmp/kestrova-bench-XXXXXX)
xvfb_pid="" bus_pid="" mailbox_pid="" MASTER_PID="" DIR=""
cleanup() {
  set +e # every step below is tried, whatever the one before did
  exec 9>&- # the mailbox helper stops when its input closes
  if [ -n "$mailbox_pid" ]; then
    kill "$mailbox_pid" 2>/dev/null
    for _ in $(seq 1 150); do kill -0 "$mailbox_pid" 2>/dev/null || break; sleep 0.1; done
  fi
  # In case the helper could not stop its Dovecot.
  if [ -n "$MASTER_PID" ] && [ "$MASTER_PID" -gt 0 ] && kill -0 "$MASTER_PID" 2>/dev/null; then
    kill "$MASTER_PID" 2>/dev/null
    sleep 1
    kill -9 "$MASTER_PID" 2>/dev/null
  fi
  case "$DIR" in /tmp/kestrova-dovecot-*) rm -rf "$DIR" ;; esac
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# step NAME COMMAND...: runs the command with its output in NAME.log.
step() {
  local name=$1
  shift
  if ! "$@" >"$work/$name.log" 2>&1; then
    echo "bench/run_all.sh: step '$name' failed:" >&2
    tail -n 40 "$work/$name.log" >&2
    exit 1
  fi
}

# wait_for FILE PID SECONDS: until FILE has content, while PID lives.
wait_for() {
  for _ in $(seq 1 $(($3 * 10))); do
    [ -s "$1" ] && return 0
    kill -0 "$2" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

if [ "$build_first" = 1 ]; then
  if [ ! -f "$build/CMakeCache.txt" ]; then
    step configure cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
  step configure cmake "$build" -DKESTROVA_BUILD_BENCH=ON -DKESTROVA_BUILD_TESTS=ON
  step build cmake --build "$build" --target kestrova kestrova_startup_probe bare_window_probe \
    bare_caption_window_probe startup_timer startup_parts bench_mailbox check_bench windows_bench
fi
probe="$build/bench/startup/program/kestrova_startup_probe"
bare="$build/bench/startup/bare_window_probe"
caption="$build/bench/startup/bare_caption_window_probe"
for program in "$probe" "$bare" "$caption" "$build/bench/startup/startup_timer" \
  "$build/bench/startup/startup_parts" "$build/bench/mail/bench_mailbox" \
  "$build/bench/mail/check_bench" "$build/bench/windows/windows_bench"; do
  if [ ! -x "$program" ]; then
    echo "bench/run_all.sh: $program is not built" >&2
    exit 1
  fi
done

# The machine, and how busy it is (other work skews every figure).
{
  echo "cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
  echo "cores=$(nproc)"
  echo "kernel=$(uname -sr)"
  echo "qt=$(sed -n 's/^Version: //p' <(dpkg -s libqt6core6 2>/dev/null) | head -n 1)"
  echo "build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")"
  echo "load_before=$(cut -d' ' -f1-3 /proc/loadavg)"
  echo "date=$(date -u '+%Y-%m-%d %H:%M UTC')"
} >"$work/machine.txt"

# The mailboxes first: filling them is disk work that would skew the rest.
mkfifo "$work/hold"
"$build/bench/mail/bench_mailbox" "$work/mailbox.env" <"$work/hold" >"$work/mailbox.log" 2>&1 &
mailbox_pid=$!
exec 9>"$work/hold"
if ! wait_for "$work/mailbox.env" "$mailbox_pid" 600; then
  echo "bench/run_all.sh: the benchmark's Dovecot did not start:" >&2
  tail -n 40 "$work/mailbox.log" >&2
  exit 1
fi
# shellcheck disable=SC1091
. "$work/mailbox.env"

# A display and a session with its buses, as on a desktop, all our own.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
wait_for "$work/display" "$xvfb_pid" 30 || { echo "bench/run_all.sh: Xvfb did not start" >&2; exit 1; }
# The bus starts no services on request (no accessibility bus, no settings
# daemon): nothing outlives the run, and every start finds the same bus.
cat >"$work/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$work/bus-socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
dbus-daemon --config-file="$work/bus.conf" --nofork --print-address=3 3>"$work/bus" >/dev/null 2>&1 &
bus_pid=$!
wait_for "$work/bus" "$bus_pid" 30 || { echo "bench/run_all.sh: dbus-daemon did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus")
export DBUS_SESSION_BUS_ADDRESS DBUS_SYSTEM_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR" "$work/cwd"
unset QT_QPA_PLATFORM

# Start-up: both programs in turns, then where the time goes.
step startup "$build/bench/startup/startup_timer" 30 "$work/cwd" ours="$probe" bare="$bare" \
  caption="$caption"
cp "$work/startup.log" "$work/startup.txt"
for _ in $(seq 1 11); do
  "$build/bench/startup/startup_parts" >>"$work/parts.txt" 2>>"$work/parts.log" ||
    { echo "bench/run_all.sh: startup_parts failed" >&2; tail -n 20 "$work/parts.log" >&2; exit 1; }
done
(cd "$work/cwd" && step startup-profile valgrind --tool=callgrind \
  --callgrind-out-file="$work/startup.callgrind" "$probe")
step startup-annotate bash -c "callgrind_annotate --auto=no --inclusive=yes --threshold=100 \
  '$work/startup.callgrind' >'$work/startup-profile.txt'"

# CPU while idle and in the airframe view, each beside the bare window.
cpu_run() { # cpu_run NAME MODE PROGRAM
  (cd "$work/cwd" && STARTUP_PROBE_MODE=$2 "$3") >"$work/cpu-$1.log" 2>&1 ||
    { echo "bench/run_all.sh: CPU run $1 failed" >&2; tail -n 20 "$work/cpu-$1.log" >&2; exit 1; }
  grep '^probe-cpu' "$work/cpu-$1.log" | sed "s/^probe-cpu/cpu name=$1/" >>"$work/cpu.txt"
}
cpu_run idle_ours idle:10 "$probe"
cpu_run idle_bare idle:10 "$bare"
cpu_run airframe_ours airframe:10 "$probe"
frames=$(sed -n 's/.*name=airframe_ours .*frames=\([0-9]*\).*/\1/p' "$work/cpu.txt")
cpu_run airframe_bare "repaint:10:$(((frames + 5) / 10))" "$bare"

step windows "$build/bench/windows/windows_bench" --benchmark_format=json \
  --benchmark_out="$work/windows.json" --benchmark_repetitions=3

# The mail check beside curl (on loopback and over a slow link), the ways of reaching
# the server, its memory, and its profile.
step check "$build/bench/mail/check_bench" times "$PORT"
grep '^run ' "$work/check.log" >"$work/check.txt"
step reach "$build/bench/mail/check_bench" reach "$PORT" "$TLS_PORT" "$CA"
grep '^reach ' "$work/reach.log" >"$work/reach.txt"
step link "$build/bench/mail/check_bench" link "$PORT"
grep '^link ' "$work/link.log" >"$work/link.txt"
step memory "$build/bench/mail/check_bench" memory "$PORT"
grep '^memory ' "$work/memory.log" >"$work/memory.txt"
cp "$DIR/dovecot.log" "$work/dovecot.log"
step check-profile valgrind --tool=callgrind --collect-atstart=no \
  "--toggle-collect=*profiledCheck*" --callgrind-out-file="$work/check.callgrind" \
  "$build/bench/mail/check_bench" once "$PORT" bulk
step check-annotate bash -c "callgrind_annotate --auto=no --inclusive=no \
  '$work/check.callgrind' >'$work/check-self.txt' && callgrind_annotate --auto=no \
  --inclusive=yes --threshold=100 '$work/check.callgrind' >'$work/check-inclusive.txt'"

echo "load_after=$(cut -d' ' -f1-3 /proc/loadavg)" >>"$work/machine.txt"
step report /usr/bin/python3 "$here/bench/report.py" "$work" "$results"

# The Windows build under Wine, when scripts/windows has made it and its zip.
if [ -f "$here/build-windows/bench/startup/bare_window.exe" ] &&
  compgen -G "$here/build-windows/kestrova-*-win64.zip" >/dev/null; then
  if ! bash "$here/bench/wine_startup.sh" 10 >"$work/wine.md" 2>"$work/wine.log"; then
    echo "bench/run_all.sh: step 'wine' failed:" >&2
    tail -n 40 "$work/wine.log" >&2
    exit 1
  fi
  {
    echo
    echo "## Windows under Wine"
    echo
    echo "The Windows build (\`bash scripts/windows\`) on the same machine, by \`bench/wine_startup.sh\`: each program started in turns from a folder holding the zip's files, on a private Xvfb, with the Wine server already up; timed to the main window mapped on the X server."
    echo
    echo "| Benchmark | Ours | Reference | Ratio | Goal | Verdict |"
    echo "|---|---|---|---|---|---|"
    cat "$work/wine.md"
  } >>"$results"
fi
