#!/usr/bin/env bash
# The widget's sync end to end: Radicale on a free loopback port, named to the end-to-end driver's
# Sync tests in QUILL_SYNC_URL, QUILL_SYNC_USER and QUILL_SYNC_PASSWORD.
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
radicale_start "$work/radicale"
# Wine passes the Unix environment on to the driver (TEMP and TMP aside).
export QUILL_SYNC_URL=$RADICALE_URL QUILL_SYNC_USER=$RADICALE_USER QUILL_SYNC_PASSWORD=$RADICALE_PASSWORD
"$WINE64" "$@"
