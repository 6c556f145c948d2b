#!/usr/bin/env bash
# tessel_e2e_pipewire.sh PROGRAM
# The program on a desktop's PipeWire: a private PipeWire and WirePlumber on a private
# D-Bus session bus and runtime folder, with a null sink ("tsink") and a null source
# ("tsource"), and jack_simple_client's tone (started before the program; 240 Hz on
# its left side) fed into the source.
# Through PipeWire's JACK layer (pw-jack): the program stays on JACK, its inputs are
# connected to the source's capture ports and to no monitor, the latency it shows is
# below 100 ms, its callback gets the chosen 128 frames, and r, r, e exports an
# unclipped loop of the tone at its frequency.
# Without pw-jack, through PipeWire's ALSA plug-in: the stream runs on ALSA and r, r,
# e exports a loop of the tone too.
# Exit 77 when a private PipeWire cannot be started here. Every process the test
# starts is stopped by its pid.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"

PW_CONF=/usr/share/alsa/alsa.conf.d
TONE_HZ=240

note() { echo "$*" >>"$T/notes"; }
session_fail() { echo "$*" >"$T/fail"; [ -n "${apid:-}" ] && kill -KILL "$apid" 2>/dev/null; exit 1; }
stream_line() { grep -m1 "^engine: $1 stream" "$T/app.log"; }
exports() { ls "$HOME"/Music/tessel/tessel-loop-*.wav 2>/dev/null | wc -l; }
exports_above() { [ "$(exports)" -gt "$1" ]; }
pwj() { timeout 10 pw-jack "$@"; }
pw_port() { pwj jack_lsp 2>/dev/null | grep -qx "$1"; }

# --session ROUTE: inside the X server, one run of the program (ROUTE jack or alsa).
if [ "${1:-}" = --session ]; then
  route=$2
  cd "$T"
  if [ "$route" = jack ]; then
    BIN_RUN="pw-jack $BIN"
  else
    BIN_RUN=$BIN
  fi
  $BIN_RUN >"$T/app.out" 2>"$T/app.log" &
  apid=$!
  echo "$apid" >>"$T/app.pids"
  wid=$(e2e_window "$apid") || session_fail "$route: no window"
  label=JACK
  [ "$route" = alsa ] && label=ALSA
  e2e_poll 20 stream_line $label >/dev/null || session_fail "$route: no $label stream: $(grep '^engine' "$T/app.log" | tr '\n' ' ')"
  if [ "$route" = jack ]; then
    e2e_poll 20 pw_port tessel:in_0 || session_fail "jack: no tessel ports"
    sleep 0.5
    pwj jack_lsp -c >"$T/patch"
    e2e_poll 10 grep -q "^engine: the callback gets" "$T/app.log" || session_fail "jack: no callback"
    # The graph switches to the asked size a few cycles after the request.
    sleep 0.5
  fi
  timeout 10 xdotool windowfocus --sync "$wid"
  sleep 0.3
  n=$(exports)
  xdotool key r
  sleep 1.0
  xdotool key r
  sleep 0.3
  xdotool key e
  e2e_poll 20 exports_above "$n" || session_fail "$route: no export"
  e2e_term_within "$apid" 3 >"$T/term-$route"
  grep "^engine\|^audio" "$T/app.log" | sed "s/^/$route: /" >>"$T/notes"
  exit 0
fi

# --pipewire: inside the private D-Bus session: the sound server, its nodes, the tone,
# then the two runs.
if [ "${1:-}" = --pipewire ]; then
  export XDG_RUNTIME_DIR=$T/run PIPEWIRE_RUNTIME_DIR=$T/run
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  unset PIPEWIRE_REMOTE PIPEWIRE_LATENCY JACK_DEFAULT_SERVER
  pipewire >"$T/pipewire.log" 2>&1 &
  echo $! >>"$T/pids"
  e2e_poll 10 test -S "$XDG_RUNTIME_DIR/pipewire-0" || { echo "pipewire did not start" >"$T/skip"; exit 0; }
  wireplumber >"$T/wireplumber.log" 2>&1 &
  echo $! >>"$T/pids"
  sleep 1
  pw-cli create-node adapter '{ factory.name=support.null-audio-sink node.name=tsink media.class=Audio/Sink
    object.linger=true audio.channels=2 audio.position="FL,FR" }' >/dev/null 2>&1
  pw-cli create-node adapter '{ factory.name=support.null-audio-sink node.name=tsource
    media.class=Audio/Source/Virtual object.linger=true audio.channels=2 audio.position="FL,FR" }' >/dev/null 2>&1
  e2e_poll 10 pw_port tsource:capture_FL || { echo "no null source on the private PipeWire" >"$T/skip"; exit 0; }
  e2e_poll 10 pw_port tsink:playback_FL || { echo "no null sink on the private PipeWire" >"$T/skip"; exit 0; }
  pw-jack jack_simple_client >/dev/null 2>&1 &
  echo $! >>"$T/pids"
  e2e_poll 10 pw_port jack_simple_client:output1 || { echo "no tone client" >"$T/fail"; exit 0; }
  pwj jack_connect jack_simple_client:output1 tsource:input_FL
  pwj jack_connect jack_simple_client:output2 tsource:input_FR
  for route in jack alsa; do
    xvfb-run -a -s "-screen 0 1280x1100x24 -nolisten tcp" "$0" --session $route
    [ -e "$T/fail" ] && exit 0
  done
  exit 0
fi

BIN=$1
e2e_need pipewire wireplumber pw-cli pw-jack dbus-run-session xvfb-run xdotool sox jack_simple_client \
  jack_connect jack_lsp
[ -e /usr/lib/x86_64-linux-gnu/alsa-lib/libasound_module_pcm_pipewire.so ] || [ -e "$PW_CONF/50-pipewire.conf" ] ||
  { echo "e2e: PipeWire's ALSA plug-in is not installed: skipped" >&2; exit 77; }
e2e_private_home tessel-pw
export BIN
# The ALSA route: PipeWire's plug-in as the default device, for this home only.
printf '<%s/50-pipewire.conf>\n<%s/99-pipewire-default.conf>\n' "$PW_CONF" "$PW_CONF" >"$HOME/.asoundrc"

status=1
finish() {
  local p
  for p in $(cat "$T/app.pids" 2>/dev/null); do kill -KILL "$p" 2>/dev/null; done
  # The tone, WirePlumber, then PipeWire: last started, first stopped.
  for p in $(tac "$T/pids" 2>/dev/null); do
    kill -TERM "$p" 2>/dev/null
    e2e_poll 5 e2e_gone "$p" || kill -KILL "$p" 2>/dev/null
  done
  if [ $status -ne 0 ] && [ $status -ne 77 ]; then
    echo "--- program's standard error:" >&2
    grep -v "^jack: " "$T/app.log" >&2 2>/dev/null
  fi
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

# JACK route: inputs on the source's capture ports only.
in0=$(awk '/^[^ \t]/ { on = ($0 == "tessel:in_0"); next } on { gsub(/^[ \t]+/, ""); print }' "$T/patch")
[ "$in0" = tsource:capture_FL ] || fail "tessel:in_0 is connected to: $in0"
grep -A3 "^tessel:in" "$T/patch" | grep -q monitor && fail "a tessel input is connected to a monitor"
line=$(grep -m1 "^jack: engine: JACK stream" "$T/notes")
latency=$(echo "$line" | sed -E 's/.*latency ([0-9.]+) ms.*/\1/')
awk -v l="$latency" 'BEGIN { exit !(l > 0 && l < 100) }' || fail "latency ${latency} ms"
grep -q "^jack: engine: the callback gets blocks of 128 frames" "$T/notes" || fail "the callback does not get 128 frames"

# Both routes: an unclipped loop of the tone at its frequency, and an orderly exit.
shopt -s nullglob
files=("$HOME"/Music/tessel/tessel-loop-*.wav)
[ ${#files[@]} -eq 2 ] || fail "expected two exports, found ${#files[@]}"
i=0
for route in jack alsa; do
  read -r rc secs <"$T/term-$route" || fail "$route: no exit status"
  [ "$rc" = 0 ] || fail "$route: exit status $rc after SIGTERM (${secs} s)"
  f=${files[$i]}
  i=$((i + 1))
  # The left channel: the tone's left side (its right side plays three times higher).
  read -r len rms peak < <(sox "$f" -n remix 1 stat 2>&1 | awk '/Length \(seconds\)/ { l = $3 }
    /RMS +amplitude/ { r = $3 } /Maximum amplitude/ { p = $3 } END { print l, r, p }')
  # The strongest line of its spectrum (bins of about 12 Hz).
  hz=$(sox "$f" -n remix 1 stat -freq 2>&1 |
    awk 'NF == 2 && $1 ~ /^[0-9.]+$/ && $1 > 0 { if ($2 > m) { m = $2; f = $1 } } END { printf "%.0f", f }')
  echo "tessel_e2e_pipewire: $route: $(basename "$f"): ${len} s, RMS ${rms}, peak ${peak}, ${hz} Hz"
  awk -v r="$rms" 'BEGIN { exit !(r > 0.05) }' || fail "$route: the loop is silent (RMS ${rms})"
  awk -v p="$peak" 'BEGIN { exit !(p < 0.95) }' || fail "$route: the loop clips (peak ${peak})"
  awk -v f="$hz" -v t=$TONE_HZ 'BEGIN { exit !(f > t - 15 && f < t + 15) }' ||
    fail "$route: the loop's frequency is ${hz} Hz, not ${TONE_HZ}"
done
status=0
exit 0
