#!/usr/bin/env bash
# Runs the mail benchmark built in the given build folder (default: build)
# and prints its machine-readable lines (name=value). Builds nothing itself.
#   bench/mail/run_bench.sh [BUILD_DIR]            times and memory
#   bench/mail/run_bench.sh [BUILD_DIR] --profile  instructions of one check of
#                                                  each case, under callgrind
set -euo pipefail
build_dir="${1:-build}"
program="$build_dir/bench/mail/nmail_bench"
if [ ! -x "$program" ]; then
  echo "not built: $program (cmake --build $build_dir --target nmail_bench)" >&2
  exit 1
fi
if [ "${2:-}" != "--profile" ]; then
  exec "$program"
fi
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
for case in 1000x50k 5000x2k; do
  valgrind --tool=callgrind --collect-atstart=no '--toggle-collect=*profiledCheck*' \
    --callgrind-out-file="$out/$case.callgrind" "$program" once "$case" 2>"$out/$case.log" ||
    { cat "$out/$case.log" >&2; exit 1; }
  total=$(sed -n 's/^summary: *//p' "$out/$case.callgrind")
  echo "instructions_$case=$total"
  if [ -n "${KEEP_PROFILE:-}" ]; then
    cp "$out/$case.callgrind" "$KEEP_PROFILE.$case.callgrind"
  fi
done
