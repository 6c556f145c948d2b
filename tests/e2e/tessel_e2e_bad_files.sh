#!/usr/bin/env bash
# tessel_e2e_bad_files.sh PROGRAM BMP_PROBE XDND_DROP
# Files that cannot be played, named on the command line and dropped on the window,
# each show the red "CAN'T PLAY THAT" toast (seen in the screenshot: pixels of the
# toast's red where the toast box sits), and the loop recorded before them is still
# there: exported afterwards it is as long as it was recorded, and not silent.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
. "$here/../../tools/jack-server.sh"

# toast_red SHOT -> the count of the failure toast's red pixels in the screenshot. The
# library panel is open (600 units left of the main view), which places the main view.
toast_red() {
  local out w h
  read -r w h < <("$PROBE" "$1" | head -1)
  # The toast box: 30 units high from y = 452, centred on x = 320 of the main view.
  out=$(awk -v W="$w" -v H="$h" 'BEGIN { f = 1240; s = W / f < H / 1080 ? W / f : H / 1080;
    ox = (W - s * f) / 2 + 600 * s; oy = (H - 1080 * s) / 2;
    printf "%d %d %d %d", ox + 150 * s, oy + 440 * s, 340 * s, 54 * s }')
  "$PROBE" "$1" --count 235 66 77 40 $out | tail -1
}
toast_in() { [ "$(toast_red "$1")" -ge 150 ]; }
toast_out() { [ "$(toast_red "$1")" -lt 150 ]; }
# toast_seen -> 0 (printing its red pixels) once a screenshot shows the failure toast.
toast_seen() {
  local ok=0
  e2e_shot_until "$T/shot.bmp" toast_in || ok=1
  [ -s "$T/shot.bmp" ] && toast_red "$T/shot.bmp" || echo 0
  return $ok
}
# toast_gone -> 0 once a screenshot shows the toast gone (so that the next is a new one).
toast_gone() { e2e_shot_until "$T/shot.bmp" toast_out; }

if [ "${1:-}" = --session ]; then
  cd "$T"
  "$BIN" "$T/bad/random.wav" >/dev/null 2>"$T/app.log" &
  apid=$!
  echo "$apid" >"$T/app.pid"
  wid=$(e2e_window "$apid") || { echo "no window" >"$T/fail"; kill -KILL "$apid"; exit 1; }
  n=$(toast_seen) || { echo "no toast for random bytes named on the command line ($n red pixels)" >"$T/fail"; exit 1; }
  echo "tessel_e2e_bad_files: first argument random.wav: toast ($n red pixels)"

  e2e_tone_connect >"$T/fail" || exit 1
  rm -f "$T/fail"
  e2e_record_loop "$wid" 1.0 "$T/gap" || { echo "no frame while the loop was recorded" >"$T/fail"; exit 1; }
  # The loop is closed and overdubbed; a third press ends the overdub.
  sleep 0.5
  xdotool key r
  toast_gone || { echo "the first toast never went" >"$T/fail"; exit 1; }

  for f in "$T"/bad/*; do
    name=$(basename "$f")
    "$DROP" "$wid" 300 500 "$f" || { echo "$name: the drop was not taken" >"$T/fail"; exit 1; }
    n=$(toast_seen) || { echo "$name: no failure toast ($n red pixels)" >"$T/fail"; cp "$T/shot.bmp" "$T/fail.bmp"; exit 1; }
    echo "tessel_e2e_bad_files: dropped $name: toast ($n red pixels)"
    toast_gone || { echo "$name: the toast never went" >"$T/fail"; exit 1; }
  done

  timeout 10 xdotool windowfocus --sync "$wid"
  xdotool key e
  e2e_poll "$E2E_WAIT" sh -c "ls $HOME/Music/tessel/tessel-loop-*.wav >/dev/null 2>&1 &&
    ! ls $HOME/Music/tessel/*.tmp.* >/dev/null 2>&1" || { echo "no export in place" >"$T/fail"; exit 1; }
  e2e_shot "$T/last.bmp"
  e2e_term "$apid" >"$T/term"
  exit 0
fi

BIN=$1 PROBE=$2 DROP=$3
e2e_need jackd jack_wait jack_simple_client jack_connect jack_lsp xvfb-run xdotool sox

e2e_scratch tessel-bad
export BIN PROBE DROP
mkdir -p "$T/bad"
fail() { echo "tessel_e2e_bad_files: $*" >&2; exit 1; }

# wav_header CHANNELS RATE BITS DATA_BYTES -> a 44-byte PCM header on stdout.
wav_header() {
  local ch=$1 rate=$2 bits=$3 size=$4 align=$(($1 * $3 / 8))
  le() { local v=$1 n=$2 i; for ((i = 0; i < n; i++)); do printf "\\x$(printf %02x $(((v >> (8 * i)) & 255)))"; done; }
  printf 'RIFF'; le $(((size + 36) & 0xFFFFFFFF)) 4; printf 'WAVEfmt '; le 16 4; le 1 2; le "$ch" 2
  le "$rate" 4; le $((rate * align)) 4; le "$align" 2; le "$bits" 2; printf 'data'; le "$size" 4
}
B=$T/bad
mkdir "$B/folder.wav"
mkfifo "$B/fifo.wav"
printf 'not audio\n' >"$B/notes.txt"
: >"$B/empty.wav"
# Cut inside its format chunk. (A file cut inside its samples plays what it holds.)
wav_header 2 48000 16 1048576 | head -c 30 >"$B/cut.wav"
head -c 65536 /dev/urandom >"$B/random.wav"
head -c 65536 /dev/urandom >"$B/random.mp3"
# Four gigabytes of samples promised, less than one frame there.
{ wav_header 2 48000 16 4294967280; printf 'ab'; } >"$B/huge.wav"
{ wav_header 0 48000 16 4000; head -c 4000 /dev/urandom; } >"$B/no-channels.wav"
{ wav_header 2 48000 4 4000; head -c 4000 /dev/urandom; } >"$B/four-bit.wav"
# Named, never made.
ln -s "$B/nothing-here.wav" "$B/missing.wav"

e2e_tone_start "$T/jackd.log" || fail "no tone on a JACK server"

xvfb-run -a -s "-screen 0 1280x1100x24 -nolisten tcp -noreset" "$0" --session
[ -e "$T/fail" ] && fail "$(cat "$T/fail")"
read -r rc secs <"$T/term" || fail "no exit status"
[ "$rc" = 0 ] || fail "exit status $rc after SIGTERM (${secs} s)"

# The loop recorded before the bad files, exported after them.
shopt -s nullglob
e2e_loop_file_ok "exported loop" "$HOME"/Music/tessel/tessel-loop-*.wav || fail "the loop did not survive"
E2E_STATUS=0
exit 0
