#!/usr/bin/env bash
# tessel_e2e_jack_patch.sh PROGRAM
# A musician's JACK patch survives the program's stream restarts: on a private JACK
# dummy server, with the program running, jack_simple_client's output goes into
# tessel:in_0 in place of system:capture_1, and tessel:out_0 also feeds
# system:playback_2. Two clicks on the status line's buffer text and the x key
# restart the stream three times; `jack_lsp -c` then shows the same port names and
# exactly those connections.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
. "$here/../../tools/jack-server.sh"

BUFFER_X=420 STATUS_Y=950

streams() { grep -c "^engine: JACK stream" "$T/app.log"; }
streams_above() { [ "$(streams)" -gt "$1" ]; }
patch() { timeout 10 jack_lsp -c 2>/dev/null; }
# connections PORT FILE -> the ports PORT is connected to in a `jack_lsp -c` listing.
connections() { awk -v p="$1" '/^[^ \t]/ { on = ($0 == p); next } on { gsub(/^[ \t]+/, ""); print }' "$2"; }
session_fail() { echo "$*" >"$T/fail"; kill -KILL "$apid" 2>/dev/null; exit 1; }

if [ "${1:-}" = --session ]; then
  cd "$T"
  e2e_program_start || session_fail "no window"
  e2e_jack_port tessel:out_1 || session_fail "no tessel ports"
  patch >"$T/first"
  timeout 10 jack_connect jack_simple_client:output1 tessel:in_0 &&
    timeout 10 jack_disconnect system:capture_1 tessel:in_0 &&
    timeout 10 jack_connect tessel:out_0 system:playback_2 || session_fail "the user's patch could not be made"
  patch >"$T/before"
  # Each restart is one more stream line on the program's standard error.
  for step in click click key; do
    n=$(streams)
    if [ $step = click ]; then
      e2e_click "$wid" $BUFFER_X $STATUS_Y
    else
      timeout 10 xdotool windowfocus --sync "$wid"
      xdotool key x
    fi
    e2e_poll 20 streams_above "$n" || session_fail "no stream restart after the $step"
  done
  sleep 0.5
  patch >"$T/after"
  e2e_term_within "$apid" 3 >"$T/term"
  exit 0
fi

BIN=$1
e2e_need jackd jack_wait jack_simple_client jack_connect jack_disconnect jack_lsp xvfb-run xdotool
e2e_private_home tessel-patch
export BIN

JACK_SERVER_PID=
spid=
status=1
finish() {
  e2e_finish_common
  rm -rf "$T"
}
trap finish EXIT
fail() { echo "tessel_e2e_jack_patch: $*" >&2; exit 1; }

e2e_jack_tone 48000 1024 || fail "no JACK server with a tone"

xvfb-run -a -s "-screen 0 1280x1100x24 -nolisten tcp" "$0" --session
[ -e "$T/fail" ] && fail "$(cat "$T/fail")"
echo "tessel_e2e_jack_patch: $(grep -c '^engine: JACK stream' "$T/app.log") streams opened"

# The first stream went to the system's ports on its own.
[ "$(connections tessel:in_0 "$T/first")" = system:capture_1 ] || fail "the first stream was not connected to system:capture_1"
# The same names and exactly the user's connections after three restarts.
if ! diff "$T/before" "$T/after" >"$T/diff"; then
  cat "$T/diff" >&2
  fail "the patch changed across the restarts"
fi
in0=$(connections tessel:in_0 "$T/after")
[ "$in0" = jack_simple_client:output1 ] || fail "tessel:in_0 is connected to: $in0"
out0=$(connections tessel:out_0 "$T/after" | sort | tr '\n' ' ')
[ "$out0" = "system:playback_1 system:playback_2 " ] || fail "tessel:out_0 is connected to: $out0"
grep "^tessel:" "$T/after" | sed 's/^/tessel_e2e_jack_patch: port /'
read -r rc secs <"$T/term" || fail "no exit status"
[ "$rc" = 0 ] || fail "exit status $rc after SIGTERM (${secs} s)"
status=0
exit 0
