#!/usr/bin/env bash
# Runs the mail benchmark built in the given build folder (default: build)
# and prints its numbers. Builds nothing itself.
#   bench/mail/run_bench.sh [BUILD_DIR]
set -euo pipefail
build_dir="${1:-build}"
program="$build_dir/bench/mail/nmail_bench"
if [ ! -x "$program" ]; then
  echo "not built: $program (cmake --build $build_dir --target nmail_bench)" >&2
  exit 1
fi
exec "$program"
