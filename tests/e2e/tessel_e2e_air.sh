#!/usr/bin/env bash
# tessel_e2e_air.sh RATE PROGRAM BMP_PROBE - the program on air, heard by an
# independent listener (tc_listen.py): a loop of jack_simple_client's tones recorded
# on a private JACK dummy server at RATE, w, HELLO and AUDIO checked field by field
# with the tones measured, a greeting, nine listeners (the ninth refused, a stalled
# one killed), w off with BYE, SIGTERM with BYE, broadcast=1 on restart, and the
# JACK server killed under it. Exits 77 when a tool is missing or port 47482 is held.
#
# tessel_e2e_air.sh absent PROGRAM - without a DNS-SD daemon (the system bus named to
# a socket that does not exist): one "DNS-SD register" line, ON AIR, a listener
# served, SIGTERM exits 0.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
. "$here/../../tools/jack-server.sh"
LISTEN="python3 $here/tc_listen.py"
PORT=47482

log_has() { grep -q "$1" "$T/app.log"; }
session_fail() { echo "$*" >"$T/fail"; kill -KILL "$apid" 2>/dev/null; exit 1; }
note() { echo "$*" >>"$T/notes"; }
# listener NAME ARGS... -> tc_listen.py in the background, its output in $T/NAME.out.
listener() {
  local name=$1
  shift
  $LISTEN "$@" >"$T/$name.out" 2>&1 &
  echo $! >"$T/$name.pid"
}
listener_says() { grep -q "$2" "$T/$1.out" 2>/dev/null; }
# listener_result NAME -> waits for it (a listener's own waits and then $E2E_WAIT) and
# fails the session unless it passed.
listener_result() {
  local pid
  pid=$(cat "$T/$1.pid")
  e2e_poll "$((2 * E2E_WAIT))" e2e_gone "$pid" || kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  sed "s/^/$1: /" "$T/$1.out" >>"$T/listeners"
  grep -q " 0 failed$" "$T/$1.out" || session_fail "listener $1: $(grep FAIL "$T/$1.out" | head -3 | tr '\n' ';')"
}
key() { timeout 10 xdotool windowfocus --sync "$wid"; sleep 0.2; xdotool key "$1"; }
shell_start() {
  e2e_program_start || session_fail "no window"
  timeout 10 xdotool windowsize --sync "$wid" 640 1080
  e2e_sync || session_fail "no frame after the resize"
}

air_session() {
  local sid t0 rc secs
  shell_start
  e2e_jack_port tessel:in_1 || session_fail "no tessel:in_0/in_1 ports"
  timeout 10 jack_connect jack_simple_client:output1 tessel:in_0 &&
    timeout 10 jack_connect jack_simple_client:output2 tessel:in_1 || session_fail "jack_connect failed"
  # 1. OVERDUB off by its button, a loop of one second, then only the loop plays.
  e2e_click "$wid" 208 970
  e2e_sync || session_fail "no frame after the OVERDUB click"
  key r; e2e_sync; sleep 1.0; key r
  # Taken, and the loop closed in a block of the frames after.
  e2e_sync && e2e_sync || session_fail "no frame after the loop"
  timeout 10 jack_disconnect jack_simple_client:output1 tessel:in_0
  timeout 10 jack_disconnect jack_simple_client:output2 tessel:in_1
  # 2. w: on air.
  key w
  e2e_poll "$E2E_WAIT" log_has "tcstream: station Tessel on :$PORT" || session_fail "no station line after w"
  # 3. Five seconds of listening.
  sid=$(cat "$XDG_CONFIG_HOME/TideCoil/stream.tessel.sid" 2>/dev/null)
  [ -n "$sid" ] || session_fail "no stream.tessel.sid in the data folder"
  listener listen listen 5 --sid "$sid" --left "$LEFT" --right "$RIGHT" --no-state
  listener_result listen
  # 4. A greeting names the listener.
  listener greet greet --an desk --dev Studio
  e2e_poll "$E2E_WAIT" log_has "tcstream: DESK (Studio) is listening" || session_fail "no DESK (Studio) line"
  listener_result greet
  # 5. A listener that stops reading, seven more and a ninth refused; the stalled one
  # killed once its unread data has piled up.
  listener hold hold 60
  e2e_poll "$E2E_WAIT" listener_says hold holding || session_fail "the held listener got no HELLO"
  listener crowd crowd 8 --served 7 --seconds 6
  e2e_poll "$E2E_WAIT" listener_says crowd crowded || session_fail "the crowd did not settle"
  e2e_shot "$T/eight.bmp" || session_fail "no screenshot with eight listeners"
  cp "$T/eight.bmp" "$SHOTS/air-eight-listeners-$RATE.bmp" 2>/dev/null
  sleep 2
  kill -KILL "$(cat "$T/hold.pid")"
  sleep 1
  kill -0 "$apid" 2>/dev/null || session_fail "the program died when a stalled listener was killed"
  listener_result crowd
  listener late hello
  listener_result late
  # 6. w off: BYE, then the end; w on again at once and a listener is served.
  listener bye1 bye "$E2E_WAIT"
  listener bye2 bye "$E2E_WAIT"
  e2e_poll "$E2E_WAIT" listener_says bye1 listening && e2e_poll "$E2E_WAIT" listener_says bye2 listening ||
    session_fail "the BYE listeners got no HELLO"
  key w
  listener_result bye1
  listener_result bye2
  key w
  listener again hello
  listener_result again
  # 7. SIGTERM with a listener connected: BYE, then exit 0.
  listener bye3 bye "$E2E_WAIT"
  e2e_poll "$E2E_WAIT" listener_says bye3 listening || session_fail "the last listener got no HELLO"
  e2e_term "$apid" >"$T/term"; read -r rc secs <"$T/term"
  [ "$rc" = 0 ] || session_fail "exit status $rc after SIGTERM (${secs} s)"
  note "exited 0 ${secs} s after SIGTERM with a listener"
  listener_result bye3
  grep -q "^broadcast=1" "$XDG_CONFIG_HOME/TideCoil/tessel.ini" || session_fail "broadcast=1 was not saved"
  mv "$T/app.log" "$T/app1.log"
  shell_start
  e2e_poll "$E2E_WAIT" log_has "tcstream: station Tessel on :$PORT" || session_fail "broadcast=1 did not put it on air"
  listener restart hello
  listener_result restart
  # 8. The JACK server killed under it.
  kill -KILL "$JACK_SERVER_PID"
  echo "$JACK_SERVER_PID" >"$T/jack.killed"
  sleep 3
  kill -0 "$apid" 2>/dev/null || session_fail "the program died with the JACK server"
  e2e_shot "$T/nojack.bmp" || session_fail "no screenshot after the JACK server died"
  listener nojack hello
  listener_result nojack
  e2e_term "$apid" >"$T/term"; read -r rc secs <"$T/term"
  [ "$rc" = 0 ] || session_fail "exit status $rc after SIGTERM without JACK (${secs} s)"
  log_has "did not end" && session_fail "a worker did not end: $(grep 'did not end' "$T/app.log")"
  note "exited 0 ${secs} s after SIGTERM without a JACK server"
}

absent_session() {
  local rc secs
  shell_start
  key w
  e2e_poll "$E2E_WAIT" log_has "tcstream: station Tessel on :$PORT" || session_fail "not on air"
  [ "$(grep -c "tcstream: DNS-SD register" "$T/app.log")" = 1 ] || session_fail "not one DNS-SD register line"
  listener absent hello
  listener_result absent
  e2e_term "$apid" >"$T/term"; read -r rc secs <"$T/term"
  [ "$rc" = 0 ] || session_fail "exit status $rc after SIGTERM (${secs} s)"
}

if [ "${1:-}" = --session ]; then
  cd "$T"
  if [ "$RATE" = absent ]; then absent_session; else air_session; fi
  exit 0
fi

RATE=$1 BIN=$2 PROBE=${3:-}
e2e_need xvfb-run xdotool python3 ss
holder=$(ss -ltnpH "sport = :$PORT" 2>/dev/null)
[ -z "$holder" ] || { echo "tessel_e2e_air: port $PORT is held: $holder: skipped" >&2; exit 77; }
e2e_private_home tessel-air
SHOTS=${E2E_SHOTS:-$PWD/shots}
mkdir -p "$SHOTS"
export BIN PROBE RATE SHOTS
status=1
JACK_SERVER_PID=
finish() {
  local f
  for f in "$T"/*.pid; do [ -s "$f" ] && kill -KILL "$(cat "$f")" 2>/dev/null; done
  [ -s "$T/jack.killed" ] && JACK_SERVER_PID=
  e2e_finish_common
  [ "$status" -ne 0 ] && [ -e "$T/listeners" ] && grep -v "^[a-z0-9]*: ok " "$T/listeners" >&2
  rm -rf "$T"
}
trap finish EXIT
fail() { echo "tessel_e2e_air $RATE: $*" >&2; exit 1; }

if [ "$RATE" = absent ]; then
  # The system bus named to a socket that does not exist: no DNS-SD daemon.
  export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$T/no-such-bus"
  export JACK_NO_START_SERVER=1 JACK_DEFAULT_SERVER=tessel-no-server
  xvfb-run -a -s "-screen 0 1280x1200x24 -nolisten tcp -noreset" "$0" --session
else
  e2e_need jackd jack_wait jack_simple_client jack_connect jack_disconnect jack_lsp
  # jack_simple_client's table of 200 steps, one step a frame on the left, three on the right.
  LEFT=$(awk -v r="$RATE" 'BEGIN { printf "%.2f", r / 200 }')
  RIGHT=$(awk -v r="$RATE" 'BEGIN { printf "%.2f", 3 * r / 200 }')
  export LEFT RIGHT
  e2e_jack_tone "$RATE" 1024 || fail "no JACK server with a tone"
  xvfb-run -a -s "-screen 0 1280x1200x24 -nolisten tcp -noreset" "$0" --session
fi
[ -e "$T/notes" ] && sed "s/^/tessel_e2e_air $RATE: /" "$T/notes"
[ -e "$T/listeners" ] && grep "figure" "$T/listeners" | sed "s/^/tessel_e2e_air $RATE: /"
[ -e "$T/fail" ] && fail "$(cat "$T/fail")"
status=0
exit 0
