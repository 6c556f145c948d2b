#!/usr/bin/env bash
# tessel_e2e_pipewire.sh PROGRAM - the program on a private PipeWire and WirePlumber
# (private D-Bus bus and runtime folder) with a null sink and a null source fed by
# jack_simple_client's tone (240 Hz on its left side), started first. Under pw-jack:
# it stays on JACK, its inputs are on the source's capture ports and no monitor, its
# latency reads below 100 ms, its callback gets the chosen 128 frames (a buffer click: 256,
# same stream), and r, r, e exports an unclipped loop. Without pw-jack the same through PipeWire's
# ALSA plug-in. Exit 77 when no private PipeWire starts; every process stopped by pid.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"

PW_CONF=/usr/share/alsa/alsa.conf.d
TONE_HZ=240

session_fail() { echo "$*" >"$T/fail"; [ -n "${apid:-}" ] && kill -KILL "$apid" 2>/dev/null; exit 1; }
skip() { echo "$*" >"$T/skip"; exit 0; }
exports() { ls "$HOME"/Music/tessel/tessel-loop-*.wav 2>/dev/null | wc -l; }
exports_above() { [ "$(exports)" -gt "$1" ]; }
pwj() { timeout 10 pw-jack "$@"; }
blocks_seen() { [ "$(grep -c "^engine: the callback gets blocks of $1" "$T/app.log")" -ge "$2" ]; }
pw_port() { pwj jack_lsp 2>/dev/null | grep -qx "$1"; }

# --session ROUTE: inside the X server, one run of the program (jack: with pw-jack's
# JACK library).
if [ "${1:-}" = --session ]; then
  route=$2 label=ALSA
  [ "$route" = jack ] && label=JACK && export LD_LIBRARY_PATH=$(pw-jack sh -c 'echo "$LD_LIBRARY_PATH"')
  cd "$T"
  e2e_program_start || session_fail "$route: no window"
  e2e_poll "$E2E_WAIT" grep -q "^engine: $label stream" "$T/app.log" || session_fail "$route: no $label stream"
  e2e_poll "$E2E_WAIT" grep -q "^engine: the callback gets" "$T/app.log" || session_fail "$route: no callback"
  [ "$route" = jack ] && pwj jack_lsp -c >"$T/patch"
  timeout 10 xdotool windowfocus --sync "$wid"
  sleep 0.3
  n=$(exports)
  xdotool key r && sleep 1.0 && xdotool key r && sleep 0.3 && xdotool key e
  e2e_poll "$E2E_WAIT" exports_above "$n" || session_fail "$route: no export"
  if [ "$route" = jack ]; then
    # The status line's buffer text: 256 on the same stream; a right click goes back to 128.
    e2e_click "$wid" 420 950
    e2e_poll "$E2E_WAIT" blocks_seen 256 1 || session_fail "jack: the buffer click did not bring blocks of 256 frames"
    [ "$(grep -c "^engine: JACK stream" "$T/app.log")" = 1 ] || session_fail "jack: the buffer click reopened the stream"
    e2e_click "$wid" 420 950 3
    e2e_poll "$E2E_WAIT" blocks_seen 128 2 || session_fail "jack: the right click did not bring blocks of 128 frames back"
  fi
  e2e_term "$apid" >"$T/term-$route"
  grep "^engine\|^audio" "$T/app.log" | sed "s/^/$route: /" >>"$T/notes"
  exit 0
fi

# --pipewire: inside the private D-Bus session: the server, its nodes, the tone, the runs.
if [ "${1:-}" = --pipewire ]; then
  export XDG_RUNTIME_DIR=$T/run PIPEWIRE_RUNTIME_DIR=$T/run
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  unset PIPEWIRE_REMOTE PIPEWIRE_LATENCY JACK_DEFAULT_SERVER
  pipewire >"$T/pipewire.log" 2>&1 &
  echo $! >>"$T/pids"
  e2e_poll "$E2E_WAIT" test -S "$XDG_RUNTIME_DIR/pipewire-0" || skip "pipewire did not start"
  wireplumber >"$T/wireplumber.log" 2>&1 &
  echo $! >>"$T/pids"
  for node in "tsink media.class=Audio/Sink" "tsource media.class=Audio/Source/Virtual"; do
    pw-cli create-node adapter "{ factory.name=support.null-audio-sink node.name=$node object.linger=true
      audio.channels=2 audio.position=\"FL,FR\" }" >/dev/null 2>&1
  done
  e2e_poll "$E2E_WAIT" pw_port tsource:capture_FL && e2e_poll 10 pw_port tsink:playback_FL || skip "no null nodes"
  pw-jack jack_simple_client >/dev/null 2>&1 &
  echo $! >>"$T/pids"
  e2e_poll "$E2E_WAIT" pw_port jack_simple_client:output1 || session_fail "no tone client"
  # The tone on the source's left side only: on JACK the rig takes the two inputs as
  # two mono inputs in the middle, so a second tone would sound on the left as well.
  pwj jack_connect jack_simple_client:output1 tsource:input_FL
  for route in jack alsa; do
    xvfb-run -a -s "-screen 0 1280x1100x24 -nolisten tcp -noreset" "$0" --session $route || exit 0
  done
  exit 0
fi

BIN=$1
e2e_need pipewire wireplumber pw-cli pw-jack dbus-run-session xvfb-run xdotool sox jack_simple_client \
  jack_connect jack_lsp
[ -e "$PW_CONF/50-pipewire.conf" ] || { echo "e2e: PipeWire's ALSA plug-in is not installed: skipped" >&2; exit 77; }
e2e_private_home tessel-pw
export BIN
# The ALSA route: PipeWire's plug-in as the default device, for this home only.
printf '<%s/50-pipewire.conf>\n<%s/99-pipewire-default.conf>\n' "$PW_CONF" "$PW_CONF" >"$HOME/.asoundrc"
status=1
finish() {
  local p
  # The tone, WirePlumber, then PipeWire: last started, first stopped.
  for p in $(tac "$T/pids" 2>/dev/null); do
    kill -TERM "$p" 2>/dev/null
    e2e_poll 5 e2e_gone "$p" || kill -KILL "$p" 2>/dev/null
  done
  [ $status -eq 77 ] && status=0
  e2e_finish_common
  rm -rf "$T"
}
trap finish EXIT
fail() { echo "tessel_e2e_pipewire: $*" >&2; exit 1; }

dbus-run-session -- "$0" --pipewire 2>"$T/dbus.log"
[ -e "$T/notes" ] && sed 's/^/tessel_e2e_pipewire: /' "$T/notes"
if [ -e "$T/skip" ]; then
  echo "e2e: $(cat "$T/skip"): skipped" >&2
  status=77
  exit 77
fi
[ -e "$T/fail" ] && fail "$(cat "$T/fail")"

# JACK route: inputs on the source's capture ports only, latency, block size.
[ "$(e2e_connections tessel:in_0 "$T/patch")" = tsource:capture_FL ] || fail "tessel:in_0 is not on the source"
grep -A3 "^tessel:in" "$T/patch" | grep -q monitor && fail "a tessel input is connected to a monitor"
latency=$(grep -m1 "^jack: engine: JACK stream" "$T/notes" | sed -E 's/.*latency ([0-9.]+) ms.*/\1/')
awk -v l="$latency" 'BEGIN { exit !(l > 0 && l < 100) }' || fail "latency ${latency} ms"
grep -m1 "^jack: engine: the callback gets" "$T/notes" | grep -q " 128 frames" ||
  fail "the callback does not get the chosen 128 frames"

# Both routes: an orderly exit and an unclipped loop of the tone (its left side) at
# its frequency (the strongest line of the spectrum, in bins of about 12 Hz).
files=("$HOME"/Music/tessel/tessel-loop-*.wav)
[ ${#files[@]} -eq 2 ] || fail "expected two exports, found ${#files[@]}"
for route in jack alsa; do
  read -r rc secs <"$T/term-$route" || fail "$route: no exit status"
  [ "$rc" = 0 ] || fail "$route: exit status $rc after SIGTERM (${secs} s)"
  f=${files[0]} && files=("${files[@]:1}")
  read -r rms peak < <(sox "$f" -n remix 1 stat 2>&1 |
    awk '/RMS +amplitude/ { r = $3 } /Maximum amplitude/ { p = $3 } END { print r, p }')
  hz=$(sox "$f" -n remix 1 stat -freq 2>&1 |
    awk 'NF == 2 && $1 ~ /^[0-9.]+$/ && $1 > 0 { if ($2 > m) { m = $2; f = $1 } } END { printf "%.0f", f }')
  echo "tessel_e2e_pipewire: $route: $(basename "$f"): RMS ${rms}, peak ${peak}, ${hz} Hz"
  awk -v r="$rms" -v p="$peak" -v f="$hz" -v t=$TONE_HZ 'BEGIN { exit !(r > 0.05 && p < 0.95 && f > t - 15 && f < t + 15) }' ||
    fail "$route: not an unclipped loop of the ${TONE_HZ} Hz tone"
done
status=0
exit 0
