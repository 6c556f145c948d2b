#!/usr/bin/env bash
# tessel_e2e_jack_input.sh PROGRAM - each device chosen in the settings' INPUT row (JACK
# dummy server with jack_simple_client, and jack_metro started only after the stream
# opened) puts tessel:in_* on exactly its ports; system chosen again keeps a connection
# made by hand; outputs stay put.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
. "$here/../../tools/jack-server.sh"

# The connections of every tessel:in_* port, one "port: peer peer" line each.
inputs() {
  timeout 10 jack_lsp -c >"$T/lsp" 2>/dev/null || return 1
  for p in $(grep "^tessel:in_" "$T/lsp"); do echo "$p:" $(e2e_connections "$p" "$T/lsp" | sort); done
}
inputs_are() { [ "$(inputs)" = "$1" ]; }
streams() { grep -c "^engine: JACK stream" "$T/app.log"; }
streams_above() { [ "$(streams)" -gt "$1" ]; }
session_fail() { echo "$*" >"$T/fail"; kill -KILL "$apid" 2>/dev/null; exit 1; }

# choose K EXPECTED -> entry K of the INPUT row's list (at 640 x 1080): a new stream
# whose inputs read EXPECTED.
choose() {
  local n=$(streams)
  e2e_click "$wid" 320 352 && e2e_settle && e2e_click "$wid" 320 $((393 + 38 * $1))
  e2e_poll "$E2E_WAIT" streams_above "$n" || session_fail "choosing entry $1 opened no stream"
  e2e_poll "$E2E_WAIT" inputs_are "$2" || session_fail "after entry $1 the inputs read: $(inputs | tr '\n' ';')"
}

if [ "${1:-}" = --session ]; then
  cd "$T"
  e2e_program_start || session_fail "no window"
  e2e_jack_port tessel:in_1 || session_fail "no tessel ports"
  timeout 10 xdotool windowsize --sync "$wid" 640 1080 windowfocus --sync "$wid"
  e2e_sync && xdotool key ctrl+comma && e2e_settle || session_fail "no frames after ctrl+comma"
  choose 1 $'tessel:in_0: jack_simple_client:output1\ntessel:in_1: jack_simple_client:output2'
  # A client that comes after the stream opened is in the list the next time it opens.
  jack_metro -b 120 >/dev/null 2>&1 &
  echo $! >"$T/metro.pid"
  e2e_jack_port metro:120_bpm 20 || session_fail "no jack_metro on the server"
  choose 2 "tessel:in_0: metro:120_bpm"
  choose 0 $'tessel:in_0: system:capture_1\ntessel:in_1: system:capture_2'
  timeout 10 jack_connect jack_simple_client:output1 tessel:in_1 || session_fail "the hand-made connection failed"
  choose 0 $'tessel:in_0: system:capture_1\ntessel:in_1: jack_simple_client:output1 system:capture_2'
  timeout 10 jack_lsp -c >"$T/last"
  e2e_term "$apid" >"$T/term"
  exit 0
fi

BIN=$1
e2e_need jackd jack_wait jack_simple_client jack_metro jack_connect jack_lsp xvfb-run xdotool
e2e_private_home tessel-jack-input
export BIN
JACK_SERVER_PID= spid= status=1
trap '[ -s "$T/metro.pid" ] && kill -TERM "$(cat "$T/metro.pid")" 2>/dev/null; e2e_finish_common; rm -rf "$T"' EXIT
fail() { echo "tessel_e2e_jack_input: $*" >&2; exit 1; }

e2e_jack_tone 48000 1024 || fail "no JACK server with a tone"
xvfb-run -a -s "-screen 0 1280x1100x24 -nolisten tcp -noreset" "$0" --session
[ -e "$T/fail" ] && fail "$(cat "$T/fail")"
read -r rc secs <"$T/term" || fail "no exit status"
[ "$rc" = 0 ] || fail "exit status $rc after SIGTERM (${secs} s)"
outs="$(e2e_connections tessel:out_0 "$T/last");$(e2e_connections tessel:out_1 "$T/last")"
[ "$outs" = "system:playback_1;system:playback_2" ] || fail "the outputs are on ${outs//$'\n'/ }"
status=0
