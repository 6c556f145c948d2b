#!/usr/bin/env bash
# tessel_e2e_server_loss.sh [back|dead] PROGRAM BMP_PROBE   (without a mode: both)
# The JACK server goes away under a running program that holds a recorded loop.
# Both modes: a tone from jack_simple_client on a private JACK dummy server goes into
# tessel:in_0; r, a second, r, r records a loop and the session take is written; the
# server is killed; within 2 s a screenshot shows "AUDIO OFFLINE" in red.
# back: a click on the buffer text while no server answers leaves the window
#       answering (a screenshot served within 1 s of the click); a server started
#       again under the same name and a click on the device text bring the stream
#       back: an overdub of the tone rewrites the session take.
# Then SIGTERM (in dead: while the server is still gone): exit 0 within 3 s, the
# session take holds the loop (its length, not silent).
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
. "$here/../../tools/jack-server.sh"

# Window coordinates at the start size of 620 x 1010: the status line's device text
# and buffer text, and the rectangle the device text is drawn in.
DEVICE_X=100 BUFFER_X=420 STATUS_Y=950
OFFLINE_BOX="18 935 280 30"
RED="235 66 77"

takes() { ls "$HOME"/Music/tessel/tessel-[0-9]*.wav 2>/dev/null | head -1; }
take_sum() { f=$(takes); [ -n "$f" ] && md5sum "$f" | cut -c1-32; }
# Red pixels of the device text in a screenshot.
red_pixels() { "$PROBE" "$1" count $OFFLINE_BOX $RED 40 | tail -1; }
offline_shown() { e2e_shot "$T/offline.bmp" 1 && [ "$(red_pixels "$T/offline.bmp")" -gt 40 ]; }
take_changed() { [ "$(take_sum)" != "$1" ]; }
note() { echo "$*" >>"$T/notes"; }
session_fail() { echo "$*" >"$T/fail"; kill -KILL "$apid" 2>/dev/null; exit 1; }

if [ "${1:-}" = --session ]; then
  cd "$T"
  e2e_program_start || session_fail "no window"
  e2e_jack_port tessel:in_1 || session_fail "no tessel ports"
  timeout 10 jack_connect jack_simple_client:output1 tessel:in_0 || session_fail "jack_connect failed"
  timeout 10 xdotool windowfocus --sync "$wid"
  sleep 0.3
  xdotool key r
  sleep 1.0
  xdotool key r
  # With overdub on (the default) the loop goes on recording as an overdub: ended.
  sleep 0.2
  xdotool key r
  e2e_poll 20 sh -c '[ -n "$(ls "$HOME"/Music/tessel/tessel-[0-9]*.wav 2>/dev/null)" ]' ||
    session_fail "no session take after the loop"
  sleep 0.3
  first=$(take_sum)

  # The server goes away.
  kill -TERM "$JACK_SERVER_PID"
  t0=$(e2e_now)
  e2e_poll 2.0 offline_shown || session_fail "no red AUDIO OFFLINE within 2 s of the server's end"
  note "offline shown $(e2e_elapsed "$t0") s after the server's end"
  cp "$T/offline.bmp" "$T/shot-offline.bmp"
  e2e_poll 10 e2e_gone "$JACK_SERVER_PID" || session_fail "the JACK server did not end"

  if [ "$MODE" = back ]; then
    # A restart asked of no server: the window keeps answering.
    t1=$(e2e_now)
    e2e_click "$wid" $BUFFER_X $STATUS_Y
    e2e_shot "$T/after-click.bmp" 1.0 || session_fail "no screenshot within 1 s of the buffer click"
    note "screenshot served $(e2e_elapsed "$t1") s after the buffer click"
    # The server again, under the same name, with its tone.
    jack_server_again 48000 1024 2 2 "$T/jackd2.log" || session_fail "the second JACK server did not start"
    echo "$JACK_SERVER_PID" >"$T/jack2.pid"
    jack_simple_client >/dev/null 2>&1 &
    echo $! >"$T/tone2.pid"
    e2e_jack_port jack_simple_client:output1 20 || session_fail "no tone client on the second server"
    e2e_click "$wid" $DEVICE_X $STATUS_Y
    e2e_jack_port tessel:in_0 20 || session_fail "the device click opened no stream on the second server"
    # The click steps to the next device, which may be the tone itself: then the
    # connection is already there.
    timeout 10 jack_connect jack_simple_client:output1 tessel:in_0 2>/dev/null
    timeout 10 jack_lsp -c tessel:in_0 | grep -q "jack_simple_client:output1" || session_fail "second jack_connect failed"
    e2e_shot "$T/shot-back.bmp" 5 || session_fail "no screenshot after the stream came back"
    [ "$(red_pixels "$T/shot-back.bmp")" -lt 10 ] || session_fail "still AUDIO OFFLINE after the device click"
    timeout 10 xdotool windowfocus --sync "$wid"
    sleep 0.5
    xdotool key r
    sleep 0.6
    xdotool key r
    e2e_poll 20 take_changed "$first" || session_fail "the overdub on the new stream never reached the session take"
    note "overdub on the new stream rewrote the session take"
  fi
  e2e_term_within "$apid" 3 >"$T/term"
  exit 0
fi

if [ $# -eq 2 ]; then
  "$0" back "$1" "$2" || exit $?
  exec "$0" dead "$1" "$2"
fi
MODE=$1 BIN=$2 PROBE=$3
case "$MODE" in back | dead) ;; *) echo "usage: $0 [back|dead] PROGRAM BMP_PROBE" >&2; exit 2 ;; esac
e2e_need jackd jack_wait jack_simple_client jack_connect jack_lsp xvfb-run xdotool sox md5sum

e2e_private_home tessel-loss
export BIN PROBE MODE

JACK_SERVER_PID=
spid=
status=1
finish() {
  [ -s "$T/tone2.pid" ] && kill -TERM "$(cat "$T/tone2.pid")" 2>/dev/null
  # The second server, when one was started: stopped by its pid like the first.
  [ -s "$T/jack2.pid" ] && JACK_SERVER_PID=$(cat "$T/jack2.pid")
  e2e_finish_common
  rm -rf "$T"
}
trap finish EXIT
fail() { echo "tessel_e2e_server_loss: $*" >&2; exit 1; }

e2e_jack_tone 48000 1024 || fail "no JACK server with a tone"

xvfb-run -a -s "-screen 0 1280x1100x24 -nolisten tcp" "$0" --session
[ -e "$T/notes" ] && sed 's/^/tessel_e2e_server_loss: /' "$T/notes"
[ -e "$T/fail" ] && fail "$(cat "$T/fail")"
# The first server has gone: only the second one (back) is left to stop by its pid.
JACK_SERVER_PID=

read -r rc secs <"$T/term" || fail "no exit status"
[ "$rc" = 0 ] || fail "exit status $rc after SIGTERM (${secs} s)"
echo "tessel_e2e_server_loss: exited 0 ${secs} s after SIGTERM"

f=$(takes)
[ -n "$f" ] || fail "no session take"
read -r len rms < <(e2e_wav_stat "$f")
echo "tessel_e2e_server_loss: $(basename "$f"): ${len} s, RMS ${rms}"
awk -v l="$len" 'BEGIN { exit !(l > 0.7 && l < 1.6) }' || fail "the session take is ${len} s, not the loop"
awk -v r="$rms" 'BEGIN { exit !(r > 0.05) }' || fail "the session take is silent (RMS ${rms})"
status=0
exit 0
