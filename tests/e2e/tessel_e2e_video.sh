#!/usr/bin/env bash
# tessel_e2e_video.sh PROGRAM BMP_PROBE FIXTURE_DIR
# The video panel as a user meets it: Tessel started with a 4-second H.264 video on a
# private X server, a tone from jack_simple_client on its first inputs, the window at
# 1160 x 1080 (one unit per pixel with the panel open). A loop is recorded (r, about a
# second, r); screenshots of it playing show two different frames of the file (each frame
# carries its number in a strip of 16 cells on top); the out handle, in the resize border
# at 580 x 560, dragged to mid-track keeps the size and halves the loop to 2 s, exported at that
# length; the remove button, then SIGTERM: exit 0 and no "vidpath" in tessel.ini.
# Started with an audio-only .mp4 the panel says "CAN'T PLAY THAT" and the program
# runs on.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
. "$here/../../tools/jack-server.sh"

shot() {  # shot NAME -> the program's next screenshot copied to $T/NAME.bmp
  e2e_shot "$T/$1.bmp" || { echo "no screenshot $1" >"$T/fail"; return 1; }
}
# frame_of SHOT -> the frame number in the strip of the 640 x 360 picture fitted into
# the panel (500 x 281.25 at (650, 366.875), cells 31.25 units), or "none".
frame_of() {
  local args=() i
  for i in $(seq 0 15); do
    args+=("$(awk -v i="$i" 'BEGIN { printf "%d", 650 + (i + 0.5) * 31.25 }')" 382)
  done
  "$PROBE" "$T/$1.bmp" "${args[@]}" | awk 'NR == 1 { next }
    { m = ($1 + $2 + $3) / 3; if (m > 170) n += 2 ^ (NR - 2); else if (m > 85) bad = 1 }
    END { if (bad) print "none"; else print n + 0 }'
}
# another_frame -> 0 once playing2 shows a frame of the file other than playing1's.
another_frame() {
  local a b
  shot playing2 || return 1
  a=$(frame_of playing1) b=$(frame_of playing2)
  [[ $a =~ ^[0-9]+$ && $b =~ ^[0-9]+$ && $a != "$b" ]]
}
# red_words SHOT -> pixels of "CAN'T PLAY THAT" red across the picture area's middle.
red_words() {
  local points=() x y
  for x in $(seq 780 4 1020); do
    for y in 500 503 506; do points+=("$x" "$y"); done
  done
  "$PROBE" "$T/$1.bmp" "${points[@]}" |
    awk 'NR > 1 && ($1 - 235) ^ 2 + ($2 - 66) ^ 2 + ($3 - 77) ^ 2 < 30 { n++ } END { print n + 0 }'
}
failed_shown() { shot failed && [ "$(red_words failed)" -gt 5 ]; }
# panel_open -> 0 once the program has opened the video panel (its toggle saves the
# settings with vidopen=1).
panel_open() { grep -q "^vidopen=1" "$XDG_CONFIG_HOME/TideCoil/tessel.ini" 2>/dev/null; }
# at_1160 -> the panel opened and its slide over, the window made 1160 x 1080 and taken.
at_1160() {
  e2e_poll "$E2E_WAIT" panel_open || { echo "the video panel did not open" >"$T/fail"; return 1; }
  e2e_settle || { echo "no frame" >"$T/fail"; return 1; }
  xdotool windowsize --sync "$wid" 1160 1080
  e2e_settle || { echo "no frame at 1160 x 1080" >"$T/fail"; return 1; }
}
exported() { ls "$HOME"/Music/tessel/tessel-loop-*.wav >/dev/null 2>&1 && ! ls "$HOME"/Music/tessel/*.tmp.* >/dev/null 2>&1; }

if [ "${1:-}" = --session ]; then
  cd "$T"
  e2e_tone_program "$FX/h264.mp4"
  timeout 10 xdotool windowfocus --sync "$wid"
  at_1160 || exit 1
  xdotool key r
  e2e_sync
  sleep 1.0
  xdotool key r
  e2e_sync
  # Two pictures of the playing loop: the second once it shows another frame.
  shot playing1 || exit 1
  e2e_poll "$E2E_WAIT" another_frame || { echo "the panel shows no frame but $(frame_of playing1)" >"$T/fail"; exit 1; }
  # At 580 x 560 the out handle (the track's end) lies in the resize border: dragged to mid-track.
  xdotool windowsize --sync "$wid" 580 560
  e2e_settle || { echo "no frame at 580 x 560" >"$T/fail"; exit 1; }
  xdotool mousemove --window "$wid" 575 507 mousedown 1
  e2e_sync
  xdotool mousemove --window "$wid" 500 507
  e2e_sync
  xdotool mousemove --window "$wid" 450 507
  e2e_sync
  xdotool mouseup 1
  e2e_settle
  [ "$(e2e_geometry "$wid" | cut -d' ' -f3-)" = "580 560" ] || { echo "the drag on the out handle resized the window" >"$T/fail"; exit 1; }
  xdotool windowsize --sync "$wid" 1160 1080
  e2e_settle || { echo "no frame at 1160 x 1080" >"$T/fail"; exit 1; }
  shot trimmed || exit 1
  cp "$XDG_CONFIG_HOME/TideCoil/tessel.ini" "$T/trimmed.ini" 2>/dev/null
  xdotool key e
  e2e_poll "$E2E_WAIT" exported || { echo "no export in place" >"$T/fail"; exit 1; }
  xdotool mousemove --window "$wid" 756 30 click 1
  e2e_settle
  shot removed || exit 1
  e2e_term "$apid" >"$T/term"
  cp "$XDG_CONFIG_HOME/TideCoil/tessel.ini" "$T/removed.ini" 2>/dev/null

  "$BIN" "$FX/audio_only.mp4" >"$T/app2.out" 2>"$T/app2.log" &
  apid=$!
  echo "$apid" >"$T/app.pid"
  wid=$(e2e_window "$apid") || { echo "no second window" >"$T/fail"; kill -KILL "$apid"; exit 1; }
  # Sized once the program has widened its window for the panel.
  at_1160 || exit 1
  e2e_poll "$E2E_WAIT" failed_shown
  kill -0 "$apid" 2>/dev/null && echo alive >"$T/alive2"
  e2e_term "$apid" >"$T/term2"
  exit 0
fi

BIN=$1 PROBE=$2 FX=$3
e2e_need jackd jack_wait jack_simple_client jack_connect jack_lsp xvfb-run xdotool sox ffmpeg
"$here/../app/make_video_fixtures.sh" "$FX" >/dev/null || exit $?

T=$(mktemp -d "${TMPDIR:-/tmp}/tessel-e2e.XXXXXX")
export T BIN FX PROBE
export HOME=$T/home XDG_CONFIG_HOME=$T/home/.config TMPDIR=$T/scratch
unset APPDATA XDG_MUSIC_DIR
mkdir -p "$XDG_CONFIG_HOME" "$TMPDIR"
SHOTS=${TESSEL_E2E_SHOTS:-}

JACK_SERVER_PID=
spid=
status=1
finish() {
  e2e_finish_common
  [ -n "$SHOTS" ] && mkdir -p "$SHOTS" && cp "$T"/*.bmp "$SHOTS"/ 2>/dev/null
  if [ $status -ne 0 ]; then
    cat "$T/app2.log" >&2 2>/dev/null
    echo "--- jackd:" >&2
    tail -20 "$T/jackd.log" >&2
  fi
  rm -rf "$T"
}
trap finish EXIT
fail() { echo "tessel_e2e_video: $*" >&2; exit 1; }

e2e_tone_server "$T/jackd.log" >"$T/why" || fail "$(cat "$T/why")"
xvfb-run -a -s "-screen 0 1280x1100x24 -nolisten tcp -noreset" "$0" --session
[ -e "$T/fail" ] && fail "$(cat "$T/fail")"

f1=$(frame_of playing1) f2=$(frame_of playing2)
echo "tessel_e2e_video: frames on screen ${f1} then ${f2}"
awk -v a="$f1" -v b="$f2" 'BEGIN { exit !(a ~ /^[0-9]+$/ && b ~ /^[0-9]+$/ && a < 120 && b < 120 && a != b) }' ||
  fail "the panel does not show two different frames of the file (${f1}, ${f2})"

read -r rc secs <"$T/term" || fail "no exit status"
[ "$rc" = 0 ] || fail "exit status $rc after SIGTERM (${secs} s)"
[ -s "$T/removed.ini" ] || fail "no tessel.ini"
grep -q "^vidpath" "$T/removed.ini" && fail "tessel.ini still names the removed video"
out=$(sed -n 's/^vidout=//p' "$T/trimmed.ini")
awk -v o="$out" 'BEGIN { exit !(o > 2 - 1 / 30 && o < 2 + 1 / 30) }' || fail "the out point was saved at ${out:-nothing}, not 2 s"

shopt -s nullglob
files=("$HOME"/Music/tessel/tessel-loop-*.wav)
[ ${#files[@]} -eq 1 ] || fail "expected one exported loop, found ${#files[@]}"
len=$(sox --i -D "${files[0]}")
echo "tessel_e2e_video: the trimmed loop exports ${len} s"
awk -v l="$len" 'BEGIN { d = l - 2.0; exit !(d > -1024 / 48000 && d < 1024 / 48000) }' ||
  fail "the exported loop is ${len} s, not 2 s"

# "CAN'T PLAY THAT" in red across the picture area's middle, and the program alive.
[ -e "$T/alive2" ] || fail "the program ended with the audio-only file"
red=$(red_words failed)
echo "tessel_e2e_video: ${red} red text pixels with the audio-only file"
[ "$red" -gt 5 ] || fail "no CAN'T PLAY THAT"
read -r rc secs <"$T/term2" || fail "no second exit status"
[ "$rc" = 0 ] || fail "exit status $rc after SIGTERM with the audio-only file"
status=0
exit 0
