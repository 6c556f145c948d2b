#!/usr/bin/env bash
# tessel_e2e_takeview.sh PROGRAM DROP_TARGET BMP_PROBE
# The beat grid as a user reaches it: on a private X server and JACK dummy server at
# 48 kHz, the tempo row switched on, a click track (c97: 0.30 s of silence, two
# clicks, eight accented bars at 96.9992 BPM) named on the command line.
#  - the loop panel while analysing and with its grid (pictures kept with
#    TESSEL_E2E_KEEP=DIR);
#  - 2 bars chosen, the first full bar dragged onto the loop display, e: the exported
#    loop holds 237,528 frames within 0.1 %;
#  - on FILES, a cell of the take view's tempo row dragged onto an SDL2 drop target:
#    the file it receives lies in ~/Music/TideCoil/Loops and its frames are a run of
#    the take's own.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
. "$here/../../tools/jack-server.sh"

if [ "${1:-}" = --session ]; then
  cd "$T"
  stop() { echo "$1" >"$T/fail"; kill -KILL "$(cat "$T/app.pid")" 2>/dev/null; exit 1; }
  geom() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    S=$(awk -v w="$WIDTH" -v h="$HEIGHT" 'BEGIN { s = w / 1240; if (h / 1080 < s) s = h / 1080; print s }')
    OX=$(awk -v w="$WIDTH" -v s="$S" -v x="$X" 'BEGIN { print x + (w - 1240 * s) / 2 }')
    OY=$(awk -v h="$HEIGHT" -v s="$S" -v y="$Y" 'BEGIN { print y + (h - 1080 * s) / 2 }')
  }
  # Screen pixels of layout units (the library panel open: x from -600).
  px() { awk -v u="$1" -v s="$S" -v o="$OX" 'BEGIN { printf "%d", (u + 600) * s + o }'; }
  py() { awk -v u="$1" -v s="$S" -v o="$OY" 'BEGIN { printf "%d", u * s + o }'; }
  at() { xdotool mousemove "$(px "$1")" "$(py "$2")"; }
  # A press at one place, a drag in steps to the screen point, a release.
  drag_to() {
    at "$1" "$2"; sleep 0.3
    xdotool mousedown 1; sleep 0.3
    at "$(awk -v u="$1" 'BEGIN { print u + 12 }')" "$2"; sleep 0.3
    xdotool mousemove "$(($3 - 30))" "$(($4 - 30))"; sleep 0.3
    xdotool mousemove "$3" "$4"; sleep 0.6
    xdotool mouseup 1; sleep 0.5
  }
  # analysed -> 0 once the loop panel's status line (at (-582, 996), the library open)
  # no longer reads FINDING TEMPO... in teal: the tempo is found, the grid drawn.
  analysed() {
    local x y w h
    e2e_shot "$T/grid.bmp" || return 1
    x=$(($(px -584) - X)) y=$(($(py 990) - Y))
    w=$(awk -v s="$S" 'BEGIN { printf "%d", 200 * s }') h=$(awk -v s="$S" 'BEGIN { printf "%d", 16 * s }')
    [ "$("$PROBE" "$T/grid.bmp" --count 107 230 224 40 "$x" "$y" "$w" "$h" | tail -1)" -lt 5 ]
  }
  TESSEL_TEMPO_ROW=1 e2e_program_start "$HOME/Music/c97.wav" || stop "no window"
  xdotool windowraise "$wid"
  timeout 10 xdotool windowfocus --sync "$wid"
  # The analysis takes a few hundred frames: the first picture comes while it runs.
  e2e_shot "$T/analysing.bmp" || stop "no early picture"
  e2e_settle || stop "no frames"
  geom "$wid"
  e2e_poll "$E2E_WAIT" analysed || stop "the loop panel never found the tempo"
  # 2 bars (the second bars-per-loop button), then the first full bar: its 0.294 s
  # lead is 8 units wide at 26.6 units a second, the bar 132 units from there.
  at -258 1000; xdotool click 1; e2e_settle
  drag_to -510 1036 "$(px 300)" "$(py 240)"
  e2e_settle
  e2e_shot "$T/two-bars.bmp" || stop "no picture after the drop"
  xdotool key e
  e2e_poll "$E2E_WAIT" sh -c 'ls "$HOME"/.config/*/takes/tessel-loop-*.wav >/dev/null 2>&1 || \
                     find "$HOME" -name "tessel-loop-*.wav" | grep -q .' || stop "no exported loop"
  sleep 0.5
  find "$HOME" -name 'tessel-loop-*.wav' >"$T/exported"

  # FILES: the take view with its tempo row at the foot of the library view.
  at -155 68; xdotool click 1; e2e_settle
  e2e_shot "$T/files.bmp" || stop "no picture of FILES"
  "$DROP" 1900 100 >"$T/target.out" 2>"$T/target.log" &
  echo $! >"$T/target.pid"
  e2e_poll "$E2E_WAIT" grep -q ready "$T/target.out" || stop "no drop target"
  sleep 0.5
  # Segment 1 of the row (4 bars of 9.9 s, after the 0.294 s lead) at 26.07 units a second.
  drag_to -441 953 2050 250
  e2e_poll "$E2E_WAIT" grep -q '^drop ' "$T/target.out" || stop "the drop target received nothing"
  e2e_shot "$T/after-drag.bmp" || stop "no picture after the drag"
  kill "$(cat "$T/target.pid")" 2>/dev/null
  exit 0
fi

BIN=$1 DROP=$2 PROBE=$3
e2e_need jackd xvfb-run xdotool sox python3
e2e_private_home tessel-e2e-takeview
export BIN DROP PROBE
mkdir -p "$HOME/Music"
M=$HOME/Music
pad=$(awk 'BEGIN { printf "%.6f", 29691 / 48000 - 0.02 }')
sox -n -r 48000 -c 2 -b 16 "$M/lo.wav" synth 0.02 sine 1000 vol 0.5 fade 0 0.02 0.015 pad 0 "$pad"
sox -n -r 48000 -c 2 -b 16 "$M/hi.wav" synth 0.02 sine 1500 vol 0.7 fade 0 0.02 0.015 pad 0 "$pad"
sox -n -r 48000 -c 2 -b 16 "$M/sil.wav" trim 0 0.30
parts="$M/sil.wav $M/lo.wav $M/lo.wav"
for _ in 1 2 3 4 5 6 7 8; do parts="$parts $M/hi.wav $M/lo.wav $M/lo.wav $M/lo.wav"; done
# shellcheck disable=SC2086
sox $parts "$M/c97.wav"
rm -f "$M/lo.wav" "$M/hi.wav" "$M/sil.wav"

status=1
finish() { e2e_session_end "$T/app.pid" "$T/target.pid"; }
trap finish EXIT
fail() { echo "tessel_e2e_takeview: $*" >&2; exit 1; }

e2e_session_run "$0" || fail "$(cat "$T/fail")"

# The loop export of the two dragged bars.
[ "$(wc -l <"$T/exported")" -eq 1 ] || fail "expected one exported loop: $(cat "$T/exported")"
frames=$(sox --i -s "$(cat "$T/exported")")
echo "tessel_e2e_takeview: 2 bars sent to the loop and exported: $frames frames (237528 true)"
awk -v f="$frames" 'BEGIN { d = f - 237528; if (d < 0) d = -d; exit !(d <= 237.528) }' ||
  fail "the exported loop has $frames frames"

# The dragged cell: a file of the loops folder whose frames are a run of the take's.
path=$(sed -n 's/^drop //p' "$T/target.out" | head -1)
echo "tessel_e2e_takeview: dropped $path"
case "$path" in "$HOME/Music/TideCoil/Loops/"*) ;; *) fail "the dropped file is not in the loops folder" ;; esac
sox "$M/c97.wav" -t f32 "$T/take.f32"
sox "$path" -t f32 "$T/cell.f32"
python3 - "$T/take.f32" "$T/cell.f32" <<'PY' || fail "the dropped file's frames are not the take's"
import sys
take = open(sys.argv[1], 'rb').read()
cell = open(sys.argv[2], 'rb').read()
i = take.find(cell)
if len(cell) < 8 * 48000 or i < 0 or i % 8:
    sys.exit(1)
print("tessel_e2e_takeview: %d frames, the take's from frame %d" % (len(cell) // 8, i // 8))
PY
status=0
