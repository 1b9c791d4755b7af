# Wine session shared by scripts/run, scripts/test and scripts/bench. Source it, then call
# wine_session_start; everything it starts is stopped by process id in wine_session_stop,
# which is also installed as an EXIT trap, so a failing test leaves nothing running.
#
# What a session is: its own prefix under build/ (made once, reused), WINEDEBUG=-all, an Xvfb
# of its own when DISPLAY is unset, one persistent wineserver, and a 1024x768 virtual desktop
# (it has a taskbar and a notification area, and its windows are not X windows of their own).
#
# QUILL_LOGPIXELS=N gives the session a display of N dots per inch (144 is 150% scaling) in a
# prefix of its own, build/wineprefix-<N>dpi unless QUILL_WINEPREFIX names one; 96, the default,
# is the plain prefix.

QUILL_ROOT=${QUILL_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
QUILL_LOGPIXELS=${QUILL_LOGPIXELS:-96}
# QUILL_LANG=zh_CN.UTF-8 runs the session in that locale, in a prefix of its own: Wine takes the
# system's ANSI code page (936 for this one) from the locale, so the same bytes are tested on a
# Chinese system as on an English one. The locale must exist on the host (scripts/setup makes it).
QUILL_LANG=${QUILL_LANG:-}
_quill_prefix_tag=
[ "$QUILL_LOGPIXELS" = 96 ] || _quill_prefix_tag="-${QUILL_LOGPIXELS}dpi"
if [ -n "$QUILL_LANG" ]; then
  _quill_prefix_tag="$_quill_prefix_tag-${QUILL_LANG%%.*}"
  export LANG=$QUILL_LANG LC_ALL=$QUILL_LANG
fi
export WINEPREFIX=${QUILL_WINEPREFIX:-$QUILL_ROOT/build/wineprefix$_quill_prefix_tag}
export WINEDEBUG=-all
export WINEARCH=win64
# No Mono or Gecko installer prompts, no menu entries or file associations written on the host.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
QUILL_DESKTOP_SIZE=${QUILL_DESKTOP_SIZE:-1024x768}

WINE64=$(command -v /usr/lib/wine/wine64 || command -v wine64 || command -v wine)
WINESERVER=$(command -v /usr/lib/wine/wineserver || command -v wineserver)
export WINE64 WINESERVER

_quill_pids=()

_quill_log() { [ -n "${QUILL_QUIET:-}" ] || echo "wine-session: $*" >&2; }

# True while the process runs (a child that has ended but is not yet reaped does not count).
_quill_alive() {
  local state
  state=$(cut -d' ' -f3 "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ]
}

# True when the process is the wineserver of this session's prefix: it holds the write lock on the
# "lock" file of its server folder (its working folder), which only the prefix's one server can hold.
_quill_server_is() {
  local pid=$1 inode
  inode=$(stat -L -c %i "/proc/$pid/cwd/lock" 2>/dev/null) || return 1
  grep -Eq "^[0-9]+: POSIX +ADVISORY +WRITE +$pid +[0-9a-fA-F]+:[0-9a-fA-F]+:$inode " /proc/locks
}

_quill_free_display() {
  local n
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      echo "$n"
      return 0
    fi
  done
  return 1
}

# Starts an Xvfb of this session's own and exports DISPLAY. Two sessions starting at once may pick
# the same free number: only one server takes the display's lock file, the other exits, and its
# session tries the next number rather than sharing a display it would later lose.
_quill_own_display() {
  local attempt n xvfb i
  for attempt in 1 2 3 4 5; do
    n=$(_quill_free_display) || return 1
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    for i in $(seq 1 100); do
      if [ -e "/tmp/.X11-unix/X$n" ] && [ "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" = "$xvfb" ]; then
        _quill_pids+=("$xvfb")
        export DISPLAY=":$n"
        return 0
      fi
      _quill_alive "$xvfb" || break
      sleep 0.05
    done
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  done
  return 1
}

# Two sessions that start at once on a prefix not made yet (tests run in parallel, each starting
# its own) make it one after the other: the second finds it made.
_quill_make_prefix() {
  [ -f "$WINEPREFIX/.quillidar-prefix-v2$_quill_prefix_tag" ] && return 0
  local lock rc=0
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec {lock}>"$WINEPREFIX.making"
  flock "$lock"
  _quill_make_prefix_now || rc=$?
  exec {lock}>&-
  return $rc
}

_quill_make_prefix_now() {
  local stamp="$WINEPREFIX/.quillidar-prefix-v2$_quill_prefix_tag"
  [ -f "$stamp" ] && return 0
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    _quill_log "creating Wine prefix in $WINEPREFIX (once)"
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    "$WINE64" wineboot -i >/dev/null 2>&1 || true
    "$WINESERVER" -w
  fi
  local reg=("$WINE64" reg add)
  # Every program of this prefix runs inside one virtual desktop. Its name "shell" is the one
  # for which Wine's explorer draws a taskbar with a notification area.
  "${reg[@]}" 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
  "${reg[@]}" 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d "$QUILL_DESKTOP_SIZE" /f >/dev/null 2>&1
  # The dialogs ask for the Song face; the closest face Debian has stands in for it, in this prefix only.
  local face
  for face in 宋体 SimSun 新宋体 NSimSun; do
    "${reg[@]}" 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "AR PL UMing CN" /f >/dev/null 2>&1
  done
  if [ "$QUILL_LOGPIXELS" != 96 ]; then
    # Wine takes the system DPI from the user's key; the machine's is the one its own settings write.
    "${reg[@]}" 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$QUILL_LOGPIXELS" /f >/dev/null 2>&1
    "${reg[@]}" 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
      /v LogPixels /t REG_DWORD /d "$QUILL_LOGPIXELS" /f >/dev/null 2>&1
  fi
  "$WINESERVER" -w
  touch "$stamp"
}

# Makes WINEPREFIX a prefix nobody has run anything in, for tests of what installs itself: a copy of
# a pristine prefix in $1, made once the way every session's prefix is made and never used itself.
# Call before wine_session_start.
wine_prefix_fresh() {
  local pristine=$1 target=$WINEPREFIX
  if [ ! -f "$pristine/.quillidar-prefix-v2" ]; then
    WINEPREFIX=$pristine _quill_make_prefix
  fi
  rm -rf "$target"
  mkdir -p "$(dirname "$target")"
  cp -a "$pristine" "$target"
}

wine_session_start() {
  trap wine_session_stop EXIT
  trap 'exit 130' INT TERM
  if [ -z "${DISPLAY:-}" ]; then
    _quill_own_display || { echo "wine-session: no free X display" >&2; return 1; }
    QUILL_OWN_DISPLAY=1
    _quill_log "Xvfb on $DISPLAY"
  fi
  _quill_make_prefix
  "$WINESERVER" -p -f >/dev/null 2>&1 &
  local server=$!
  _quill_pids+=("$server")
  QUILL_WINESERVER_PID=
  # The server started here either takes the prefix's lock or, finding another session's server
  # holding it, exits: whichever is seen first decides. One still undecided after 30 s (it would
  # have to be stuck) is not counted as this session's; it is stopped by its pid with the rest.
  local i
  for i in $(seq 1 600); do
    if _quill_server_is "$server"; then
      QUILL_WINESERVER_PID=$server
      break
    fi
    _quill_alive "$server" || break
    sleep 0.05
  done
  if [ -z "$QUILL_WINESERVER_PID" ]; then
    _quill_log "using a wineserver this session did not start; it is left running at the end"
  fi
  "$WINE64" explorer "/desktop=shell,$QUILL_DESKTOP_SIZE" >/dev/null 2>&1 &
  _quill_pids+=($!)
  # Let the desktop and its taskbar come up before anything is started in it.
  local i
  for i in $(seq 1 100); do
    if "$WINE64" cmd /c exit 0 >/dev/null 2>&1; then break; fi
    sleep 0.1
  done
  sleep 1
  export QUILL_OWN_DISPLAY
}

wine_session_stop() {
  local rc=$?
  trap - EXIT
  # -k stops whichever server holds the prefix: only when that is still the one started here.
  if [ -n "${WINEPREFIX:-}" ] && [ -n "${QUILL_WINESERVER_PID:-}" ] && _quill_server_is "$QUILL_WINESERVER_PID"; then
    "$WINESERVER" -k >/dev/null 2>&1 || true
  fi
  local p
  for p in "${_quill_pids[@]}"; do
    kill "$p" 2>/dev/null || true
  done
  for p in "${_quill_pids[@]}"; do
    for _ in $(seq 1 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.05; done
    kill -9 "$p" 2>/dev/null || true
  done
  _quill_pids=()
  QUILL_WINESERVER_PID=
  return $rc
}

# Converts a Unix path to the Z: path the Wine programs see.
wine_path() { printf 'Z:%s' "$(realpath "$1")" | tr '/' '\\'; }
