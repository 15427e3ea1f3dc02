#!/usr/bin/env bash
# The test suite's check that no Dovecot started by a test outlived it.
# Each server notes its master's process id in RECORDS (a file named by the
# id) while it runs; the master leads a session of its own, so every process
# of that server is found by the session id. A record whose session is empty
# belongs to a test that ended without stopping its server (it crashed or was
# killed) but whose server went down with it: that is fine. A session with a
# Dovecot process left is a failure; those processes are killed.
set -uo pipefail
records=${1:?usage: check_none_left.sh RECORDS-FOLDER}
[ -d "$records" ] || { echo "no Dovecot was started"; exit 0; }

failures=0
for record in "$records"/*; do
  [ -e "$record" ] || continue
  master=$(basename "$record")
  case $master in *[!0-9]*) rm -f "$record"; continue ;; esac
  # Processes of that session, zombies excepted (they have ended).
  left=$(ps -eo sid=,pid=,stat=,args= | awk -v s="$master" '$1 == s && $3 !~ /^Z/ && /dovecot/')
  if [ -n "$left" ]; then
    echo "FAILED: Dovecot master $master outlived its test:"
    echo "$left"
    for pid in $(echo "$left" | awk '{print $2}'); do kill -KILL "$pid" 2>/dev/null; done
    failures=$((failures + 1))
  else
    echo "note: the test of master $master did not stop it, but it is gone"
  fi
  rm -f "$record"
done
[ "$failures" -eq 0 ] && echo "no Dovecot left running"
[ "$failures" -eq 0 ]
