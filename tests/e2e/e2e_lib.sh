# e2e_lib.sh - shared by the whole-program test scripts (sourced, not run).
# Waits poll instead of sleeping a fixed time, with generous limits for a loaded
# two-core machine.

# The program is built with AddressSanitizer for the tests; the GL driver it loads
# is unloaded at exit and its allocations would be reported as leaks of unknown
# modules. Memory errors still stop the program.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}

e2e_need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null 2>&1 || { echo "e2e: $tool is not installed: skipped" >&2; exit 77; }
  done
}

e2e_now() { date +%s.%N; }
# e2e_elapsed START -> seconds since START
e2e_elapsed() { awk -v a="$1" -v b="$(e2e_now)" 'BEGIN { printf "%.3f", b - a }'; }

# e2e_poll SECONDS COMMAND... -> runs COMMAND every 0.05 s until it succeeds; 1 on timeout.
e2e_poll() {
  local limit=$1 start
  shift
  start=$(e2e_now)
  until "$@"; do
    awk -v e="$(e2e_elapsed "$start")" -v l="$limit" 'BEGIN { exit !(e > l) }' && return 1
    sleep 0.05
  done
  return 0
}

# e2e_window PID -> prints the program's window id once it is mapped; 1 when the
# program died or no window came within 60 s.
e2e_window() {
  local pid=$1 wid start
  start=$(e2e_now)
  while kill -0 "$pid" 2>/dev/null; do
    wid=$(xdotool search --onlyvisible --name "^TESSEL VIVID$" 2>/dev/null | head -1)
    [ -n "$wid" ] && { echo "$wid"; return 0; }
    awk -v e="$(e2e_elapsed "$start")" 'BEGIN { exit !(e > 60) }' && return 1
    sleep 0.1
  done
  return 1
}

# e2e_term PID [SECONDS] -> sends SIGTERM and waits at most SECONDS (2) for the exit.
# Prints "<exit status> <seconds>"; the status is "timeout" (and the program killed)
# when it did not end in time.
e2e_term() {
  local pid=$1 limit=${2:-2.0} start rc
  start=$(e2e_now)
  kill -TERM "$pid" 2>/dev/null
  if ! e2e_poll "$limit" e2e_gone "$pid"; then
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    echo "timeout $(e2e_elapsed "$start")"
    return
  fi
  wait "$pid"
  rc=$?
  echo "$rc $(e2e_elapsed "$start")"
}
# Ended: no such process, or one that died and waits to be reaped (state Z).
e2e_gone() {
  ! kill -0 "$1" 2>/dev/null || [ "$(sed -E 's/.*\) //' "/proc/$1/stat" 2>/dev/null | cut -c1)" = Z ]
}

# --- Screenshots and clicks (audio server tests) --------------------------------

# e2e_shot OUT [SECONDS] -> asks the program for a screenshot through the request file
# in $TMPDIR and copies it to OUT once served; 1 when not served within SECONDS (30).
e2e_shot() {
  local out=$1 limit=${2:-30}
  rm -f "$TMPDIR/tessel_screenshot.bmp"
  touch "$TMPDIR/tessel_screenshot_request"
  e2e_poll "$limit" e2e_shot_served || return 1
  cp "$TMPDIR/tessel_screenshot.bmp" "$out"
}
e2e_shot_served() {
  [ ! -e "$TMPDIR/tessel_screenshot_request" ] && [ -s "$TMPDIR/tessel_screenshot.bmp" ]
}

# e2e_click WID X Y [BUTTON] -> a click at window coordinates.
e2e_click() {
  xdotool mousemove --window "$1" "$2" "$3" click "${4:-1}"
}

# e2e_private_home PREFIX -> makes the test's folder $T under $TMPDIR and a home,
# configuration and scratch folder of its own inside; exports T, HOME,
# XDG_CONFIG_HOME and TMPDIR (the screenshot request's folder).
e2e_private_home() {
  T=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  export T HOME=$T/home XDG_CONFIG_HOME=$T/home/.config TMPDIR=$T/scratch
  unset APPDATA XDG_MUSIC_DIR
  mkdir -p "$XDG_CONFIG_HOME" "$TMPDIR"
}

# --- The program and a JACK server with a tone (audio server tests) -----------
# Both need tools/jack-server.sh sourced.

# e2e_program_start -> inside the X session: starts $BIN, its output in $T/app.out and
# $T/app.log and its pid in $T/app.pid; sets apid and wid. 1 (the program killed)
# when no window comes.
e2e_program_start() {
  "$BIN" "$@" >"$T/app.out" 2>"$T/app.log" &
  apid=$!
  echo "$apid" >"$T/app.pid"
  wid=$(e2e_window "$apid") || { kill -KILL "$apid" 2>/dev/null; return 1; }
}

# e2e_jack_port PORT [SECONDS] -> waits (30 s) until PORT is on the server; 1 if not.
e2e_jack_port() { e2e_poll "${2:-30}" e2e_jack_has_port "$1"; }
e2e_jack_has_port() { timeout 10 jack_lsp 2>/dev/null | grep -qx "$1"; }

# e2e_connections PORT FILE -> the ports PORT is connected to in a `jack_lsp -c` listing.
e2e_connections() {
  awk -v p="$1" '/^[^ \t]/ { on = ($0 == p); next } on { gsub(/^[ \t]+/, ""); print }' "$2"
}

# e2e_jack_tone RATE FRAMES -> a private JACK dummy server (2 in, 2 out; its log in
# $T/jackd.log) that the program and the JACK tools use, with jack_simple_client's
# tone on it; sets spid. 1 when either does not come up.
e2e_jack_tone() {
  jack_server_start "$1" "$2" 2 2 "$T/jackd.log" || return 1
  export JACK_DEFAULT_SERVER=$JACK_SERVER_NAME JACK_NO_START_SERVER=1 JACK_SERVER_NAME JACK_SERVER_PID
  jack_simple_client >/dev/null 2>&1 &
  spid=$!
  e2e_jack_port jack_simple_client:output2 20
}

# e2e_finish_common -> the common part of a test's exit trap: kills the program,
# the tone and the server; shows the program's standard error when $status is not 0.
e2e_finish_common() {
  [ -s "$T/app.pid" ] && kill -KILL "$(cat "$T/app.pid")" 2>/dev/null
  [ -n "${spid:-}" ] && kill -TERM "$spid" 2>/dev/null
  jack_server_stop
  wait 2>/dev/null
  if [ "${status:-1}" -ne 0 ]; then
    echo "--- program's standard error:" >&2
    grep -v "^jack: " "$T/app.log" >&2 2>/dev/null
  fi
}
