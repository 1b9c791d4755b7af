#!/usr/bin/env bash
# The first push and the first pull (a second PC joining) of a diary of DAYS notes of about 500
# bytes against a local server, each against curl's floor in the same run: one curl process putting
# the same number of entries of the same size into a collection of its own, and one curl process
# reading them back as a joining PC does (the ETags, then calendar-multiget REPORTs of as many
# entries as the sync asks for at once). Then the state file against the diary, the notes tool's peak
# memory and bytes written for the first push, a run after one filed note, a run that changes
# nothing and the first pull (and an empty diary's run with an empty collection: Wine's own share,
# the pull's floor), and the widget's window's answers while its own sync pulls the diary
# against the same window with no sync running. First, per server, the push against a server that
# answers every PUT at once (the proxy answers them), beside bench/winhttp_put_floor.cpp making the
# same PUTs as many at a time through WinHTTP and curl: what is left there is the client's own cost,
# and the pace of the first and last tenth of the PUTs says whether it grows with the diary.
# Everything goes through tests/sync/cut_proxy.py, which counts the TCP connections each opened (Radicale
# 3.1 and PHP's server close after every reply; Xandikos keeps connections); the tool's times include
# starting it under Wine.
#   bench/sync_bench.sh WIN64_BUILD WORK REPS [SERVERS] [DAYS]   (SERVERS: "radicale xandikos sabre"
#   by default; DAYS: 3652, QUILL_BENCH_SYNC_DAYS in scripts/bench; prints markdown tables; needs a
#   Wine session)
# One sync bench at a time on a machine: the tool's process is found by its command line, so a
# second run's tool would be measured too.
# QUILL_BENCH_SYNC_INSTANT=1: the push against the server that answers at once alone, for a diary
# too large to push to a real server in the time at hand.
# QUILL_BENCH_SYNC_NO_WINDOW=1: the notes tool's runs alone, without the widget's window.
# QUILL_BENCH_SYNC_SEEDED=1: the pulls alone, from a collection written straight where the server
# keeps it (SabreDAV's database, Radicale's and Xandikos's folders) instead of pushed, for a diary
# too large to push in the time at hand.
set -euo pipefail
build=$(cd "$1" && pwd) work=$2 reps=${3:-1} servers=${4:-radicale xandikos sabre} ndays=${5:-3652}
tool=$build/quillidar-notes.exe widget=$build/Quillidar.exe window_bench=$build/bench/sync_window_bench.exe
put_floor=$build/bench/winhttp_put_floor.exe
in_flight=8 # the sync's writes at a time (kWritesAtOnce)
root=$(cd "$(dirname "$0")/.." && pwd)
PY=/usr/bin/python3
batch=50 # the entries the sync asks for in one multiget
seeded=${QUILL_BENCH_SYNC_SEEDED:-} instant_only=${QUILL_BENCH_SYNC_INSTANT:-}
no_window=${QUILL_BENCH_SYNC_NO_WINDOW:-}
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
source "$root/scripts/lib/caldav-servers.sh"

wp() { printf 'Z:%s' "$1" | tr '/' '\\'; }
now() { date +%s.%N; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2fx", a / b; else print "-" }'; }
"$PY" "$root/bench/sync_bench_data.py" diary "$work" "$ndays"
diary_bytes=$(stat -c %s "$work/nts.ini")

proxy_pid=
proxy_start() { # NAME: a fresh counting proxy in front of the server on $port; its URL in proxy_url
  rm -f "$work/$1.port" "$work/$1.times"
  "$PY" "$root/tests/sync/cut_proxy.py" --to "127.0.0.1:$port" --port-file "$work/$1.port" \
    --control "$work/$1.ctl" --stats "$work/$1.stats" --times "$work/$1.times" >/dev/null 2>&1 &
  proxy_pid=$!
  for _ in $(seq 1 100); do [ -s "$work/$1.port" ] && break; sleep 0.05; done
  proxy_url="http://127.0.0.1:$(cat "$work/$1.port")/"
}
proxy_stop() { kill "$proxy_pid" 2>/dev/null || true; wait "$proxy_pid" 2>/dev/null || true; }
# CONNECTIONS REQUESTS PUTS of a proxy's stats file
stat_of() { "$PY" -c 'import json,sys; s=json.load(open(sys.argv[1])); print(s["connections"], sum(s["requests"].values()), s["requests"].get("PUT", 0))' "$1"; }

# The notes tool's peak resident memory (kB) and bytes written, read from /proc while it runs (the
# tool is a process of its own under the Wine server); "PEAK WRITTEN" in the file named. Once found,
# the process alone is read, as often as the shell can, so little of what it writes just before it
# ends is missed (the figure is a floor: whatever came after the last read is not in it).
watch_tool() {
  local outfile=$1 peak=0 wrote=0 pid me v w line
  me=$(wp "$tool")
  : >"$outfile"
  while :; do
    pid=
    for p in $(pgrep -f 'quillidar-notes.exe' || true); do
      # The tool itself, not the cmd that starts it (whose command line names it too), nor a
      # process already gone.
      line=$({ tr '\0' ' ' <"/proc/$p/cmdline"; } 2>/dev/null || true)
      case "$line" in "$me sync"*) pid=$p ;; esac
    done
    while [ -n "$pid" ] && read -r _ v _ <<<"$(grep VmHWM "/proc/$pid/status" 2>/dev/null)" && [ -n "$v" ]; do
      read -r _ w <<<"$(grep '^wchar' "/proc/$pid/io" 2>/dev/null)" || w=0
      [ "$v" -gt "$peak" ] && peak=$v
      [ -n "$w" ] && [ "$w" -gt "$wrote" ] && wrote=$w
    done
    echo "$peak $wrote" >"$outfile"
    [ -e "$outfile.stop" ] && break
    sleep 0.01
  done
}
watch_pid=
watch_start() { rm -f "$1.stop"; watch_tool "$1" & watch_pid=$!; }
watch_stop() { : >"$1.stop"; wait "$watch_pid" 2>/dev/null || true; rm -f "$1.stop"; }

# on PC ARGS...: the notes tool as that PC (a temporary folder and a safety folder of its own; a PC
# without a local folder has its safety folder where the widget looks, the prefix's own)
on() {
  local pc=$1 local=
  shift
  mkdir -p "$pc/temp"
  [ -d "$pc/local" ] && local="set LOCALAPPDATA=$(wp "$pc/local")&& "
  "$WINE64" cmd /c "set TEMP=$(wp "$pc/temp")&& set TMP=$(wp "$pc/temp")&& $local$(wp "$tool") $*"
}
prefix_safety="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Quillidar"

# timed_sync PC NAME: one `sync now`, watched; "SECONDS PEAK WRITTEN" (SECONDS "failed" when it
# failed) in PC/NAME.fig, its output in PC/NAME.out
timed_sync() {
  local pc=$1 name=$2 t0 t1 s
  watch_start "$pc/$name.watch"
  t0=$(now)
  if on "$pc" sync now </dev/null >"$pc/$name.out" 2>&1; then s=ok; else s=failed; fi
  t1=$(now)
  watch_stop "$pc/$name.watch"
  [ "$s" = ok ] || echo "sync bench: $name failed: $(tail -3 "$pc/$name.out")" >&2
  echo "$([ "$s" = ok ] && awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }' || echo failed) $(cat "$pc/$name.watch")" >"$pc/$name.fig"
}
setup() { # PC: the account, through the proxy
  printf '%s' "$pass" | on "$1" sync setup "${proxy_url}" --user "$user" >"$1/setup.out" 2>&1 ||
    echo "sync bench: setup failed: $(cat "$1/setup.out")" >&2
}
# curl_floor NAME CONFIG: one curl process through a fresh proxy; "SECONDS CONNECTIONS" in
# $work/NAME.fig, and the replies that were not WANT counted on standard error
curl_floor() {
  local name=$1 cfg=$2 want=$3 t0 t1 bad
  t0=$(now)
  curl -K "$cfg" >"$work/$name.codes"
  t1=$(now)
  bad=$(grep -vc "^$want\$" "$work/$name.codes" || true)
  [ "$bad" = 0 ] || echo "sync bench: $bad of curl's requests ($name) were not $want" >&2
}

# ms a PUT of the first and of the last tenth of a proxy's times file: "FIRST LAST"
put_pace() {
  "$PY" -c 'import sys
t = [float(l.split()[0]) for l in open(sys.argv[1]) if l.split()[1:] == ["PUT"]]
k = max(1, len(t) // 10)
pace = lambda a: (t[a + k - 1] - t[a]) / max(1, k - 1) * 1000 if len(t) > 1 else 0
print("%.2f %.2f" % (pace(0), pace(len(t) - k)))' "$1"
}

# The push against a server that answers every PUT at once (the proxy answers them): what is left
# is the client's own cost. The sync against the same PUTs made by a plain WinHTTP program with as
# many in flight (the floor of WinHTTP under this Wine) and by curl. One row in instant_rows.
instant_push() {
  local pc="$work/$server-instant" t0 t1 s sync_s floor_s curl_s
  mkdir -p "$pc/temp" "$pc/local"
  cp "$work/nts.ini" "$pc/temp/nts.ini"
  proxy_start "$server-instant"
  setup "$pc"
  echo answer-put >"$work/$server-instant.ctl"
  t0=$(now); on "$pc" sync now </dev/null >"$pc/push.out" 2>&1 || echo "sync bench: the instant push failed: $(tail -2 "$pc/push.out")" >&2; t1=$(now)
  sync_s=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }')
  read -r first last <<<"$(put_pace "$work/$server-instant.times")"
  "$WINE64" "$(wp "$put_floor")" --host=127.0.0.1 --port="$(cat "$work/$server-instant.port")" \
    --path="/$home"floor/ --user="$user" --password="$pass" --work="$(wp "$work")" --threads="$in_flight" \
    --out="$(wp "$pc/floor.fig")" >/dev/null 2>&1 || echo "sync bench: the WinHTTP floor failed" >&2
  read -r floor_s _ <"$pc/floor.fig" || floor_s=0
  "$PY" "$root/bench/sync_bench_data.py" push "$work" "${proxy_url}${home}curl-instant/" "$user" "$pass" "$pc/push.cfg"
  t0=$(now); curl_floor "$server-instant-curl" "$pc/push.cfg" 201; t1=$(now)
  curl_s=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }')
  proxy_stop
  instant_rows+=("| $server | $sync_s | $floor_s | $curl_s | $(ratio "$sync_s" "$floor_s") | $(ratio "$sync_s" "$curl_s") | $first | $last |")
  rm -rf "$pc"
}

# Seeded: the entries written where the server keeps them, then read once through the server
# (not timed), so neither the floor nor the sync pays for the index a server builds on first sight.
seed_collection() { # NAME
  case "$server" in
    sabre) "$PY" "$root/bench/sync_bench_data.py" seed "$work" "$work/sabre/db.sqlite" "$1" ;;
    radicale) "$PY" "$root/bench/sync_bench_data.py" seed-folder "$work" "$work/radicale/collections/collection-root/$user/$1" ;;
    xandikos)
      "$PY" "$root/bench/sync_bench_data.py" seed-folder "$work" "$work/xandikos/data/user/calendars/$1"
      git -C "$work/xandikos/data/user/calendars/$1" add -A . &&
        git -C "$work/xandikos/data/user/calendars/$1" -c user.name=bench -c user.email=bench@localhost \
          commit -q -m seeded ;;
  esac
}
warm_collection() { # URL
  curl -s -o /dev/null -u "$user:$pass" -X PROPFIND -H 'Depth: 1' "$1" || true
}

push_rows=() pull_rows=() run_rows=() window_rows=() instant_rows=()
for server in $servers; do
  case "$server" in
    radicale) radicale_start "$work/radicale" >&2
      port=$RADICALE_PORT user=$RADICALE_USER pass=$RADICALE_PASSWORD home="$RADICALE_USER/" ;;
    xandikos) xandikos_start "$work/xandikos" >&2
      port=$XANDIKOS_PORT user=alice pass=any-password home="user/calendars/" ;;
    sabre) sabre_start "$work/sabre" >&2
      port=$SABRE_PORT user=$SABRE_USER pass=$SABRE_PASSWORD home="calendars/$SABRE_USER/" ;;
    *) echo "sync bench: no server $server" >&2; exit 2 ;;
  esac
  [ -n "$seeded" ] || instant_push
  if [ -n "$instant_only" ]; then
    caldav_servers_stop
    continue
  fi
  for rep in $(seq 1 "$reps"); do
    # curl's push and pull: a collection of its own, made first (not timed).
    # Seeded, it is the one the joining PCs find (the sync's own name) and nothing is pushed.
    proxy_start "$server-curl$rep"
    name="curl-floor-$rep" shown=
    [ -n "$seeded" ] && name=quillidar shown="<d:displayname>Quillidar</d:displayname>"
    col="${proxy_url}$home$name/"
    # VJOURNAL named, as the sync's own MKCALENDAR does: SabreDAV's default takes events and tasks only.
    curl -s -o /dev/null -u "$user:$pass" -X MKCALENDAR -H 'Content-Type: application/xml; charset=utf-8' \
      --data '<?xml version="1.0" encoding="utf-8"?><c:mkcalendar xmlns:d="DAV:" xmlns:c="urn:ietf:params:xml:ns:caldav"><d:set><d:prop>'"$shown"'<c:supported-calendar-component-set><c:comp name="VJOURNAL"/></c:supported-calendar-component-set></d:prop></d:set></c:mkcalendar>' "$col"
    sleep 0.2
    read -r mk_conn _ <<<"$(stat_of "$work/$server-curl$rep.stats")"
    t0=$(now)
    if [ -n "$seeded" ]; then
      seed_collection "$name"
      warm_collection "$col"
    else
      "$PY" "$root/bench/sync_bench_data.py" push "$work" "$col" "$user" "$pass" "$work/push.cfg"
      curl_floor "$server-curl-push$rep" "$work/push.cfg" 201
    fi
    t1=$(now)
    read -r conn1 _ <<<"$(stat_of "$work/$server-curl$rep.stats")"
    "$PY" "$root/bench/sync_bench_data.py" pull "$work" "$col" "$user" "$pass" "$batch" "$work/pull.cfg"
    t2=$(now); curl_floor "$server-curl-pull$rep" "$work/pull.cfg" 207; t3=$(now)
    proxy_stop
    curl_push=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }')
    curl_pull=$(awk -v a="$t2" -v b="$t3" 'BEGIN { printf "%.2f", b - a }')
    curl_conn=$((conn1 - mk_conn))

    # The sync's push from a PC holding the diary, then a run after one filed note, then one that
    # changes nothing (each after a run that sees the last one's own writes listed).
    pc="$work/$server-pc$rep"
    mkdir -p "$pc/temp" "$pc/local"
    cp "$work/nts.ini" "$pc/temp/nts.ini"
    proxy_start "$server-sync$rep"
    if [ -z "$seeded" ]; then
      setup "$pc"
      read -r setup_conn setup_req _ <<<"$(stat_of "$work/$server-sync$rep.stats")"
      timed_sync "$pc" push
      read -r sync_conn sync_req sync_put <<<"$(stat_of "$work/$server-sync$rep.stats")"
      on "$pc" sync now </dev/null >"$pc/settle.out" 2>&1 || true
      printf '{"format": "quillidar-notes", "version": 1, "notes": [{"date": "2017-01-02", "text": "one note filed after the push"}]}' >"$pc/one.json"
      on "$pc" import "$(wp "$pc/one.json")" --on-conflict replace --pivot 2027 </dev/null >"$pc/import.out" 2>&1 ||
        echo "sync bench: import failed: $(cat "$pc/import.out")" >&2
      timed_sync "$pc" one
      on "$pc" sync now </dev/null >"$pc/settle2.out" 2>&1 || true
      state_file=$(find "$pc" -name sync-state | head -1)
      state_before=$(stat -c %Y.%s "$state_file" 2>/dev/null || echo none)
      sleep 1.1
      timed_sync "$pc" idle
      state_after=$(stat -c %Y.%s "$state_file" 2>/dev/null || echo none)
      state_bytes=$(stat -c %s "$state_file" 2>/dev/null || echo 0)
    else
      for f in push one idle; do echo "- 0 0" >"$pc/$f.fig"; done
      setup_conn=0 setup_req=0 sync_conn=0 sync_req=0 sync_put=0 state_bytes=0 state_before= state_after=
    fi

    # A second PC joining: the first pull of the whole diary, by the notes tool.
    pc2="$work/$server-pull$rep"
    mkdir -p "$pc2/temp" "$pc2/local"
    printf '\0\0\0\0' >"$pc2/temp/nts.ini"
    setup "$pc2"
    timed_sync "$pc2" pull
    pulled=$(grep -o '[0-9]* pulled' "$pc2/pull.out" | head -1 | awk '{print $1}' || true)
    pulled_bytes=$(stat -c %s "$pc2/temp/nts.ini")
    [ -z "$seeded" ] || state_bytes=$(stat -c %s "$(find "$pc2" -name sync-state | head -1)" 2>/dev/null || echo 0)

    # Wine's own share of the tool's peak: a PC with an empty diary syncing with an empty
    # collection of its own, the floor the pull's memory is read against.
    pc0="$work/$server-empty$rep"
    mkdir -p "$pc0/temp" "$pc0/local"
    printf '\0\0\0\0' >"$pc0/temp/nts.ini"
    printf '%s' "$pass" | on "$pc0" sync setup "${proxy_url}" --user "$user" --collection Empty >"$pc0/setup.out" 2>&1 ||
      echo "sync bench: setup of the empty PC failed: $(cat "$pc0/setup.out")" >&2
    timed_sync "$pc0" empty

    if [ -z "$no_window" ]; then
      # A third PC joining in the widget: its window's answers while the pull runs, then the same
      # window over the whole diary with no account, for as long. Their safety folders are the
      # prefix's, removed after.
      pc3="$work/$server-window$rep"
      mkdir -p "$pc3/temp"
      printf '\0\0\0\0' >"$pc3/temp/nts.ini"
      had=$(ls "$prefix_safety" 2>/dev/null || true)
      setup "$pc3"
      "$WINE64" "$(wp "$window_bench")" --quillidar="$(wp "$widget")" --temp="$(wp "$pc3/temp")" \
        --until-bytes="$pulled_bytes" --seconds="$(awk -v s="$(cut -d' ' -f1 "$pc2/pull.fig")" 'BEGIN { s = 10 * s; print (s < 120 ? 120 : s) }')" --out="$(wp "$pc3/window.fig")" \
        >/dev/null 2>"$pc3/window.err" || echo "sync bench: the widget's pull did not finish: $(cat "$pc3/window.err")" >&2
      read -r win_s _ <"$pc3/window.fig" || win_s=10
      pc4="$work/$server-still$rep"
      mkdir -p "$pc4/temp"
      cp "$pc2/temp/nts.ini" "$pc4/temp/nts.ini"
      "$WINE64" "$(wp "$window_bench")" --quillidar="$(wp "$widget")" --temp="$(wp "$pc4/temp")" \
        --until-bytes=0 --seconds="$(awk -v s="$win_s" 'BEGIN { print (s < 5 ? 5 : s) }')" \
        --out="$(wp "$pc4/window.fig")" >/dev/null 2>"$pc4/window.err" || true
      for d in $(ls "$prefix_safety" 2>/dev/null || true); do
        grep -qxF "$d" <<<"$had" || rm -rf "${prefix_safety:?}/$d"
      done
    fi
    proxy_stop

    read -r push_s push_peak push_wrote <"$pc/push.fig"
    read -r one_s one_peak one_wrote <"$pc/one.fig"
    read -r idle_s idle_peak idle_wrote <"$pc/idle.fig"
    read -r pull_s pull_peak pull_wrote <"$pc2/pull.fig"
    read -r empty_s empty_peak empty_wrote <"$pc0/empty.fig"
    [ -n "$seeded" ] || push_rows+=("| $server | $push_s | $curl_push | $(ratio "$push_s" "$curl_push") | $((sync_conn - setup_conn)) | $curl_conn | $((sync_req - setup_req)) ($sync_put) |")
    pull_rows+=("| $server | $pull_s | $curl_pull | $(ratio "$pull_s" "$curl_pull") | ${pulled:-?} | $(ratio "$pulled_bytes" "$diary_bytes") |")
    for r in "push $push_s $push_peak $push_wrote" "one $one_s $one_peak $one_wrote" "idle $idle_s $idle_peak $idle_wrote" "pull $pull_s $pull_peak $pull_wrote" "empty $empty_s $empty_peak $empty_wrote"; do
      read -r what s peak wrote <<<"$r"
      run_rows+=("| $server | $what | $s | $peak | $(ratio "$((peak * 1024))" "$diary_bytes") | $wrote | $(ratio "$wrote" "$diary_bytes") |")
    done
    run_rows+=("| $server | state file | | | | $state_bytes | $(ratio "$state_bytes" "$diary_bytes") (rewritten by the unchanged run: $([ "$state_before" = "$state_after" ] && echo no || echo yes)) |")
    if [ -z "$no_window" ]; then
      read -r ws wn worst p99 wpeak reached <"$pc3/window.fig" || true
      read -r _ sn sworst sp99 speak _ <"$pc4/window.fig" || true
    fi
    [ -n "$no_window" ] || window_rows+=("| $server | ${ws:-?} | ${wn:-?} | ${worst:-?} | ${p99:-?} | ${sn:-?} | ${sworst:-?} | ${sp99:-?} | $(ratio "${worst:-0}" "${sworst:-0}") | $(ratio "${p99:-0}" "${sp99:-0}") | $((${wpeak:-0} / 1024)) | $((${speak:-0} / 1024)) | $([ "${reached:-0}" = 1 ] && echo yes || echo no) |")
    run_rows+=("| $server | pull less the empty run | | $((pull_peak - empty_peak)) | $(ratio "$(((pull_peak - empty_peak) * 1024))" "$diary_bytes") | | |")
    rm -rf "$pc" "$pc0" "$pc2" "${pc3:-}" "${pc4:-}"
  done
  caldav_servers_stop
done

echo
echo "## A diary of $ndays notes ($(awk -v b="$diary_bytes" 'BEGIN { printf "%.1f MB", b / 1e6 }')) against local servers (Radicale $(radicale --version 2>/dev/null | head -1), Xandikos $(xandikos --version 2>/dev/null | awk '{print $NF}'), SabreDAV $(dpkg-query -W -f='${Version}' php-sabre-dav 2>/dev/null || echo '?'))"
echo
echo "### First push: the notes tool's \`sync now\` against one curl process's PUTs"
echo
echo "| server | sync (s) | curl floor (s) | ratio | sync's connections | curl's | sync's requests (PUTs) |"
echo "|---|---|---|---|---|---|---|"
printf '%s\n' "${push_rows[@]}"
echo
echo "### First push against a server that answers every PUT at once (the proxy answers them): the sync against a plain WinHTTP program making the same PUTs $in_flight at a time, and curl"
echo
echo "| server | sync (s) | WinHTTP floor (s) | curl (s) | sync / WinHTTP | sync / curl | ms a PUT, first tenth | last tenth |"
echo "|---|---|---|---|---|---|---|---|"
printf '%s\n' "${instant_rows[@]}"
[ -z "$instant_only" ] || exit 0
echo
echo "### First pull (a second PC joining): \`sync now\` against one curl process's listing and multigets of $batch"
echo
echo "| server | sync (s) | curl floor (s) | ratio | days pulled | pulled diary / diary |"
echo "|---|---|---|---|---|---|"
printf '%s\n' "${pull_rows[@]}"
echo
echo "### The notes tool's runs: peak resident memory and bytes written (the Wine process's VmHWM and wchar), against the diary's size"
echo
echo "(push: the first run; one: a run after one filed note; idle: a run that changes nothing; pull: a second PC's first run. Wine carries about 20 MB of its own.)"
echo
echo "| server | run | time (s) | peak (kB) | peak / diary | written (bytes) | written / diary |"
echo "|---|---|---|---|---|---|---|"
printf '%s\n' "${run_rows[@]}"
echo
echo "### The widget's window during its first pull: WM_NULL round trips every 10 ms, against the same window with no sync running"
echo
echo "| server | pull (s) | samples | worst (ms) | p99 (ms) | still: samples | still: worst (ms) | still: p99 (ms) | worst / still | p99 / still | peak working set, pull (kB) | still (kB) | diary complete |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|"
printf '%s\n' "${window_rows[@]}"
