#!/usr/bin/env bash
# The widget's sync end to end: Radicale (or the server QUILL_SYNC_SERVER names: radicale or sabre,
# the servers with a password) on a free loopback port, named to the end-to-end driver's Sync tests
# in QUILL_SYNC_URL, QUILL_SYNC_USER and QUILL_SYNC_PASSWORD.
#   tests/sync/widget_case.sh WORK E2E_DRIVER.exe ARGS...
# Runs in the Wine session of the shell that started ctest, or in one of its own.
set -euo pipefail
work=$1
shift
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work"
mkdir -p "$work"
if [ -z "${WINEPREFIX:-}" ] || [ -z "${WINE64:-}" ] || [ -z "${DISPLAY:-}" ]; then
  source "$root/scripts/lib/wine-session.sh"
  QUILL_QUIET=1 wine_session_start
fi
source "$root/scripts/lib/caldav-servers.sh"
# Wine passes the Unix environment on to the driver (TEMP and TMP aside).
case "${QUILL_SYNC_SERVER:-radicale}" in
  radicale)
    radicale_start "$work/radicale"
    export QUILL_SYNC_URL=$RADICALE_URL QUILL_SYNC_USER=$RADICALE_USER QUILL_SYNC_PASSWORD=$RADICALE_PASSWORD ;;
  sabre)
    sabre_start "$work/sabre"
    export QUILL_SYNC_URL=$SABRE_URL QUILL_SYNC_USER=$SABRE_USER QUILL_SYNC_PASSWORD=$SABRE_PASSWORD ;;
  *) echo "widget_case: QUILL_SYNC_SERVER is radicale or sabre" >&2; exit 2 ;;
esac
"$WINE64" "$@"
