# A throw-away Dovecot on loopback for the tests of the Windows build, which
# run under Wine and cannot start Linux programs themselves, and for the
# README's pictures (tools/make_screenshots.sh). Sourced by a
# script:  dovecot_start DIR [USER PASSWORD]   (sets DOVECOT_PLAIN_PORT,
# DOVECOT_TLS_PORT, DOVECOT_CA; user "alice", password "secret" unless given,
# three messages)
#               dovecot_stop        (also from the script's EXIT trap)
# Same configuration as tests/support/dovecot, written by its
# write_config.sh: every path under DIR, no system configuration read, failed
# logins answered at once.
dovecot_pid=""
dovecot_support=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../support/dovecot" && pwd)

# Two different ports of 127.0.0.1 that are free now.
dovecot_free_ports() {
  /usr/bin/python3 -c 'import socket; a, b = socket.socket(), socket.socket(); a.bind(("127.0.0.1", 0)); b.bind(("127.0.0.1", 0)); print(a.getsockname()[1], b.getsockname()[1])'
}

dovecot_start() {
  local d=$1 user=${2:-alice} password=${3:-secret} uid=0 gid=0 ssl
  mkdir -p "$d/users" "$d/home/$user/Maildir"/{cur,new,tmp}
  chmod 755 "$d"
  # Dovecot's own users walk down to the folder.
  local p=$d
  while [ "$p" != / ]; do chmod go+x "$p" 2>/dev/null; p=$(dirname "$p"); done
  if [ "$(id -u)" -eq 0 ]; then uid=$(id -u mail); gid=$(id -g mail); else uid=$(id -u); gid=$(id -g); fi
  ssl=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
  (cd "$d" &&
    openssl req -x509 "${ssl[@]}" -keyout ca.key -out ca.crt -days 2 -subj "/CN=Kestrova Test CA" \
      -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign &&
    printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n' >server.ext &&
    openssl req "${ssl[@]}" -keyout server.key -out server.csr -subj /CN=localhost &&
    openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out server.crt \
      -days 2 -extfile server.ext) >/dev/null 2>&1 || return 1
  chmod 600 "$d/server.key"
  echo "$user:{PLAIN}$password:$uid:$gid::$d/home/$user::nodelay=yes" >"$d/users/$user"
  local n
  for n in 1 2 3; do
    printf 'From: sender%s@example.com\r\nSubject: message %s\r\nDate: Mon, 1 Jan 2024 10:00:00 +0900\r\n\r\nbody %s\r\n' \
      "$n" "$n" "$n" >"$d/home/$user/Maildir/new/$((1000000000 + n)).M${n}P1.kestrova"
  done
  chown -R "$uid:$gid" "$d/home"
  DOVECOT_CA=$d/ca.crt
  # The ports are found free, then Dovecot is told them: another program may
  # take one in between, and then Dovecot cannot listen. New ports are tried then.
  local _
  for _ in 1 2 3 4 5; do
    dovecot_listen "$d" && return 0
    grep -q "Address already in use" "$d/dovecot.err" || return 1
  done
  return 1
}

# Starts the master of DIR's Dovecot on two free ports and waits until it serves.
dovecot_listen() {
  local d=$1 ports
  ports=$(dovecot_free_ports) || return 1
  read -r DOVECOT_PLAIN_PORT DOVECOT_TLS_PORT <<<"$ports"
  bash "$dovecot_support/write_config.sh" "$d" 127.0.0.1 "$DOVECOT_PLAIN_PORT" \
    "$DOVECOT_TLS_PORT" || return 1
  # Output to files: the master keeps them open for good.
  setsid dovecot -F -c "$d/dovecot.conf" >"$d/dovecot.out" 2>"$d/dovecot.err" </dev/null &
  dovecot_pid=$!
  local _
  # Up to 90 s, as every wait of these tests; a master that ended will not listen.
  for _ in $(seq 1 900); do
    if ! kill -0 "$dovecot_pid" 2>/dev/null; then
      wait "$dovecot_pid" 2>/dev/null
      dovecot_pid=""
      return 1
    fi
    if /usr/bin/python3 -c "import socket,sys; socket.create_connection(('127.0.0.1', $DOVECOT_PLAIN_PORT), 1); socket.create_connection(('127.0.0.1', $DOVECOT_TLS_PORT), 1)" 2>/dev/null; then
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# Stops the master and every process of its session.
dovecot_stop() {
  [ -n "$dovecot_pid" ] || return 0
  kill -TERM -- "-$dovecot_pid" 2>/dev/null
  local _
  for _ in $(seq 1 50); do
    kill -0 "$dovecot_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL -- "-$dovecot_pid" 2>/dev/null
  wait "$dovecot_pid" 2>/dev/null
  dovecot_pid=""
}
