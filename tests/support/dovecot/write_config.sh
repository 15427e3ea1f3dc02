#!/usr/bin/env bash
# Writes DIR/dovecot.conf for a tests' Dovecot in the configuration language
# of the installed Dovecot, read from `dovecot --version`: the words of
# dovecot-2.3.conf before 2.4 (Debian 12), those of dovecot-2.4.conf from 2.4
# on (Debian 13), with their @NAME@s filled in.
#   write_config.sh DIR LISTEN PLAIN_PORT TLS_PORT
# DIR holds server.crt and server.key and a passwd-file per user in users/;
# LISTEN lists the addresses ("127.0.0.1, ::1"). Used by DovecotServer and by
# tests/e2e/windows/dovecot.sh.
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: write_config.sh DIR LISTEN PLAIN_PORT TLS_PORT" >&2; exit 2; }
dir=$1 listen=$2 plain=$3 tls=$4
here=$(cd "$(dirname "$0")" && pwd)
dovecot=$(PATH=$PATH:/usr/sbin:/usr/local/sbin command -v dovecot) ||
  { echo "write_config.sh: no dovecot installed" >&2; exit 1; }
version=$("$dovecot" --version)
case $version in
2.[0-3].*) language=2.3 ;;
2.* | [3-9].*) language=2.4 ;;
*) echo "write_config.sh: not a Dovecot version: \"$version\"" >&2; exit 1 ;;
esac
# A value as sed's replacement text takes it.
literal() { printf '%s' "$1" | sed 's/[&|\\]/\\&/g'; }
sed -e "s|@DIR@|$(literal "$dir")|g" -e "s|@LISTEN@|$(literal "$listen")|g" \
  -e "s|@PLAIN_PORT@|$plain|g" -e "s|@TLS_PORT@|$tls|g" \
  "$here/dovecot-$language.conf" >"$dir/dovecot.conf.new"
if [ "$(id -u)" -ne 0 ]; then
  # Not root: Dovecot's processes stay this user instead of its own users.
  printf 'default_login_user = %s\ndefault_internal_user = %s\n' "$(id -un)" "$(id -un)" \
    >>"$dir/dovecot.conf.new"
fi
mv "$dir/dovecot.conf.new" "$dir/dovecot.conf"
