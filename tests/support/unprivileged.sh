#!/usr/bin/env bash
# unprivileged.sh PROGRAM [ARGS...]
# Runs a test program as an unprivileged user, for tests of folders a user
# cannot write (root may write anywhere, and tests run as root here and in CI).
# As another user the program simply runs. As root it runs as nobody through
# setpriv, from a copy in a fresh temporary folder (the build folder may lie
# where nobody cannot reach), with a temporary home folder of its own; the
# folder is removed afterwards, whatever the outcome.
set -uo pipefail
program=$1
shift
if [ "$(id -u)" -ne 0 ]; then
  exec "$program" "$@"
fi
if ! command -v setpriv >/dev/null; then
  echo "skipped: setpriv is needed to run as an unprivileged user"
  exit 77
fi
nobody=$(id -u nobody) || { echo "skipped: no user nobody"; exit 77; }
group=$(id -g nobody)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
mkdir "$work/home" "$work/run"
chmod 700 "$work/run"
chown "$nobody:$group" "$work/home" "$work/run"
cp "$program" "$work/"
cd "$work/home"
env -u XDG_DATA_HOME -u XAUTHORITY HOME="$work/home" TMPDIR="$work/home" XDG_RUNTIME_DIR="$work/run" \
  setpriv --reuid="$nobody" --regid="$group" --clear-groups \
  "$work/$(basename "$program")" "$@"
