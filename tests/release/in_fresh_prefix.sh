#!/usr/bin/env bash
# Runs a Windows test program in a Wine session of its own, on a prefix nobody has installed
# anything into, with an X display of its own.
#   in_fresh_prefix.sh NAME PROGRAM [ARGS...]
# The prefix is build/win64/release/prefixes/NAME, copied afresh from a pristine one made once; it is
# removed when the program passes and kept for a look when it fails.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
name=$1
shift
prefixes=$ROOT/build/win64/release/prefixes
export QUILL_WINEPREFIX=$prefixes/$name
export QUILL_QUIET=1
unset DISPLAY
source "$ROOT/scripts/lib/wine-session.sh"
wine_prefix_fresh "$prefixes/pristine"
wine_session_start
rc=0
"$WINE64" "$(wine_path "$1")" "${@:2}" || rc=$?
wine_session_stop || true
if [ "$rc" = 0 ]; then
  rm -rf "$QUILL_WINEPREFIX"
else
  echo "in_fresh_prefix: kept the prefix of the failed run in $QUILL_WINEPREFIX" >&2
fi
exit "$rc"
