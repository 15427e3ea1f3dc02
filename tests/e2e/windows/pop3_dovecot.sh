#!/usr/bin/env bash
# The POP3 client of the Windows build, under Wine, against a Linux Dovecot on
# loopback (plain, STLS with a pinned certificate, pop3s://, the pop3s port
# without a scheme, a name whose first address swallows connection attempts).
# Dovecot and the swallowing listener are stopped when the test ends, however
# it ends.
#   pop3_dovecot.sh CLIENT-EXE WINE-RUNNER
set -uo pipefail
client=$1
wine_runner=$2
command -v dovecot >/dev/null || { echo "skipped: no dovecot"; exit 77; }
here=$(cd "$(dirname "$0")" && pwd)
. "$here/dovecot.sh"
work=$(mktemp -d /tmp/kestrova-wine-dovecot-XXXXXX)
swallow_pid=""
trap 'dovecot_stop; [ -z "$swallow_pid" ] || kill "$swallow_pid"; rm -rf "$work"' EXIT
dovecot_start "$work" || { echo "FAILED: Dovecot did not start"; cat "$work"/dovecot.err 2>/dev/null; exit 1; }
# On ::1, Dovecot's plain port takes no connection and answers no attempt.
/usr/bin/python3 "$here/../../support/fakepop3/fake_pop3.py" swallow \
  --listen "::1:$DOVECOT_PLAIN_PORT" >"$work/swallow.port" &
swallow_pid=$!
for _ in $(seq 1 900); do
  [ -s "$work/swallow.port" ] && break
  sleep 0.1
done
swallowing=swallowing
if [ "$(cat "$work/swallow.port")" != "$DOVECOT_PLAIN_PORT" ]; then
  echo "no IPv6 loopback, or its port is taken: the swallowing address is not tried"
  swallowing=""
fi
"$wine_runner" "$client" "$DOVECOT_PLAIN_PORT" "$DOVECOT_TLS_PORT" "Z:$DOVECOT_CA" $swallowing
status=$?
[ $status -eq 0 ] || tail -n 20 "$work/dovecot.log"
exit $status
