#!/usr/bin/env bash
# Runs the transport's tests under Wine against the test server on free loopback ports, and stops
# the server whatever the tests do.
#   transport_case.sh WINE TEST_EXE WORK_DIR [gtest flags]
set -euo pipefail
wine=$1 exe=$2 work=$3
shift 3
mkdir -p "$work"
ports="$work/ports"
rm -f "$ports"
# A certificate of its own, which no system trusts: WinHTTP must refuse it.
if [ ! -s "$work/self-signed.pem" ]; then
  openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -days 3650 -keyout "$work/key.pem" \
    -out "$work/cert.pem" 2>/dev/null
  cat "$work/cert.pem" "$work/key.pem" >"$work/self-signed.pem"
fi
/usr/bin/python3 "$(dirname "$0")/transport_server.py" "$ports" "$work/self-signed.pem" &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -s "$ports" ] && break
  sleep 0.1
done
if [ ! -s "$ports" ]; then
  echo "transport_case: the test server did not start" >&2
  exit 1
fi
read -r origin other tls <"$ports"
timeout 150 "$wine" "$exe" "$origin" "$other" "$tls" --gtest_brief=1 "$@"
