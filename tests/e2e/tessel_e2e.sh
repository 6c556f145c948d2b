#!/usr/bin/env bash
# tessel_e2e.sh PROGRAM BMP_PROBE SLOW_DISK
# The whole program as a musician uses it: a tone from jack_simple_client on a private
# JACK dummy server goes into Tessel's first inputs; on a private X server, r, about a
# second, r, then e export the loop. The takes folder under the XDG music folder then
# holds a 16-bit "tessel-loop-*.wav" as long as the time between the two presses and
# not silent; a screenshot through the request file shows the main view; SIGTERM ends
# the program with exit code 0.
# An export killed on a slow disk (SLOW_DISK) leaves no torn file; the next start removes
# its torn temporary and keeps a user's own "tessel-x.wav.tmp".
# After c, n starts a new session and a LOOPS row loads; a file longer than the loop
# holds, loaded from LOOPS and overdubbed, stays as it was beside a new session take.
# A later close waits for the take's write; a failed close leaves the window playing; e
# never changes the transport; d held through an export's wait is let go.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
. "$here/../../tools/jack-server.sh"

kill_during_export() {
  mv "$T/app.log" "$T/first.log"
  LD_PRELOAD=$SLOW SLOW_DISK_BYTES_PER_S=100000 ASAN_OPTIONS=$ASAN_OPTIONS:verify_asan_link_order=0 \
    e2e_program_start || { echo "no window on the slow disk" >"$T/fail"; return; }
  e2e_tone_connect >/dev/null
  e2e_record_loop "$wid" 1.0 "$T/gap2"
  sleep 0.5 && xdotool key e
  e2e_poll "$E2E_WAIT" sh -c "ls $HOME/Music/tessel/tessel-loop-*.wav.tmp.* >/dev/null 2>&1" || echo "no export being written" >"$T/fail"
  kill -KILL "$apid" && wait "$apid" 2>/dev/null
  echo mine >"$HOME/Music/tessel/tessel-x.wav.tmp"   # a user's own file, no temporary of ours
  e2e_program_start || { echo "no window after the kill" >"$T/fail"; return; }
  e2e_term "$apid" >/dev/null
  cp "$T/app.log" "$T/restart.log"   # what the start swept; the next run writes app.log anew
}

session_takes() { ls "$HOME"/Music/tessel/tessel-[0-9]*.wav 2>/dev/null | wc -l; }
exports() { ls "$HOME"/Music/tessel/tessel-loop-*.wav 2>/dev/null | wc -l; }
# take -> records a loop (r, 1 s, r), and r again ends the overdub that follows.
take() { e2e_record_loop "$wid" 1.0 "$T/gap3" && sleep 0.3 && xdotool key r; }
# click_loops_row -> opens LOOPS (listed anew) and loads its first row into the loop;
# the pointer then goes back over the main view, where the keys reach the transport.
click_loops_row() {
  e2e_geom "$wid"
  e2e_at "$wid" -450 68 && xdotool click 1 && e2e_settle
  e2e_at "$wid" -500 110 && xdotool click 1 && e2e_settle
  e2e_at "$wid" 320 700
}

# After c, n starts a new session (the next take has a name of its own) and a LOOPS
# row loads into the loop (e then exports it). The loop starts as the last session's
# take, which the settings name.
clear_then_replace() {
  local n0 x0
  n0=$(session_takes)
  fresh_program "clear" || return
  take
  e2e_poll "$E2E_WAIT" eval '[ "$(session_takes)" -gt "$n0" ]' || { echo "n after c began no new session" >"$T/fail"; return; }
  xdotool key c sleep 0.3 key l && e2e_settle
  click_loops_row
  x0=$(exports)
  xdotool key e
  e2e_poll "$E2E_WAIT" eval '[ "$(exports)" -gt "$x0" ]' || { echo "no LOOPS row loaded after c" >"$T/fail"; return; }
  cut_load_keeps_file
  e2e_term "$apid" >/dev/null
}

# A file longer than the loop holds, loaded from LOOPS and overdubbed: the file stays
# as it was and the loop is saved as a new session take.
cut_load_keeps_file() {
  local jam=$HOME/Music/tessel/jam7.wav sum n0
  sox -n -r 8000 -c 1 -b 16 "$jam" synth 361 sine 330 vol 0.3
  sum=$(md5sum <"$jam") n0=$(session_takes)
  click_loops_row
  e2e_shot "$T/cut.bmp" || { echo "no frame after the long load" >"$T/fail"; return; }
  xdotool keydown d sleep 0.5 keyup d
  e2e_poll "$E2E_WAIT" eval '[ "$(session_takes)" -gt "$n0" ] && ! ls "$HOME"/Music/tessel/*.tmp.* >/dev/null 2>&1' ||
    { echo "the overdubbed long load was saved as no new session take" >"$T/fail"; return; }
  [ "$(md5sum <"$jam")" = "$sum" ] || echo "the overdub of a cut load changed jam7.wav" >"$T/fail"
}

new_takes() { ls "$HOME"/Music/tessel/tessel-[0-9]*.wav 2>/dev/null | grep -vxF -f "$T/before"; }
no_temporary() { ! ls "$HOME"/Music/tessel/*.tmp.* >/dev/null 2>&1; }
# new_take_whole WHAT -> one session take since $T/before, whole (its header's data
# size fits the file), as long as the presses in $T/gap5 made it, and no temporary left.
new_take_whole() {
  local f size data len
  f=$(new_takes)
  [ "$(echo "$f" | grep -c .)" = 1 ] || { echo "$1: $(echo "$f" | grep -c .) new session takes" >"$T/fail"; return 1; }
  no_temporary || { echo "$1: a temporary file was left" >"$T/fail"; return 1; }
  size=$(stat -c %s "$f") data=$(od -An -tu4 -j42 -N4 "$f" | tr -d ' ')
  [ "$((data + 46))" = "$size" ] || { echo "$1: the take is torn: $size bytes, header data $data" >"$T/fail"; return 1; }
  len=$(e2e_wav_stats "$f" | cut -d' ' -f1)
  e2e_len_fits "$len" "$T/gap5" || { echo "$1: the take is ${len} s long, the presses taken $(cat "$T/gap5") s apart" >"$T/fail"; return 1; }
}

# fresh_program WHAT -> the program on the tone, its loop cleared and a new session
# begun (it starts on the last session's take); the session takes so far in $T/before.
fresh_program() {
  ls "$HOME"/Music/tessel/tessel-[0-9]*.wav >"$T/before" 2>/dev/null
  e2e_program_start || { echo "no window for the $1" >"$T/fail"; return 1; }
  e2e_tone_connect >/dev/null
  timeout 10 xdotool windowfocus --sync "$wid"
  xdotool key c sleep 0.3 key n sleep 0.3
}

# While overdubbing a first take, a double click on x (120 ms apart) and two SIGTERMs
# 0.1 s apart each end the program with the take whole.
two_closes() {
  local how
  for how in "double click" "two SIGTERMs"; do
    fresh_program "$how" || return
    e2e_record_loop "$wid" 1.0 "$T/gap5" && sleep 0.3
    if [ "$how" = "double click" ]; then
      # The x lies 23 pixels in from the window's right edge; the window is wider while
      # the library panel is open (restored from the last copy, which opened it). The
      # pointer comes from elsewhere (the last copy's x may be where this one's is, and
      # a pointer already there sends the new window no move) and each move waits for
      # the X server (--sync), so no press is taken before its move.
      read -r _ _ w _ < <(e2e_geometry "$wid") &&
        timeout 10 xdotool mousemove --sync --window "$wid" 300 300 &&
        timeout 10 xdotool mousemove --sync --window "$wid" $((w - 23)) 19 && e2e_sync &&
        xdotool click 1 && sleep 0.12 && xdotool click 1
    else
      kill -TERM "$apid" && sleep 0.1 && kill -TERM "$apid"
    fi
    e2e_poll "$E2E_WAIT" e2e_gone "$apid" || { echo "the $how did not end the program" >"$T/fail"; kill -KILL "$apid"; return; }
    wait "$apid"
    new_take_whole "$how" || return
  done
}

# A LOOPS row loaded during an overdub on a server at 512 frames (right clicks on the
# buffer text): the file stays as it was, no ramp of the overdub lands in it.
at_512() { grep -q "callback gets blocks of 512 frames" "$T/app.log"; }
load_while_overdubbing() {
  local row=$HOME/Music/tessel/zz-row.wav sum t0
  # The copy starts with the library panel closed, whatever the last one left: the
  # buffer text is clicked where it lies in the main view alone, and l opens LOOPS.
  sed -i 's/^libopen=1$/libopen=0/' "$XDG_CONFIG_HOME/TideCoil/tessel.ini"
  fresh_program "load" || return
  e2e_click "$wid" 420 950 3   # the buffer steps down from the server's 1024
  e2e_poll "$E2E_WAIT" at_512 || { echo "the callback never got blocks of 512 frames" >"$T/fail"; return; }
  e2e_record_loop "$wid" 1.0 "$T/gap6"
  sox -n -r 48000 -c 2 -b 32 -e floating-point "$row" synth 1.5 sine 330 vol 0.3   # the first row
  sum=$(md5sum <"$row")
  xdotool key l && e2e_settle
  click_loops_row
  e2e_poll "$E2E_WAIT" grep -q "^session=zz-row.wav$" "$XDG_CONFIG_HOME/TideCoil/tessel.ini" ||
    { echo "the LOOPS row did not load" >"$T/fail"; return; }
  t0=$(e2e_now)
  ! e2e_poll 3 eval '[ "$(md5sum <"$row")" != "$sum" ]' ||
    { echo "the loaded file was rewritten $(e2e_elapsed "$t0") s after LOADED" >"$T/fail"; return; }
  e2e_term "$apid" >/dev/null
}

# The temporary's name taken by a folder: one close keeps the program running ("TAKE
# NOT SAVED"); a second close, over a second later, writes again and, as that write
# fails too, ends it at once.
close_unwritable() {
  local name
  fresh_program "unwritable folder" || return
  e2e_record_loop "$wid" 1.0 "$T/gap7" && sleep 0.3 && xdotool key r
  e2e_poll "$E2E_WAIT" eval '[ -n "$(new_takes)" ] && no_temporary' || { echo "no session take to spoil" >"$T/fail"; return; }
  name=$(new_takes | head -1)
  mkdir "$name.tmp.$apid"
  # An overdub the take does not hold yet: each press taken by a frame of the program's.
  xdotool key r && e2e_sync && sleep 0.5 && xdotool key r && e2e_sync
  kill -TERM "$apid" && sleep 3
  e2e_gone "$apid" && { echo "one close with an unwritable takes folder ended the program" >"$T/fail"; return; }
  e2e_term "$apid" >"$T/term_unwritable"
  grep -q "^0 " "$T/term_unwritable" || echo "the second close did not end the program: $(cat "$T/term_unwritable")" >"$T/fail"
  rmdir "$name.tmp.$apid"
}

# view_px SHOT UX UY... -> the pixels of main-view units in the screenshot SHOT. The
# library panel, once a step opened it, widens the window on the main view's left.
view_px() {
  local w h
  read -r w h < <("$PROBE" "$1" | head -1)
  shift
  echo "$@" | awk -v W="$w" -v H="$h" '{ f = W > H ? 1240 : 640; s = W / f < H / 1080 ? W / f : H / 1080
    for (i = 1; i < NF; i += 2) printf "%d %d ", (W - s * f) / 2 + (f - 640 + $i) * s, (H - 1080 * s) / 2 + $(i + 1) * s }'
}
# pad_lit record|hold -> 0 when a screenshot shows the pad lit (record: red while it
# records; hold: amber while hold-dub runs): two of four points of its body off the
# unlit panel's colour, as a spark may cross one. 2 when no screenshot came.
pad_lit() {
  local a=458 b=586
  [ "$1" = record ] && a=52 b=180
  e2e_shot "$T/pads.bmp" || return 2
  "$PROBE" "$T/pads.bmp" $(view_px "$T/pads.bmp" $a 356 $b 356 $a 405 $b 405) | tail -n +2 |
    awk '{ n += ($1 - 23) ^ 2 + ($2 - 29) ^ 2 + ($3 - 29) ^ 2 > 900 } END { exit !(n >= 2) }'
}
# shot_count R G B TOL UX0 UY0 UX1 UY1 -> how many pixels of a screenshot within TOL
# of the colour lie in that rectangle of main-view units; nothing when no screenshot came.
shot_count() {
  local x0 y0 x1 y1
  e2e_shot "$T/count.bmp" || return 1
  read -r x0 y0 x1 y1 < <(view_px "$T/count.bmp" "$5" "$6" "$7" "$8")
  "$PROBE" "$T/count.bmp" --count "$1" "$2" "$3" "$4" "$x0" "$y0" $((x1 - x0)) $((y1 - y0)) | tail -1
}
# red_toast: the failure red in the toast box (30 units high from y = 452, around
# x = 320). loop_set: the loop's length ("1.0S") in the loop display's top right.
red_toast() { [ "$(shot_count 235 66 77 40 150 440 490 494)" -ge 150 ] 2>/dev/null; }
loop_set() { [ "$(shot_count 148 148 148 24 530 100 596 118)" -ge 20 ] 2>/dev/null; }
# since T0 SECONDS -> sleeps until SECONDS have passed since T0: the user's own timing.
since() { sleep "$(awk -v e="$(e2e_elapsed "$1")" -v s="$2" 'BEGIN { print (s > e ? s - e : 0) }')"; }
take_writing() { ls "$HOME"/Music/tessel/tessel-[0-9]*.wav.tmp.* >/dev/null 2>&1; }
export_writing() { ls "$HOME"/Music/tessel/tessel-loop-*.wav.tmp.* >/dev/null 2>&1; }
take_settled() { [ -n "$(new_takes)" ] && no_temporary; }
# view_program WHAT [RATE [MATCH]] -> fresh_program (on the slow disk at RATE, for the
# files whose names hold MATCH), the pointer over the main view: keys over the library
# panel, open since a LOOPS row was loaded, would go to it.
view_program() {
  if [ -n "${2:-}" ]; then
    LD_PRELOAD=$SLOW SLOW_DISK_BYTES_PER_S=$2 SLOW_DISK_MATCH=${3:-.wav.tmp} \
      ASAN_OPTIONS=$ASAN_OPTIONS:verify_asan_link_order=0 fresh_program "$1" || return
  else
    fresh_program "$1" || return
  fi
  e2e_geom "$wid"
  e2e_at "$wid" 320 700
}

# A second close over a second after the first, while the take is written to a slow
# disk, waits for the write: exit 0, the take whole, and the next start keeps it as
# the session take.
close_during_write() {
  local t0 f sum
  view_program "close during a write" 200000 || return
  e2e_record_loop "$wid" 1.0 "$T/gap8"   # the overdub goes on
  kill -TERM "$apid"
  t0=$(e2e_now)
  e2e_poll "$E2E_WAIT" take_writing || { echo "the close began no write of the take" >"$T/fail"; return; }
  since "$t0" 1.5
  take_writing || { echo "the take was written before the second close: the disk is too fast" >"$T/fail"; return; }
  kill -TERM "$apid"
  e2e_poll 60 e2e_gone "$apid" || { echo "the second close never ended the program" >"$T/fail"; return; }
  wait "$apid" || { echo "exit status $? after the second close" >"$T/fail"; return; }
  new_take_whole "a second close during the write" || return
  f=$(new_takes) && sum=$(md5sum <"$f")
  e2e_program_start || { echo "no window after the second close" >"$T/fail"; return; }
  e2e_term "$apid" >/dev/null
  grep -qx "session=${f##*/}" "$XDG_CONFIG_HOME/TideCoil/tessel.ini" ||
    { echo "the next start does not keep ${f##*/} as the session take" >"$T/fail"; return; }
  [ "$(md5sum <"$f")" = "$sum" ] || echo "the next start changed ${f##*/}" >"$T/fail"
}

# e never changes the transport. In a first pass: "NOTHING TO EXPORT" in red, no
# export, and the pass goes on: the loop the second r closes is as long as the time
# from the first r. In the overdub that follows: the export is written and the overdub
# still records.
export_keeps_recording() {
  local x0 m1 m2 m3 m4 len
  view_program "e while recording" || return
  x0=$(exports)
  e2e_cycles_start
  m1=$(e2e_mark)
  xdotool key r
  e2e_poll "$E2E_WAIT" pad_lit record || { echo "r began no first pass" >"$T/fail"; return; }
  m2=$(e2e_mark)
  xdotool key e
  e2e_poll "$E2E_WAIT" red_toast || { echo "e in a first pass showed no red NOTHING TO EXPORT" >"$T/fail"; return; }
  [ "$(exports)" = "$x0" ] || { echo "e in a first pass exported" >"$T/fail"; return; }
  m3=$(e2e_mark)
  xdotool key r
  e2e_poll "$E2E_WAIT" loop_set || { echo "after e in a first pass r closed no loop" >"$T/fail"; return; }
  m4=$(e2e_mark)
  e2e_cycles_stop
  e2e_gap "$m1" "$m2" "$m3" "$m4" >"$T/gap9"
  xdotool key e
  e2e_poll "$E2E_WAIT" eval '[ "$(exports)" -gt "$x0" ] && ! export_writing' || { echo "e in an overdub exported nothing" >"$T/fail"; return; }
  pad_lit record || { echo "e in an overdub ended the recording" >"$T/fail"; return; }
  xdotool key r
  e2e_poll "$E2E_WAIT" take_settled || { echo "no session take after e in a first pass" >"$T/fail"; return; }
  len=$(e2e_wav_stats "$(new_takes)" | cut -d' ' -f1)
  e2e_len_fits "$len" "$T/gap9" ||
    { echo "after e in a first pass the loop is ${len} s long, the presses taken $(cat "$T/gap9") s apart" >"$T/fail"; return; }
  e2e_term "$apid" >/dev/null
}

# d held 3 s with the X server's key repeat while e waits for a slow disk, then
# released: 10 s after the release hold-dub is off and the loop no longer changes (the
# close writes no other take).
held_key_during_export() {
  local t0 f sum
  xset r on
  view_program "held key" 30000 tessel-loop- || return
  take
  e2e_poll "$E2E_WAIT" take_settled || { echo "no session take before e" >"$T/fail"; return; }
  xdotool key e
  e2e_poll "$E2E_WAIT" export_writing || { echo "e began no export" >"$T/fail"; return; }
  xdotool keydown d sleep 3 keyup d
  t0=$(e2e_now)
  export_writing || { echo "the export ended before d was released: the disk is too fast" >"$T/fail"; return; }
  e2e_poll 60 eval '! export_writing' || { echo "the export never ended" >"$T/fail"; return; }
  since "$t0" 10
  pad_lit hold
  case $? in 0) echo "hold-dub is still on 10 s after d was released" >"$T/fail"; return ;; 2) echo "no screenshot" >"$T/fail"; return ;; esac
  e2e_poll "$E2E_WAIT" take_settled || { echo "the session take is still being written" >"$T/fail"; return; }
  f=$(new_takes) && sum=$(md5sum <"$f")
  e2e_term "$apid" 10 >/dev/null
  [ "$(md5sum <"$f")" = "$sum" ] || echo "the loop still changed 10 s after d was released" >"$T/fail"
}

# A failed close puts the window back into play: the temporary's name taken by a
# folder, a close during an overdub shows "TAKE NOT SAVED" and the window stays; once
# the folder has gone the take is written, r records again and its take is written,
# and a close ends the program.
failed_close_plays_on() {
  local name sum
  view_program "failed close" || return
  take
  e2e_poll "$E2E_WAIT" take_settled || { echo "no session take to spoil" >"$T/fail"; return; }
  name=$(new_takes | head -1) && sum=$(md5sum <"$name")
  mkdir "$name.tmp.$apid"
  xdotool key r sleep 0.5   # an overdub the take does not hold yet
  kill -TERM "$apid"
  e2e_poll 10 red_toast || { echo "a close that could not write showed no TAKE NOT SAVED" >"$T/fail"; return; }
  ! e2e_gone "$apid" || { echo "a close that could not write ended the program" >"$T/fail"; return; }
  rmdir "$name.tmp.$apid"
  e2e_poll "$E2E_WAIT" eval '[ "$(md5sum <"$name")" != "$sum" ] && no_temporary' ||
    { echo "the take was not written once the folder had gone" >"$T/fail"; return; }
  sum=$(md5sum <"$name")
  xdotool key r sleep 0.5 key r
  e2e_poll "$E2E_WAIT" eval '[ "$(md5sum <"$name")" != "$sum" ] && no_temporary' ||
    { echo "r after the failed close recorded no later take" >"$T/fail"; return; }
  e2e_term "$apid" 10 >"$T/term_failed"
  grep -q "^0 " "$T/term_failed" || echo "the close after the failed one: $(cat "$T/term_failed")" >"$T/fail"
}

if [ "${1:-}" = --session ]; then
  # Inside xvfb-run: everything the program is asked, and what it answered, goes to
  # files in $T for the checks after the X server has gone.
  cd "$T"
  e2e_tone_program
  e2e_record_loop "$wid" 1.0 "$T/gap" || echo "no frame while the loop was recorded" >"$T/fail"
  # The loop closes in the next audio block; e exports it once the stream has run on.
  xdotool key e
  e2e_poll "$E2E_WAIT" sh -c "ls $HOME/Music/tessel/tessel-loop-*.wav >/dev/null 2>&1 &&
    ! ls $HOME/Music/tessel/*.tmp.* >/dev/null 2>&1" || echo "no export in place" >"$T/fail"
  e2e_shot "$T/shot.bmp" || echo "no screenshot" >"$T/fail"
  e2e_term "$apid" >"$T/term"
  ls "$HOME"/Music/tessel/tessel-loop-*.wav >"$T/first_export" 2>/dev/null
  kill_during_export
  [ -e "$T/fail" ] || clear_then_replace
  [ -e "$T/fail" ] || two_closes
  [ -e "$T/fail" ] || load_while_overdubbing
  [ -e "$T/fail" ] || close_unwritable
  [ -e "$T/fail" ] || close_during_write
  [ -e "$T/fail" ] || export_keeps_recording
  [ -e "$T/fail" ] || held_key_during_export
  [ -e "$T/fail" ] || failed_close_plays_on
  exit 0
fi

BIN=$1 PROBE=$2 SLOW=$3
e2e_need jackd jack_wait jack_simple_client jack_connect jack_lsp xvfb-run xdotool xset sox od md5sum

e2e_private_home tessel-e2e
export BIN SLOW PROBE
JACK_SERVER_PID=
spid=
status=1
finish() {
  e2e_finish_common
  [ $status -ne 0 ] && { echo "--- jackd:" >&2; tail -20 "$T/jackd.log" >&2; }
  rm -rf "$T"
}
trap finish EXIT
fail() { echo "tessel_e2e: $*" >&2; exit 1; }

# With short blocks the loop would hold fewer frames than the time it was recorded for.
e2e_tone_server "$T/jackd.log" >"$T/why" || fail "$(cat "$T/why")"

xvfb-run -a -s "-screen 0 1280x1100x24 -nolisten tcp -noreset" "$0" --session
[ -e "$T/fail" ] && fail "$(cat "$T/fail")"

# SIGTERM: the normal shutdown, code 0.
read -r rc secs <"$T/term" || fail "no exit status"
[ "$rc" = 0 ] || fail "exit status $rc after SIGTERM (${secs} s)"
echo "tessel_e2e: exited 0 ${secs} s after SIGTERM"

# The export: one 16-bit file in the takes folder, as long as the presses made it
# (e2e_len_fits), not silent.
shopt -s nullglob
files=($(cat "$T/first_export"))
[ ${#files[@]} -eq 1 ] || fail "expected one tessel-loop-*.wav in $HOME/Music/tessel, found ${#files[@]}"
f=${files[0]}
# The killed export: nothing under a final name, or a whole file; no temporary file left.
for g in "$HOME"/Music/tessel/tessel-loop-*.wav; do
  size=$(stat -c %s "$g") data=$(od -An -tu4 -j40 -N4 "$g" | tr -d ' ')
  [ "$((data + 44))" = "$size" ] || fail "$(basename "$g") is torn: $size bytes, header data $data"
done
left=("$HOME"/Music/tessel/*.tmp*)
[ "${left[*]}" = "$HOME/Music/tessel/tessel-x.wav.tmp" ] || fail "after the restart: ${left[*]}, not the user's tessel-x.wav.tmp alone"
grep -q "^tessel: removed tessel-loop-.*\.wav\.tmp\.[0-9]*, no whole take$" "$T/restart.log" || fail "the torn export was not removed"
sox --i "$f" | grep -q "16-bit Signed Integer PCM" || fail "$(basename "$f") is not 16-bit PCM"
gap=$(cat "$T/gap")
read -r len rms < <(e2e_wav_stats "$f")
echo "tessel_e2e: $(basename "$f"): ${len} s (presses taken ${gap// / to } s apart), RMS ${rms}"
e2e_len_fits "$len" "$T/gap" || fail "loop length ${len} s does not match the presses, taken ${gap// / to } s apart"
awk -v r="$rms" 'BEGIN { exit !(r > 0.05) }' || fail "the loop is silent (RMS ${rms})"

# The screenshot: the window's size, the bodies of the unlit reverse and stop pads
# (the backdrop moves behind them, not over them; a spark of the record burst may
# cross one probe, so two of three will do), and the request file gone.
[ ! -e "$TMPDIR/tessel_screenshot_request" ] || fail "the request file is still there"
grep -q "^screenshot: $TMPDIR/tessel_screenshot.bmp$" "$T/first.log" || fail "no screenshot line"
probe=$("$PROBE" "$T/shot.bmp" 205 383 250 333 285 383) || fail "the screenshot is not a BMP picture"
echo "tessel_e2e: screenshot $(echo "$probe" | tr '\n' ' ')"
echo "$probe" | awk 'NR == 1 { ok = ($1 == 620 && $2 == 1010) }
  NR > 1 { d = ($1 - 23) ^ 2 + ($2 - 29) ^ 2 + ($3 - 29) ^ 2; if (d <= 12) pads++ }
  END { exit !(ok && pads >= 2) }' || fail "the screenshot does not show the main view"
status=0
exit 0
