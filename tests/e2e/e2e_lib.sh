# e2e_lib.sh - shared by the whole-program test scripts (sourced, not run).
# Waits poll for what the program does (a file, a log line, a port, a screenshot)
# instead of sleeping a fixed time, each bounded by a limit generous enough for a
# heavily loaded machine: a test fails on what the program did, not on how fast.

# The limit of a wait for something the program must do, in seconds.
E2E_WAIT=${E2E_WAIT:-60}
E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

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
e2e_window() { e2e_window_search "$1" --name "^TESSEL VIVID$"; }
# e2e_window_of PID -> the same for the window of that one process (for several
# running copies).
e2e_window_of() { e2e_window_search "$1" --pid "$1"; }
# e2e_window_search PID SEARCH... -> the first visible window `xdotool search SEARCH`
# finds while PID lives and still there half a second later (SDL may remake the window).
e2e_window_search() {
  local pid=$1 wid start
  shift
  start=$(e2e_now)
  while kill -0 "$pid" 2>/dev/null; do
    wid=$(xdotool search --onlyvisible "$@" 2>/dev/null | head -1)
    [ -n "$wid" ] && sleep 0.5 && xdotool search --onlyvisible "$@" 2>/dev/null | grep -qx "$wid" &&
      { echo "$wid"; return 0; }
    awk -v e="$(e2e_elapsed "$start")" -v l="$E2E_WAIT" 'BEGIN { exit !(e > l) }' && return 1
    sleep 0.1
  done
  return 1
}

# e2e_term PID [SECONDS] -> sends SIGTERM and waits at most SECONDS ($E2E_WAIT) for the
# exit. Prints "<exit status> <seconds>"; the status is "timeout" (and the program
# killed) when it did not end in time.
e2e_term() {
  local pid=$1 limit=${2:-$E2E_WAIT} start rc
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

# e2e_tone_server LOG -> a private JACK dummy server (sourced from jack-server.sh) with
# jack_simple_client's two tones (240 Hz, 720 Hz) running on it; sets spid and the
# JACK variables. Prints why and returns 1 when either does not come up.
# Blocks of 1024 frames: without real-time scheduling, on a busy machine, clients miss
# the deadlines of short blocks and the server skips their cycles.
e2e_tone_server() {
  jack_server_start 48000 1024 2 2 "$1" || { echo "the JACK server did not start"; return 1; }
  export JACK_DEFAULT_SERVER=$JACK_SERVER_NAME JACK_NO_START_SERVER=1
  jack_simple_client >/dev/null 2>&1 &
  spid=$!
  e2e_poll "$E2E_WAIT" sh -c 'timeout 10 jack_lsp 2>/dev/null | grep -q "^jack_simple_client:output2$"' ||
    { echo "no tone client"; return 1; }
}

# e2e_tone_connect -> waits for tessel:in_0 and in_1 and connects the tones to them.
# Prints why and returns 1 on failure.
e2e_tone_connect() {
  e2e_poll "$E2E_WAIT" sh -c 'timeout 10 jack_lsp 2>/dev/null | grep -q "^tessel:in_1$"' ||
    { echo "no tessel:in_0/in_1 ports on the JACK server"; return 1; }
  timeout 10 jack_connect jack_simple_client:output1 tessel:in_0 &&
    timeout 10 jack_connect jack_simple_client:output2 tessel:in_1 || { echo "jack_connect failed"; return 1; }
}

# ---------------------------------------------------------------------------
# Window manager, window geometry, screenshots and CPU time
# ---------------------------------------------------------------------------

# e2e_wm_start LOG -> starts openbox on $DISPLAY and waits until it manages the
# screen (its check window on the root); sets E2E_WM_PID. An openbox that ended at
# once is started a second time. 1, with its last words, when it did not come up.
e2e_wm_start() {
  local try
  for try in 1 2; do
    openbox --sm-disable >"$1" 2>&1 &
    E2E_WM_PID=$!
    e2e_poll "$E2E_WAIT" sh -c "kill -0 $E2E_WM_PID 2>/dev/null || exit 0
      xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'" || break
    kill -0 "$E2E_WM_PID" 2>/dev/null && return 0
    wait "$E2E_WM_PID" 2>/dev/null
  done
  echo "openbox:" >&2
  tail -5 "$1" >&2
  e2e_wm_stop
  return 1
}
e2e_wm_stop() {
  [ -n "${E2E_WM_PID:-}" ] || return 0
  kill -TERM "$E2E_WM_PID" 2>/dev/null
  wait "$E2E_WM_PID" 2>/dev/null
  E2E_WM_PID=
}

# e2e_geometry WID -> "X Y W H" of the window as xdotool reads it.
e2e_geometry() {
  local X= Y= WIDTH= HEIGHT=
  eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
  [ -n "$WIDTH" ] || return 1
  echo "$X $Y $WIDTH $HEIGHT"
}

# e2e_geom WID -> S, OX and OY: the scale and the offset in window pixels of layout
# units with the library panel open (1240 units wide; x from -600 at the library's
# left edge, 0 at the main view's). e2e_px / e2e_py UNITS -> window pixels;
# e2e_at WID X Y moves the pointer there.
e2e_geom() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  S=$(awk -v w="$WIDTH" -v h="$HEIGHT" 'BEGIN { s = w / 1240; if (h / 1080 < s) s = h / 1080; print s }')
  OX=$(awk -v w="$WIDTH" -v s="$S" 'BEGIN { print (w - 1240 * s) / 2 }')
  OY=$(awk -v h="$HEIGHT" -v s="$S" 'BEGIN { print (h - 1080 * s) / 2 }')
}
e2e_px() { awk -v u="$1" -v s="$S" -v o="$OX" 'BEGIN { printf "%d", (u + 600) * s + o }'; }
e2e_py() { awk -v u="$1" -v s="$S" -v o="$OY" 'BEGIN { printf "%d", u * s + o }'; }
# --sync: back once the X server has moved the pointer. A click sent next comes on a
# connection of its own, and a loaded server may take it before a move still queued.
e2e_at() { timeout 10 xdotool mousemove --sync --window "$1" "$(e2e_px "$2")" "$(e2e_py "$3")"; }

# e2e_inside "X Y W H" SCREEN_W SCREEN_H -> 0 when the rectangle lies on the screen.
e2e_inside() {
  local x y w h
  read -r x y w h <<<"$1"
  [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le "$2" ] && [ $((y + h)) -le "$3" ]
}

# e2e_cpu_ticks PID -> user + system CPU time of the process in clock ticks.
e2e_cpu_ticks() {
  sed -E 's/.*\) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'
}

# ---------------------------------------------------------------------------
# A tone on a private JACK server (needs tools/jack-server.sh sourced)
# ---------------------------------------------------------------------------

# e2e_tone_start LOG -> e2e_tone_server, its reasons on standard error; sets
# E2E_TONE_PID for e2e_tone_stop.
e2e_tone_start() {
  E2E_TONE_PID=
  e2e_tone_server "$1" >&2 || return 1
  E2E_TONE_PID=$spid
}
# e2e_tone_stop -> ends the tone client and then the server (each by its pid). The
# client goes first and is killed when it lingers: one whose server goes while it
# closes can wait on it for ever.
e2e_tone_stop() {
  if [ -n "${E2E_TONE_PID:-}" ]; then
    kill -TERM "$E2E_TONE_PID" 2>/dev/null
    e2e_poll 3 e2e_gone "$E2E_TONE_PID" || kill -KILL "$E2E_TONE_PID" 2>/dev/null
  fi
  E2E_TONE_PID=
  ! declare -F jack_server_stop >/dev/null || jack_server_stop
}
# e2e_wav_stats FILE -> "LENGTH_SECONDS RMS" of a sound file, from sox.
e2e_wav_stats() {
  sox "$1" -n stat 2>&1 | awk '/Length \(seconds\)/ { l = $3 } /RMS +amplitude/ { r = $3 } END { print l, r }'
}

# e2e_cycles_start / e2e_cycles_stop -> a JACK client (jack_cycles.py) counting the
# cycles the server runs its clients for, for e2e_mark; none without a server.
e2e_cycles_start() {
  E2E_CYCLES_FILE=$T/cycles.$$
  rm -f "$E2E_CYCLES_FILE"
  python3 "$E2E_DIR/jack_cycles.py" "$E2E_CYCLES_FILE" 2>/dev/null &
  E2E_CYCLES_PID=$!
  e2e_poll "$E2E_WAIT" eval '[ -s "$E2E_CYCLES_FILE" ] || ! kill -0 "$E2E_CYCLES_PID" 2>/dev/null'
}
e2e_cycles_stop() {
  [ -n "${E2E_CYCLES_PID:-}" ] || return 0
  kill -TERM "$E2E_CYCLES_PID" 2>/dev/null
  # Its close can hang on the server (a futex in jack_client_close): not waited for long.
  e2e_poll 10 e2e_gone "$E2E_CYCLES_PID" || kill -KILL "$E2E_CYCLES_PID" 2>/dev/null
  wait "$E2E_CYCLES_PID" 2>/dev/null
  E2E_CYCLES_PID=
  rm -f "$E2E_CYCLES_FILE"
}
# e2e_mark -> "WALL CYCLES XRUNS BLOCK": the wall clock, the time the server has run its
# clients for since e2e_cycles_start ("-" without it), the cycles the server logged the
# program late for (jackd's "client = tessel was not finished"; $JACK_SERVER_LOG) and
# one cycle's length in seconds.
e2e_mark() {
  local wall cycles block xruns=0
  wall=$(e2e_now)
  [ -n "${E2E_CYCLES_PID:-}" ] && read -r cycles block <"$E2E_CYCLES_FILE" 2>/dev/null
  [ -n "${JACK_SERVER_LOG:-}" ] && xruns=$(grep -c "client = tessel was not finished" "$JACK_SERVER_LOG" 2>/dev/null)
  echo "$wall ${cycles:--} ${xruns:-0} ${block:-0}"
}
# e2e_gap M1 M2 M3 M4 -> "MIN MAX" for a loop begun by a press sent after mark M1 and
# taken before M2, and ended by one sent after M3 and taken before M4. MAX is wall time
# (a server never runs ahead of it). MIN is the time the server ran its clients for from
# M2 to M3, less the cycles it logged the program late for: on a loaded machine the
# server falls behind the wall clock and skips cycles, and the loop holds only the
# frames the program was given.
e2e_gap() {
  awk -v a="$1" -v b="$2" -v c="$3" -v d="$4" 'BEGIN {
    split(a, m1, " "); split(b, m2, " "); split(c, m3, " "); split(d, m4, " ")
    lo = m3[1] - m2[1]
    if (m2[2] != "-" && m3[2] != "-") lo = m3[2] - m2[2] - (m4[3] - m1[3]) * m3[4]
    printf "%.3f %.3f\n", lo, m4[1] - m1[1] }'
}

# e2e_record_loop WID SECONDS GAP_FILE -> focuses the window and records a loop: r,
# SECONDS, r, each press followed by a frame of the program's (e2e_sync), so that it
# has taken the press. The program took each between its sending and that frame: the
# shortest and longest it can have recorded go to GAP_FILE ("MIN MAX", e2e_gap).
# 1 when the program answered no frame.
e2e_record_loop() {
  local m1 m2 m3 m4 ok=0
  timeout 10 xdotool windowfocus --sync "$1"
  e2e_cycles_start
  e2e_sync &&
    m1=$(e2e_mark) && xdotool key r && e2e_sync &&
    m2=$(e2e_mark) && sleep "$2" &&
    m3=$(e2e_mark) && xdotool key r && e2e_sync &&
    m4=$(e2e_mark) && e2e_gap "$m1" "$m2" "$m3" "$m4" >"$3" || ok=1
  e2e_cycles_stop
  return $ok
}
# e2e_len_fits LEN GAP_FILE -> 0 when a loop LEN seconds long fits the presses in
# GAP_FILE, give or take a quarter second for the audio server's 1024-frame blocks and
# timing.
e2e_len_fits() {
  local lo hi
  read -r lo hi <"$2"
  awk -v l="$1" -v lo="$lo" -v hi="$hi" 'BEGIN { exit !(l > lo - 0.25 && l < hi + 0.25) }'
}

# ---------------------------------------------------------------------------
# A scratch home for one test run
# ---------------------------------------------------------------------------

# --- Screenshots and clicks (audio server tests) --------------------------------

# e2e_shot OUT [SECONDS] -> asks the program for a screenshot through the request file
# in $TMPDIR and copies it to OUT once served; 1 when not served within SECONDS
# ($E2E_WAIT). The request goes in the frame the picture is renamed into place: it is
# then whole. The frame that answers has taken every key and click sent before.
e2e_shot() {
  local out=$1 limit=${2:-$E2E_WAIT}
  rm -f "$TMPDIR/tessel_screenshot.bmp"
  touch "$TMPDIR/tessel_screenshot_request"
  e2e_poll "$limit" e2e_shot_served || return 1
  cp "$TMPDIR/tessel_screenshot.bmp" "$out"
}
e2e_shot_served() {
  [ ! -e "$TMPDIR/tessel_screenshot_request" ] && [ -s "$TMPDIR/tessel_screenshot.bmp" ]
}
# e2e_sync -> waits until the program has drawn a frame after taking every key, click
# and resize sent so far (a screenshot request answered); 1 when none came.
e2e_sync() { e2e_shot /dev/null; }
# e2e_settle -> two e2e_syncs: the program has taken everything sent and drawn 16
# frames more, at least a quarter second of its own clock (its frames come at most 60
# a second): a panel's slide or fade begun before has ended.
e2e_settle() { e2e_sync && e2e_sync; }
# e2e_shot_until OUT TEST... -> screenshots into OUT until `TEST... OUT` holds (the
# program shows what it should), within $E2E_WAIT; 1 when it never did.
e2e_shot_until() {
  local out=$1 start
  shift
  start=$(e2e_now)
  until e2e_shot "$out" && "$@" "$out"; do
    awk -v e="$(e2e_elapsed "$start")" -v l="$E2E_WAIT" 'BEGIN { exit !(e > l) }' && return 1
  done
  return 0
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

# e2e_scratch NAME -> $T, a fresh folder holding the run's home, configuration
# folder and TMPDIR (all exported; the program's data, takes and screenshots land
# there). e2e_cleanup runs at exit: it kills a program whose pid is in $T/app.pid,
# stops the tone and its server, shows the program's standard error ($T/app.log)
# unless E2E_STATUS is 0, and removes $T.
e2e_scratch() {
  e2e_private_home "$1"
  E2E_STATUS=1
  trap e2e_cleanup EXIT
}
# e2e_reap -> waits for the script's own background children, killing any still
# there after 5 s: a client stuck on a dead server must not hang the test.
e2e_reap() {
  local p
  for p in $(jobs -p); do
    e2e_poll 5 e2e_gone "$p" || kill -KILL "$p" 2>/dev/null
  done
  wait 2>/dev/null
}
e2e_cleanup() {
  [ -s "$T/app.pid" ] && kill -KILL "$(cat "$T/app.pid")" 2>/dev/null
  declare -F e2e_tone_stop >/dev/null && declare -F jack_server_stop >/dev/null && e2e_tone_stop
  e2e_reap
  if [ "${E2E_STATUS:-1}" -ne 0 ] && [ -s "$T/app.log" ]; then
    echo "--- program's standard error:" >&2
    cat "$T/app.log" >&2
  fi
  rm -rf "$T"
}

# e2e_loop_file_ok WHAT FILE... -> 0 when exactly one FILE is given, as long as the
# presses in $T/gap made it (e2e_len_fits) and not silent (RMS above 0.05). Says what
# it found.
e2e_loop_file_ok() {
  local what=$1 gap len rms
  shift
  [ $# -eq 1 ] && [ -e "$1" ] || { echo "expected one $what, found $#" >&2; return 1; }
  gap=$(cat "$T/gap")
  read -r len rms < <(e2e_wav_stats "$1")
  echo "$what $(basename "$1"): ${len} s (presses taken ${gap// / to } s apart), RMS ${rms}"
  e2e_len_fits "$len" "$T/gap" ||
    { echo "the $what is ${len} s long, the presses were taken ${gap// / to } s apart" >&2; return 1; }
  awk -v r="$rms" 'BEGIN { exit !(r > 0.05) }' || { echo "the $what is silent (RMS ${rms})" >&2; return 1; }
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

# e2e_tone_program [ARGS...] -> e2e_program_start ARGS with the tone on its inputs; on
# failure ends the session (exit 1) with the reason in $T/fail.
e2e_tone_program() {
  e2e_program_start "$@" || { echo "no window" >"$T/fail"; exit 1; }
  e2e_tone_connect >"$T/fail" || { kill -KILL "$apid"; exit 1; }
  rm -f "$T/fail"
}

# e2e_jack_port PORT -> waits ($E2E_WAIT) until PORT is on the server; 1 if not.
e2e_jack_port() { e2e_poll "$E2E_WAIT" e2e_jack_has_port "$1"; }
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
  e2e_jack_port jack_simple_client:output2
}

# e2e_finish_common -> the common part of a test's exit trap: kills the program,
# the tone and the server; shows the program's standard error when $status is not 0.
e2e_finish_common() {
  [ -s "$T/app.pid" ] && kill -KILL "$(cat "$T/app.pid")" 2>/dev/null
  E2E_TONE_PID=${spid:-}
  e2e_tone_stop
  e2e_reap
  if [ "${status:-1}" -ne 0 ]; then
    echo "--- program's standard error:" >&2
    grep -v "^jack: " "$T/app.log" >&2 2>/dev/null
  fi
}

# --- A session on a private X server and JACK server (needs tools/jack-server.sh) --

# e2e_session_run SCRIPT [resets] -> SCRIPT --session on a 2560 x 1100 X server with a
# private 48 kHz JACK dummy server (log $T/jackd.log); 1 with the reason in $T/fail.
# The X server never resets (a connection made while it resets is refused) unless
# "resets" is given.
e2e_session_run() {
  local reset=-noreset
  [ "${2:-}" = resets ] && reset=
  jack_server_start 48000 1024 2 2 "$T/jackd.log" || { echo "the JACK server did not start" >"$T/fail"; return 1; }
  export JACK_DEFAULT_SERVER=$JACK_SERVER_NAME JACK_NO_START_SERVER=1
  xvfb-run -a -s "-screen 0 2560x1100x24 -nolisten tcp $reset" "$1" --session ||
    { [ -e "$T/fail" ] || echo "the session ended early" >"$T/fail"; }
  [ ! -e "$T/fail" ]
}

# e2e_session_end PIDFILE... -> exit trap for e2e_session_run: kills the PIDFILEs' pids,
# stops the server, shows the logs' ends unless $status is 0; TESSEL_E2E_KEEP=DIR keeps $T.
e2e_session_end() {
  local f
  for f in "$@"; do [ -s "$f" ] && kill -KILL "$(cat "$f")" 2>/dev/null; done
  jack_server_stop
  e2e_reap
  if [ "${status:-1}" -ne 0 ]; then
    for f in "$T"/app*.log; do echo "--- $f:" >&2; grep -v '^Effects' "$f" | tail -20 >&2; done
    tail -5 "$T/jackd.log" >&2 2>/dev/null
  fi
  [ -n "${TESSEL_E2E_KEEP:-}" ] && { rm -rf "$TESSEL_E2E_KEEP"; cp -r "$T" "$TESSEL_E2E_KEEP"; }
  rm -rf "$T"
}
