#!/usr/bin/env bash
# The POP3 client of the Windows build, under Wine, against a Linux Dovecot on
# loopback (plain, STLS with a pinned certificate, pop3s://). Dovecot is
# stopped when the test ends, however it ends.
#   pop3_dovecot.sh CLIENT-EXE WINE-RUNNER
set -uo pipefail
client=$1
wine_runner=$2
command -v dovecot >/dev/null || { echo "skipped: no dovecot"; exit 77; }
here=$(cd "$(dirname "$0")" && pwd)
. "$here/dovecot.sh"
work=$(mktemp -d /tmp/kestrova-wine-dovecot-XXXXXX)
trap 'dovecot_stop; rm -rf "$work"' EXIT
dovecot_start "$work" || { echo "FAILED: Dovecot did not start"; cat "$work"/dovecot.err 2>/dev/null; exit 1; }
"$wine_runner" "$client" "$DOVECOT_PLAIN_PORT" "$DOVECOT_TLS_PORT" "Z:$DOVECOT_CA"
status=$?
[ $status -eq 0 ] || tail -n 20 "$work/dovecot.log"
exit $status
