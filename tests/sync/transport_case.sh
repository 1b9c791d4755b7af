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
/usr/bin/python3 "$(dirname "$0")/transport_server.py" "$ports" &
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
read -r origin other <"$ports"
timeout 150 "$wine" "$exe" "$origin" "$other" --gtest_brief=1 "$@"
