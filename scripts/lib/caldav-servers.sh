# Real CalDAV servers for the sync's tests and benchmark: Radicale (with a user and a password),
# Xandikos (no authentication) and SabreDAV (Basic authentication, SQLite storage, served by PHP's
# built-in server), each on 127.0.0.1 on a free port, with its storage in a folder the caller
# names. Source it, then:
#   radicale_start DIR     sets RADICALE_URL, RADICALE_PORT, RADICALE_USER, RADICALE_PASSWORD
#   xandikos_start DIR     sets XANDIKOS_URL, XANDIKOS_PORT
#   sabre_start DIR        sets SABRE_URL, SABRE_PORT, SABRE_USER, SABRE_PASSWORD
#   radicale_stop / xandikos_stop / sabre_stop, and the start again with the same DIR: the same
#   port and storage, for a server that goes away and comes back
#   caldav_servers_stop    stops whatever is still running; also run at exit (chained before any
#                          EXIT trap that was set when the first server started)
# Every wait is bounded; a server that does not answer in 20 s fails the start with its log.

CALDAV_PY=/usr/bin/python3
_caldav_pids=()

# A port nobody listens on now. Another process may take it before the server binds it: the starts
# below try a few ports before they give up.
caldav_free_port() {
  "$CALDAV_PY" -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])'
}

# True once something answers HTTP at the URL (any status: 401 from Radicale is an answer).
caldav_answers() {
  "$CALDAV_PY" - "$1" <<'PY'
import sys, urllib.request, urllib.error
try:
    urllib.request.urlopen(urllib.request.Request(sys.argv[1], method="OPTIONS"), timeout=1)
except urllib.error.HTTPError:
    pass
except Exception:
    sys.exit(1)
PY
}

_caldav_trap() {
  local prev
  prev=$(trap -p EXIT | sed -e "s/^trap -- '//" -e "s/' EXIT\$//")
  [ "$prev" = _caldav_on_exit ] && return 0
  _caldav_prev_trap=$prev
  trap _caldav_on_exit EXIT
  # A signal ends the script through its EXIT trap, so a test stopped from outside (a timeout)
  # leaves no server running.
  [ -n "$(trap -p TERM)" ] || trap 'exit 143' TERM
  [ -n "$(trap -p INT)" ] || trap 'exit 130' INT
}

# Whatever the caller had at exit (the Wine session's stop) still runs after the servers stop, and
# sees the status the script ended with.
_caldav_on_exit() {
  local rc=$?
  caldav_servers_stop
  set +e
  (exit $rc)
  eval "${_caldav_prev_trap:-:}"
}

# _caldav_wait PID URL LOG: 0 once the URL answers; 1 when the process ended or 20 s went by.
_caldav_wait() {
  local pid=$1 url=$2 log=$3 i
  for i in $(seq 1 200); do
    if ! kill -0 "$pid" 2>/dev/null; then
      return 1
    fi
    caldav_answers "$url" && return 0
    sleep 0.1
  done
  echo "caldav-servers: $url did not answer in 20 s; $log:" >&2
  tail -20 "$log" >&2
  return 1
}

# A server's own children go with it (PHP's workers outlive their parent otherwise).
_caldav_kill() {
  local pid=$1 kids
  [ -n "$pid" ] || return 0
  kids=$(pgrep -P "$pid" 2>/dev/null || true)
  kill "$pid" $kids 2>/dev/null || true
  for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
  kill -9 "$pid" $kids 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

# _caldav_serve NAME DIR PORT STARTER: runs "STARTER DIR PORT" in the background (its output to
# DIR/log) until the port answers, trying a few free ports when PORT is empty; the port in
# _caldav_port and the process in _caldav_pid. A port asked for again (a restart) that is gone is
# a failure, not a reason to move.
_caldav_serve() {
  local name=$1 dir=$2 want=$3 starter=$4 try port
  _caldav_trap
  for try in 1 2 3 4 5; do
    port=${want:-$(caldav_free_port)}
    "$starter" "$dir" "$port" >> "$dir/log" 2>&1 &
    _caldav_pid=$!
    _caldav_pids+=("$_caldav_pid")
    if _caldav_wait "$_caldav_pid" "http://127.0.0.1:$port/" "$dir/log"; then
      _caldav_port=$port
      return 0
    fi
    _caldav_kill "$_caldav_pid"
    [ -n "$want" ] && break
  done
  echo "caldav-servers: $name would not start; $dir/log:" >&2
  tail -20 "$dir/log" >&2
  return 1
}

_radicale_run() {
  cat > "$1/config" <<EOF
[server]
hosts = 127.0.0.1:$2
[auth]
type = htpasswd
htpasswd_filename = $1/users
htpasswd_encryption = md5
delay = 0
[rights]
type = owner_only
[storage]
filesystem_folder = $1/collections
[logging]
level = warning
mask_passwords = True
[web]
type = none
EOF
  exec radicale --config "$1/config"
}

# radicale_start DIR: DIR holds the config, the users' file, the collections and the log. A second
# call after radicale_stop reuses the port it had.
radicale_start() {
  local dir=$1
  mkdir -p "$dir/collections"
  RADICALE_USER=${RADICALE_USER:-alice}
  RADICALE_PASSWORD=${RADICALE_PASSWORD:-journal-42}
  # Apache's MD5 form: what Debian's Radicale checks with the passlib it already depends on.
  "$CALDAV_PY" -c 'import sys
from passlib.hash import apr_md5_crypt
print(sys.argv[1] + ":" + apr_md5_crypt.hash(sys.argv[2]))' "$RADICALE_USER" "$RADICALE_PASSWORD" > "$dir/users"
  _caldav_serve Radicale "$dir" "${RADICALE_PORT:-}" _radicale_run || return 1
  RADICALE_PID=$_caldav_pid RADICALE_PORT=$_caldav_port RADICALE_URL="http://127.0.0.1:$_caldav_port/"
  export RADICALE_URL RADICALE_PORT RADICALE_USER RADICALE_PASSWORD
}

radicale_stop() { _caldav_kill "${RADICALE_PID:-}"; RADICALE_PID=; }

_xandikos_run() { exec xandikos --defaults -d "$1/data" -l 127.0.0.1 -p "$2"; }

# xandikos_start DIR: --defaults makes the principal /user/ with its calendar home
# /user/calendars/, where MKCALENDAR may make the collection the sync asks for.
xandikos_start() {
  mkdir -p "$1/data"
  _caldav_serve Xandikos "$1" "${XANDIKOS_PORT:-}" _xandikos_run || return 1
  XANDIKOS_PID=$_caldav_pid XANDIKOS_PORT=$_caldav_port XANDIKOS_URL="http://127.0.0.1:$_caldav_port/"
  export XANDIKOS_URL XANDIKOS_PORT
}

xandikos_stop() { _caldav_kill "${XANDIKOS_PID:-}"; XANDIKOS_PID=; }

_caldav_sabre_script="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/tests/sync/sabre_server.php"
_sabre_run() {
  SABRE_DB="$1/db.sqlite" SABRE_REQUEST_LOG="$1/requests" SABRE_USER=$SABRE_USER SABRE_PASSWORD=$SABRE_PASSWORD \
    SABRE_AUTH=${SABRE_AUTH:-basic} PHP_CLI_SERVER_WORKERS=4 exec php -d memory_limit=1G -S "127.0.0.1:$2" -t "$1/www" "$_caldav_sabre_script"
}

# sabre_start DIR: the database (made on first use), the log and a line a request (requests) in DIR.
# SABRE_AUTH=digest asks for Digest only, checked against the password the database was made with.
# The principal is /principals/$SABRE_USER/ and its calendar home /calendars/$SABRE_USER/, empty
# until the sync's MKCALENDAR. PHP's server answers one request at a time unless told to fork
# workers: four, so a second client (or a proxy's retry) is not held behind a long request as no
# real server holds it.
sabre_start() {
  mkdir -p "$1/www"
  SABRE_USER=${SABRE_USER:-alice}
  SABRE_PASSWORD=${SABRE_PASSWORD:-journal-42}
  _caldav_serve SabreDAV "$1" "${SABRE_PORT:-}" _sabre_run || return 1
  SABRE_PID=$_caldav_pid SABRE_PORT=$_caldav_port SABRE_URL="http://127.0.0.1:$_caldav_port/"
  export SABRE_URL SABRE_PORT SABRE_USER SABRE_PASSWORD
}

sabre_stop() { _caldav_kill "${SABRE_PID:-}"; SABRE_PID=; }

caldav_servers_stop() {
  local p
  for p in "${_caldav_pids[@]}"; do
    _caldav_kill "$p"
  done
  _caldav_pids=()
  RADICALE_PID= XANDIKOS_PID= SABRE_PID=
}
