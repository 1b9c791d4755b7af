#!/usr/bin/env bash
# Two PCs' diaries against one real CalDAV server, through the notes tool under Wine:
#   tests/sync/real_server_case.sh radicale|xandikos|sabre TOOL.exe WORK
# Each "PC" is a temporary folder and a local application data folder of its own, so a diary and a
# safety folder of its own. PC A reaches the server through tests/sync/cut_proxy.py (cuts, request
# counts), PC B directly (a server that is down refuses B's connection). Every case checks the
# notes file itself: a failed sync must leave it byte for byte as it was.
set -euo pipefail
kind=$1 tool=$2 work=$3
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
PY=/usr/bin/python3
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)

if [ -z "${WINEPREFIX:-}" ] || [ -z "${WINE64:-}" ]; then
  source "$root/scripts/lib/wine-session.sh"
  QUILL_QUIET=1 wine_session_start
fi
source "$root/scripts/lib/caldav-servers.sh"

case "$kind" in
  radicale)
    radicale_start "$work/server"
    url=$RADICALE_URL port=$RADICALE_PORT user=$RADICALE_USER pass=$RADICALE_PASSWORD ;;
  xandikos)
    xandikos_start "$work/server"
    url=$XANDIKOS_URL port=$XANDIKOS_PORT user=alice pass=any-password ;;
  sabre)
    sabre_start "$work/server"
    url=$SABRE_URL port=$SABRE_PORT user=$SABRE_USER pass=$SABRE_PASSWORD ;;
  *) echo "usage: $0 radicale|xandikos|sabre TOOL WORK" >&2; exit 2 ;;
esac
server_start() { "${kind}_start" "$work/server"; }
server_stop() { "${kind}_stop"; }

"$PY" "$here/cut_proxy.py" --to "127.0.0.1:$port" --port-file "$work/proxy.port" \
  --control "$work/proxy.ctl" --stats "$work/proxy.json" >"$work/proxy.log" 2>&1 &
proxy_pid=$!
for _ in $(seq 1 100); do [ -s "$work/proxy.port" ] && break; sleep 0.05; done
proxy_url="http://127.0.0.1:$(cat "$work/proxy.port")/"
_caldav_pids+=("$proxy_pid")

wp() { printf 'Z:%s' "$1" | tr '/' '\\'; }
fail() { echo "FAIL ($kind): $*" >&2; exit 1; }
step() { echo "-- $*"; }

# pc NAME ARGS...: the tool as that PC, its standard input passed on; output in $work/NAME.out and
# .err, the exit status returned. cmd sets the folders: Wine takes TEMP from the prefix's registry,
# not from the Unix environment.
pc() {
  local name=$1
  shift
  mkdir -p "$work/$name/temp" "$work/$name/local"
  local rc=0
  "$WINE64" cmd /c "set TEMP=$(wp "$work/$name/temp")&& set TMP=$(wp "$work/$name/temp")&& set LOCALAPPDATA=$(wp "$work/$name/local")&& $(wp "$tool") $*" \
    >"$work/$name.out" 2>"$work/$name.err" || rc=$?
  return $rc
}
notes() { echo "$work/$1/temp/nts.ini"; }
sync_ok() {
  pc "$1" sync now </dev/null || fail "$1: sync now failed: $(cat "$work/$1.out" "$work/$1.err")"
}
# sync_fails NAME WORDS: the sync must fail, say WORDS (a regular expression), and leave the notes.
sync_fails() {
  local before="$work/$1.before"
  cp "$(notes "$1")" "$before"
  if pc "$1" sync now </dev/null; then fail "$1: sync now succeeded where it must fail: $(cat "$work/$1.out")"; fi
  grep -Eqi "$2" "$work/$1.out" "$work/$1.err" || fail "$1: the failure does not say /$2/: $(cat "$work/$1.out" "$work/$1.err")"
  cmp -s "$before" "$(notes "$1")" || fail "$1: a failed sync changed the notes file"
}
# put NAME DATE TEXT: files TEXT (UTF-8; empty removes the note) as the day's note, replacing it.
put() {
  "$PY" - "$work/$1.in.json" "$2" "$3" <<'PY'
import json, sys
json.dump({"format": "quillidar-notes", "version": 1, "notes": [{"date": sys.argv[2], "text": sys.argv[3]}]},
          open(sys.argv[1], "w", encoding="utf-8"), ensure_ascii=False)
PY
  pc "$1" import "$(wp "$work/$1.in.json")" --on-conflict replace --pivot 2027 </dev/null ||
    fail "$1: import failed: $(cat "$work/$1.err")"
}
# text NAME DATE: the day's note as the export has it (CR LF as LF), or nothing.
export_json() {
  pc "$1" export --pivot 2027 -o "$(wp "$work/$1.json")" </dev/null || fail "$1: export failed: $(cat "$work/$1.err")"
}
text() {
  export_json "$1"
  "$PY" - "$work/$1.json" "$2" <<'PY'
import json, sys
for n in json.load(open(sys.argv[1], encoding="utf-8"))["notes"]:
    if n["date"] == sys.argv[2]:
        print(n["text"].replace("\r\n", "\n"), end="")
PY
}
expect_text() { # NAME DATE TEXT
  local got
  got=$(text "$1" "$2")
  [ "$got" = "$3" ] || fail "$1 $2: expected [$3], got [$got]"
}
expect_holds() { # NAME DATE PART...: the note holds every part, each once
  local name=$1 day=$2 got part
  shift 2
  got=$(text "$name" "$day")
  for part in "$@"; do
    [ "$(grep -oF -- "$part" <<<"$got" | wc -l)" = 1 ] || fail "$name $day: [$part] is not there once in [$got]"
  done
}
requests() { "$PY" -c 'import json,sys; print(sum(json.load(open(sys.argv[1]))["requests"].values()))' "$work/proxy.json"; }
collection() { "$PY" "$here/check_collection.py" "$url" "$user" "$pass" "$@"; }

step "setup: A through the proxy, B directly"
printf '%s' "$pass" | pc A sync setup "$proxy_url" --user "$user" || fail "A: setup: $(cat "$work/A.out" "$work/A.err")"
printf '%s' "$pass" | pc B sync setup "$url" --user "$user" || fail "B: setup: $(cat "$work/B.out" "$work/B.err")"
ls "$work"/A/local/Quillidar*/diary-*/ >/dev/null 2>&1 || fail "A's sync keeps nothing in its own safety folder"

step "a note on each comes to the other"
put A 2026-12-01 "A's first note"
put B 2026-12-02 "B 的第二条"
sync_ok A; sync_ok B; sync_ok A
expect_text A 2026-12-02 "B 的第二条"
expect_text B 2026-12-01 "A's first note"

step "the same day edited on both keeps both texts"
put A 2026-12-01 "edited on A"
put B 2026-12-01 "edited on B"
sync_ok A; sync_ok B; sync_ok A
expect_holds A 2026-12-01 "edited on A" "edited on B"
[ "$(text A 2026-12-01)" = "$(text B 2026-12-01)" ] || fail "A and B hold different joins of 2026-12-01"

step "a note emptied on one goes away on the other"
put A 2026-12-02 ""
sync_ok A; sync_ok B
[ -z "$(text B 2026-12-02)" ] || fail "B still holds the note emptied on A"

step "another client's entries show once and survive"
collection write --uid phone-1 --date 2026-12-03 --text "from the phone"
collection write --uid phone-2 --date 2026-12-01 --text "phone, same day"
sync_ok A; sync_ok A; sync_ok B
expect_holds A 2026-12-03 "from the phone"
expect_holds A 2026-12-01 "edited on A" "edited on B" "phone, same day"
expect_holds B 2026-12-01 "edited on A" "edited on B" "phone, same day"
collection check --diary "$work/A.json" --foreign phone-1 --foreign phone-2 >/dev/null || fail "after the other client"

step "the server stopped, then started"
put B 2026-12-04 "written while the server was down"
server_stop
sync_fails B "reached|connect|offline"
server_start
sync_ok B; sync_ok A
expect_text A 2026-12-04 "written while the server was down"

step "a PUT cut in the middle changes nothing, and the next sync completes"
put A 2026-12-05 "cut in the middle of its PUT"
echo "cut-request PUT" >"$work/proxy.ctl"
sync_fails A "cut|connection|reply|read"
[ ! -s "$work/proxy.ctl" ] || fail "the proxy never saw the PUT it was to cut"
sync_ok A

step "a reply cut after the server took the PUT: neither lost nor doubled"
put A 2026-12-06 "its reply was cut"
echo "cut-response PUT" >"$work/proxy.ctl"
# The run may fail (and then must say so and keep the notes) or recover within itself: the PUT
# sent again meets its own copy (412) and finds nothing to join.
cp "$(notes A)" "$work/A.before"
if ! pc A sync now </dev/null; then
  grep -Eqi "cut|connection|reply|read" "$work/A.out" "$work/A.err" || fail "A: the cut reply is not said: $(cat "$work/A.out")"
  cmp -s "$work/A.before" "$(notes A)" || fail "A: a failed sync changed the notes file"
fi
[ ! -s "$work/proxy.ctl" ] || fail "the proxy never saw the PUT whose reply it was to cut"
sync_ok A
expect_text A 2026-12-06 "its reply was cut"

step "a server that answers slowly: the sync waits and completes"
put A 2026-12-08 "synced through slow replies"
echo "delay 1.5" >"$work/proxy.ctl"
sync_ok A
: >"$work/proxy.ctl"
sync_ok B
expect_text B 2026-12-08 "synced through slow replies"

# password_set WORD: the server takes WORD as the user's password from now on (Radicale reads its
# users' file afresh; SabreDAV is started again with it).
password_set() {
  if [ "$kind" = radicale ]; then
    "$PY" -c 'import sys
from passlib.hash import apr_md5_crypt
print(sys.argv[1] + ":" + apr_md5_crypt.hash(sys.argv[2]))' "$user" "$1" >"$work/server/users"
  else
    sabre_stop
    SABRE_PASSWORD=$1 sabre_start "$work/server"
  fi
}

if [ "$kind" != xandikos ]; then
  step "a wrong password: set-up refused and kept nowhere; a sync refused and the notes kept"
  if printf 'not-the-password' | pc C sync setup "$url" --user "$user"; then
    fail "C: setup with a wrong password succeeded"
  fi
  grep -Eqi "password" "$work/C.out" "$work/C.err" || fail "C: the refusal does not say so: $(cat "$work/C.out" "$work/C.err")"
  pc C sync status </dev/null || true
  if ls "$work"/C/local/Quillidar*/diary-*/sync-account >/dev/null 2>&1; then fail "C kept an account after a refused set-up"; fi
  # B's stored password must still be the right one after C's refused try (same server, same user).
  sync_ok B
  password_set changed-elsewhere
  put B 2026-12-07 "written while the password was wrong"
  sync_fails B "password"
  password_set "$pass"
  sync_ok B
fi

if [ "$kind" = sabre ]; then
  step "a server that takes Digest only: the sync answers its challenge, and a wrong password is refused"
  sabre_stop
  SABRE_AUTH=digest sabre_start "$work/server"
  asked_before=$(wc -l <"$work/server/requests")
  put B 2026-12-09 "synced through Digest"
  sync_ok B
  sync_ok A
  expect_text A 2026-12-09 "synced through Digest"
  tail -n +$((asked_before + 1)) "$work/server/requests" | grep -q ' 401$' || fail "the server never asked for Digest"
  if printf 'not-the-password' | pc D sync setup "$url" --user "$user"; then
    fail "D: setup with a wrong password succeeded against Digest"
  fi
  grep -Eqi "password" "$work/D.out" "$work/D.err" || fail "D: the refusal does not say so: $(cat "$work/D.out" "$work/D.err")"
  sabre_stop
  sabre_start "$work/server"
fi

step "everything settles: both diaries and an independent client agree"
sync_ok A; sync_ok B; sync_ok A
export_json A
export_json B
"$PY" - "$work/A.json" "$work/B.json" <<'PY' || fail "the two diaries differ"
import json, sys
a, b = ({n["date"]: n["text"] for n in json.load(open(p, encoding="utf-8"))["notes"]} for p in sys.argv[1:])
for day in sorted(set(a) | set(b)):
    if a.get(day) != b.get(day):
        print(f"{day}: A {a.get(day)!r}, B {b.get(day)!r}", file=sys.stderr)
sys.exit(a != b)
PY
collection check --diary "$work/A.json" --foreign phone-1 --foreign phone-2 ||
  { collection dump >&2; fail "the collection and the diary disagree"; }

step "the collection deleted on the server: the next sync makes it again, uploads every day and deletes none"
export_json A
cp "$work/A.json" "$work/A.before-delete.json"
collection delete-collection
sync_ok A
grep -Eq ' 0 deleted here' "$work/A.out" || fail "A deleted notes after the collection went: $(cat "$work/A.out")"
echo "   A: $(cat "$work/A.out")"
export_json A
cmp -s "$work/A.before-delete.json" "$work/A.json" || fail "A's diary changed when the collection was made again"
collection check --diary "$work/A.json" >/dev/null ||
  { collection dump >&2; fail "the collection made again does not hold A's diary"; }
sync_ok B; sync_ok A
export_json A
export_json B
cmp -s "$work/A.json" "$work/B.json" || fail "A and B differ after the collection was made again"

step "a second sync changes nothing, and costs the listing and one look at an agreed day"
cp "$(notes A)" "$work/A.settled"
state=$(ls "$work"/A/local/Quillidar*/diary-*/sync-state)
cp "$state" "$work/A.state"
before=$(requests)
sync_ok A
after=$(requests)
cmp -s "$work/A.settled" "$(notes A)" || fail "a sync with nothing to do changed the notes"
cmp -s "$work/A.state" "$state" || fail "a sync with nothing to do changed the state"
[ $((after - before)) -le 2 ] || fail "a sync with nothing to do made $((after - before)) requests"

pc A sync off </dev/null || fail "A: sync off: $(cat "$work/A.err")"
pc B sync off </dev/null || true
echo "PASS ($kind)"
