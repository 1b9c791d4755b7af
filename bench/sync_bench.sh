#!/usr/bin/env bash
# The first sync of a ten-year diary (3,652 notes of about 500 bytes) against a local server,
# timed, against curl putting the same number of entries of the same size into another collection
# of the same server in the same run: one curl process, its requests on one kept-alive connection
# where the server keeps connections (Radicale 3.1 answers HTTP/1.0 and closes after every reply,
# so there every request is a connection of its own, curl's as the sync's; Xandikos keeps them).
# Both go through tests/sync/cut_proxy.py, which counts the TCP connections each opened; the sync's
# time includes starting the notes tool under Wine.
#   bench/sync_bench.sh TOOL.exe WORK REPS [SERVERS] [DAYS]   (SERVERS: "radicale xandikos" by
#   default; DAYS: 3652, fewer for a smoke run; prints a markdown table; needs a Wine session)
set -euo pipefail
tool=$1 work=$2 reps=${3:-1} servers=${4:-radicale xandikos} ndays=${5:-3652}
root=$(cd "$(dirname "$0")/.." && pwd)
PY=/usr/bin/python3
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
source "$root/scripts/lib/caldav-servers.sh"

wp() { printf 'Z:%s' "$1" | tr '/' '\\'; }

# The diary, written in the widget's own format, and curl's bodies: one VJOURNAL per day, as large
# as the sync's own for that day.
"$PY" - "$work" "$ndays" <<'PY'
import datetime, os, sys
work = sys.argv[1]
words = ["今天", "下雨", "walk", "tea", "日记", "读书", "a long day", "晴"]
start = datetime.date(2017, 1, 1)
days = [start + datetime.timedelta(days=i) for i in range(int(sys.argv[2]))]
out = bytearray(len(days).to_bytes(4, "little"))
os.makedirs(f"{work}/bodies", exist_ok=True)
config = []
def counted(b):
    return (bytes([len(b)]) if len(b) < 0xFF else b"\xff" + len(b).to_bytes(2, "little")) + b
for i, d in enumerate(days):
    text = " ".join(words[(i * 7 + j) % len(words)] for j in range(90))
    gbk = text.encode("gbk")
    out += counted(d.strftime("%d%m%y").encode()) + counted(gbk)
    desc = text.replace("\\", "\\\\").replace(";", "\\;").replace(",", "\\,")
    line = "DESCRIPTION:" + desc
    raw = line.encode()
    folded, chunk = [], b""
    for ch in line:
        b = ch.encode()
        if len(chunk) + len(b) > (75 if not folded else 74):
            folded.append(chunk)
            chunk = b""
        chunk += b
    folded.append(chunk)
    compact = d.strftime("%Y%m%d")
    body = "\r\n".join([
        "BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//bench//curl floor//EN", "BEGIN:VJOURNAL",
        f"UID:floor-day-{compact}", "DTSTAMP:20261208T000000Z", f"DTSTART;VALUE=DATE:{compact}",
        "SUMMARY:" + text[:40]]).encode() + b"\r\n" + b"\r\n ".join(folded) + b"\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n"
    with open(f"{work}/bodies/{compact}.ics", "wb") as f:
        f.write(body)
with open(f"{work}/nts.ini", "wb") as f:
    f.write(out)
with open(f"{work}/days.txt", "w") as f:
    f.write("\n".join(d.strftime("%Y%m%d") for d in days) + "\n")
PY

proxy_pid=
proxy_start() { # NAME: a fresh counting proxy in front of the server on $port; its URL in proxy_url
  rm -f "$work/$1.port"
  "$PY" "$root/tests/sync/cut_proxy.py" --to "127.0.0.1:$port" --port-file "$work/$1.port" \
    --control "$work/$1.ctl" --stats "$work/$1.stats" >/dev/null 2>&1 &
  proxy_pid=$!
  for _ in $(seq 1 100); do [ -s "$work/$1.port" ] && break; sleep 0.05; done
  proxy_url="http://127.0.0.1:$(cat "$work/$1.port")/"
}
proxy_stop() { kill "$proxy_pid" 2>/dev/null || true; wait "$proxy_pid" 2>/dev/null || true; }
stat_of() { "$PY" -c 'import json,sys; s=json.load(open(sys.argv[1])); print(s["connections"], sum(s["requests"].values()), s["requests"].get("PUT", 0))' "$1"; }
now() { date +%s.%N; }
# The notes tool's peak resident memory (kB) and bytes written, read from /proc while it runs (the
# tool is a process of its own under the Wine server); "PEAK WRITTEN" in the file named.
watch_tool() {
  local outfile=$1 peak=0 wrote=0 pid me
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
    if [ -n "$pid" ]; then
      v=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
      w=$(awk '/^wchar/ {print $2}' "/proc/$pid/io" 2>/dev/null || echo 0)
      [ -n "$v" ] && [ "$v" -gt "$peak" ] && peak=$v
      [ -n "$w" ] && [ "$w" -gt "$wrote" ] && wrote=$w
    fi
    echo "$peak $wrote" >"$outfile"
    [ -e "$outfile.stop" ] && break
    sleep 0.05
  done
}
watch_pid=
watch_start() { rm -f "$1.stop"; watch_tool "$1" & watch_pid=$!; }
watch_stop() { : >"$1.stop"; wait "$watch_pid" 2>/dev/null || true; rm -f "$1.stop"; }

results=()
extras=()
for server in $servers; do
  if [ "$server" = radicale ]; then
    radicale_start "$work/radicale" >&2
    port=$RADICALE_PORT user=$RADICALE_USER pass=$RADICALE_PASSWORD home="$RADICALE_USER/"
  else
    xandikos_start "$work/xandikos" >&2
    port=$XANDIKOS_PORT user=alice pass=any-password home="user/calendars/"
  fi
  for rep in $(seq 1 "$reps"); do
    # curl: a collection of its own made first (not timed), then every PUT in one process.
    col="curl-floor-$rep"
    proxy_start "$server-curl$rep"
    curl -s -o /dev/null -u "$user:$pass" -X MKCALENDAR "${proxy_url}$home$col/"
    sleep 0.2
    read -r mk_conn _ <<<"$(stat_of "$work/$server-curl$rep.stats")"
    : >"$work/$server-curl$rep.cfg"
    sep=
    while read -r day; do
      printf '%surl = "%s"\nrequest = "PUT"\nheader = "If-None-Match: *"\nheader = "Content-Type: text/calendar; charset=utf-8"\ndata-binary = "@%s"\nuser = "%s:%s"\nsilent\noutput = "/dev/null"\n' "$sep" \
        "${proxy_url}$home$col/floor-day-$day.ics" "$work/bodies/$day.ics" "$user" "$pass" >>"$work/$server-curl$rep.cfg"
      sep=$'next\n'
    done <"$work/days.txt"
    t0=$(now)
    curl -K "$work/$server-curl$rep.cfg" -w '%{http_code}\n' >"$work/$server-curl$rep.codes"
    t1=$(now)
    proxy_stop
    read -r curl_conn curl_req curl_put <<<"$(stat_of "$work/$server-curl$rep.stats")"
    curl_conn=$((curl_conn - mk_conn))
    bad=$(grep -vc '^201$' "$work/$server-curl$rep.codes" || true)
    [ "$bad" = 0 ] || echo "sync bench: $bad of curl's PUTs were not created" >&2

    # The sync: a fresh diary (temporary folder and safety folder of its own), set up, then timed.
    pc="$work/$server-pc$rep"
    mkdir -p "$pc/temp" "$pc/local"
    cp "$work/nts.ini" "$pc/temp/nts.ini"
    proxy_start "$server-sync$rep"
    run() {
      "$WINE64" cmd /c "set TEMP=$(wp "$pc/temp")&& set TMP=$(wp "$pc/temp")&& set LOCALAPPDATA=$(wp "$pc/local")&& $(wp "$tool") $*"
    }
    # A sync that fails is reported as such, and the other figures still come out.
    if ! printf '%s' "$pass" | run sync setup "${proxy_url}" --user "$user" >"$pc/setup.out" 2>&1; then
      echo "sync bench: setup failed: $(cat "$pc/setup.out")" >&2
      proxy_stop
      results+=("$server failed $(awk -v c="$t1" -v c0="$t0" 'BEGIN { printf "%.2f", c - c0 }') - - $curl_conn - - $curl_put")
      continue
    fi
    read -r setup_conn setup_req _ <<<"$(stat_of "$work/$server-sync$rep.stats")"
    watch_start "$pc/watch-push"
    t2=$(now)
    if ! run sync now </dev/null >"$pc/now.out" 2>&1; then
      echo "sync bench: sync now failed: $(cat "$pc/now.out")" >&2
      t2=failed
    fi
    t3=$(now)
    watch_stop "$pc/watch-push"
    # A run with nothing changed (after the one that sees the push's own writes listed): what it
    # writes, and whether the state is written again.
    run sync now </dev/null >"$pc/settle.out" 2>&1 || true
    state_file=$(find "$pc" -name sync-state | head -1)
    state_before=$(stat -c %Y.%s "$state_file" 2>/dev/null || echo none)
    sleep 1.1
    watch_start "$pc/watch-idle"
    run sync now </dev/null >"$pc/idle.out" 2>&1 || echo "sync bench: idle sync failed: $(cat "$pc/idle.out")" >&2
    watch_stop "$pc/watch-idle"
    state_after=$(stat -c %Y.%s "$state_file" 2>/dev/null || echo none)
    # A second PC joining: the first pull of the whole diary.
    pc2="$work/$server-pull$rep"
    mkdir -p "$pc2/temp" "$pc2/local"
    printf '\0\0\0\0' >"$pc2/temp/nts.ini"
    run2() {
      "$WINE64" cmd /c "set TEMP=$(wp "$pc2/temp")&& set TMP=$(wp "$pc2/temp")&& set LOCALAPPDATA=$(wp "$pc2/local")&& $(wp "$tool") $*"
    }
    printf '%s' "$pass" | run2 sync setup "${proxy_url}" --user "$user" >"$pc2/setup.out" 2>&1 || echo "sync bench: pull setup failed: $(cat "$pc2/setup.out")" >&2
    watch_start "$pc2/watch-pull"
    t4=$(now)
    run2 sync now </dev/null >"$pc2/now.out" 2>&1 || echo "sync bench: pull failed: $(cat "$pc2/now.out")" >&2
    t5=$(now)
    watch_stop "$pc2/watch-pull"
    pulled=$(grep -o '[0-9]* pulled' "$pc2/now.out" | head -1 || true)
    read -r push_peak push_wrote <"$pc/watch-push"
    read -r idle_peak idle_wrote <"$pc/watch-idle"
    read -r pull_peak pull_wrote <"$pc2/watch-pull"
    diary_bytes=$(stat -c %s "$work/nts.ini")
    state_bytes=$(stat -c %s "$state_file" 2>/dev/null || echo 0)
    extras+=("$server $(awk -v s4="$t4" -v s5="$t5" -v c="$t1" -v c0="$t0" 'BEGIN { printf "%.2f %.2fx", s5 - s4, (s5 - s4) / (c - c0) }') $diary_bytes $state_bytes $(awk -v a="$state_bytes" -v b="$diary_bytes" 'BEGIN { printf "%.2fx", a / b }') $push_peak $pull_peak $(awk -v a="$pull_peak" -v b="$diary_bytes" 'BEGIN { printf "%.1fx", a * 1024 / b }') $push_wrote $idle_wrote $([ "$state_before" = "$state_after" ] && echo no || echo yes) ${pulled:-?}")
    rm -rf "$pc2"
    proxy_stop
    if [ "$t2" = failed ]; then
      results+=("$server failed $(awk -v c="$t1" -v c0="$t0" 'BEGIN { printf "%.2f", c - c0 }') - - $curl_conn - - $curl_put")
      continue
    fi
    read -r sync_conn sync_req sync_put <<<"$(stat_of "$work/$server-sync$rep.stats")"
    results+=("$server $(awk -v c="$t1" -v c0="$t0" -v s="$t3" -v s0="$t2" \
      -v cc="$curl_conn" -v sc="$((sync_conn - setup_conn))" -v sr="$((sync_req - setup_req))" -v sp="$sync_put" -v cp="$curl_put" \
      'BEGIN { c -= c0; s -= s0; printf "%.2f %.2f %.2f %d %d %d %d %d", s, c, s / c, sc, cc, sr, sp, cp }')")
    rm -rf "$pc"
  done
  caldav_servers_stop
done

echo
echo "## First sync of a diary of $ndays notes ($([ "$ndays" = 3652 ] && echo 'ten years' || echo 'a smoke run'); Radicale $(radicale --version 2>/dev/null | head -1), Xandikos $(xandikos --version 2>/dev/null | awk '{print $NF}'), local)"
echo
echo "| server | run | sync (s) | curl floor (s) | ratio (target <= 2.00) | sync's connections | curl's | sync's requests (PUTs) | curl's PUTs |"
echo "|---|---|---|---|---|---|---|---|---|"
i=0
for r in "${results[@]}"; do
  i=$((i + 1))
  read -r server s c ratio sc cc sr sp cp <<<"$r"
  echo "| $server | $i | $s | $c | ${ratio}x | $sc | $cc | $sr ($sp) | $cp |"
done

echo
echo "## The same diary: a second PC's first pull, the state file, memory and bytes written"
echo
echo "(peak is the notes tool's resident high-water mark under Wine, which carries about 20 MB of its own; written is the process's bytes written, the diary and state included)"
echo
echo "| server | first pull (s) | pull / curl's push | diary (bytes) | state (bytes) | state / diary | peak push (kB) | peak pull (kB) | peak pull / diary | written, push (bytes) | written, unchanged run (bytes) | state rewritten by the unchanged run | pulled |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|"
for r in "${extras[@]}"; do
  read -r server pull ratio diary state sratio ppeak lpeak lratio pw iw rew pulled <<<"$r"
  echo "| $server | $pull | $ratio | $diary | $state | $sratio | $ppeak | $lpeak | $lratio | $pw | $iw | $rew | $pulled |"
done
