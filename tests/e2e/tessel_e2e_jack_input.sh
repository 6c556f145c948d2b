#!/usr/bin/env bash
# tessel_e2e_jack_input.sh PROGRAM - choosing the input in the settings list on a
# private JACK dummy server (2 capture ports) that also runs jack_simple_client (two
# tones) and jack_metro (one click port). With the window at 640 x 1080 (one unit,
# one pixel), Ctrl+, opens the list and the INPUT row its devices: system, then the
# two clients in the order they came.
#   jack_simple_client: tessel:in_0/in_1 on exactly output1/output2;
#   metro: tessel:in_0 on exactly metro:120_bpm;
#   system: the capture ports again, in order;
#   system once more, after a connection made by hand: the stream reopens and the
#   hand-made connection is still there, the outputs on the playback ports throughout.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
. "$here/../../tools/jack-server.sh"

INPUT_ROW_Y=352 ENTRY_Y0=393 ENTRY_H=38

# The connections of every tessel:in_* port, one "port: peer peer" line each.
inputs() {
  timeout 10 jack_lsp -c >"$T/lsp" 2>/dev/null || return 1
  local p
  for p in $(grep "^tessel:in_" "$T/lsp"); do
    # shellcheck disable=SC2046
    echo "$p:" $(e2e_connections "$p" "$T/lsp" | sort)
  done
}
inputs_are() { [ "$(inputs)" = "$1" ]; }
streams() { grep -c "^engine: JACK stream" "$T/app.log"; }
session_fail() { echo "$*" >"$T/fail"; kill -KILL "$apid" 2>/dev/null; exit 1; }

# choose K EXPECTED -> the device list's entry K; waits until the inputs read EXPECTED.
choose() {
  local n
  n=$(streams)
  xdotool mousemove --window "$wid" 320 $INPUT_ROW_Y click 1
  sleep 0.4
  xdotool mousemove --window "$wid" 320 $((ENTRY_Y0 + ENTRY_H * $1)) click 1
  e2e_poll 20 sh -c "[ \$(grep -c '^engine: JACK stream' '$T/app.log') -gt $n ]" ||
    session_fail "choosing entry $1 opened no stream"
  e2e_poll 20 inputs_are "$2" || session_fail "after entry $1 the inputs read: $(inputs | tr '\n' ';')"
  echo "entry $1: $(inputs | tr '\n' ';')" >>"$T/notes"
}

if [ "${1:-}" = --session ]; then
  cd "$T"
  e2e_program_start || session_fail "no window"
  e2e_jack_port tessel:in_1 || session_fail "no tessel ports"
  timeout 10 xdotool windowsize --sync "$wid" 640 1080
  timeout 10 xdotool windowfocus --sync "$wid"
  sleep 0.5
  sys=$'tessel:in_0: system:capture_1\ntessel:in_1: system:capture_2'
  e2e_poll 20 inputs_are "$sys" || session_fail "the first stream's inputs read: $(inputs | tr '\n' ';')"
  xdotool key ctrl+comma
  sleep 0.5
  choose 1 $'tessel:in_0: jack_simple_client:output1\ntessel:in_1: jack_simple_client:output2'
  choose 2 "tessel:in_0: metro:120_bpm"
  choose 0 "$sys"
  timeout 10 jack_connect jack_simple_client:output1 tessel:in_1 || session_fail "the hand-made connection failed"
  choose 0 $'tessel:in_0: system:capture_1\ntessel:in_1: jack_simple_client:output1 system:capture_2'
  timeout 10 jack_lsp -c >"$T/last"
  e2e_term "$apid" 3 >"$T/term"
  exit 0
fi

BIN=$1
e2e_need jackd jack_wait jack_simple_client jack_metro jack_connect jack_lsp xvfb-run xdotool
e2e_private_home tessel-jack-input
export BIN
JACK_SERVER_PID= spid=
status=1
finish() {
  [ -n "${mpid:-}" ] && kill -TERM "$mpid" 2>/dev/null
  e2e_finish_common
  rm -rf "$T"
}
trap finish EXIT
fail() { echo "tessel_e2e_jack_input: $*" >&2; exit 1; }

e2e_jack_tone 48000 1024 || fail "no JACK server with a tone"
jack_metro -b 120 >/dev/null 2>&1 &
mpid=$!
e2e_jack_port metro:120_bpm 20 || fail "no jack_metro on the server"
xvfb-run -a -s "-screen 0 1280x1100x24 -nolisten tcp" "$0" --session
[ -e "$T/notes" ] && sed "s/^/tessel_e2e_jack_input: /" "$T/notes"
[ -e "$T/fail" ] && fail "$(cat "$T/fail")"
read -r rc secs <"$T/term" || fail "no exit status"
[ "$rc" = 0 ] || fail "exit status $rc after SIGTERM (${secs} s)"
for k in 0 1; do
  [ "$(e2e_connections tessel:out_$k "$T/last")" = "system:playback_$((k + 1))" ] ||
    fail "tessel:out_$k is on $(e2e_connections tessel:out_$k "$T/last" | tr '\n' ' ')"
done
status=0
exit 0
