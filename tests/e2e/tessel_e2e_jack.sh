#!/usr/bin/env bash
# tessel_e2e_jack.sh loss|back|dead|cut|patch|slow|restore|copies|hangup|xlost|locks|deadcopy PROGRAM
#   BMP_PROBE [SLOW_DISK] - the
# program on a private JACK dummy server carrying jack_simple_client's tone.
# back/dead: a loop of the tone is recorded, the server killed: red "AUDIO OFFLINE".
#   back: the window answers a buffer click, the server again under its name and a
#   device click bring the stream back on the chosen input, system, which tessel.ini
#   still names (an overdub reaches the session take). SIGTERM (dead: with no server):
#   exit 0, the take holds the loop.
#   cut: the server killed in the first pass, which is then the take. loss: back, dead, cut.
# slow: SIGTERM while a 12 s loop's take is in its sync on a slow disk: screenshots
#   answered meanwhile, exit 0, the take whole. kill -9 in another take's sync: the
#   next start puts it in place under its session name. n right after a dub on the
#   slow disk: screenshots answered while the take is written.
# patch: buffer clicks keep the stream and step from the server's period; a hand-made
#   patch survives them and x.
# restore: a 300 s session take at 48 kHz restored on a 96 kHz server, where the loop
#   holds 180 s of it, and dubbed: the file stays as it was and the dub is a new take.
# copies: two copies restore one silent take; A dubs the tone, B silence, and both close
#   at once, their writes slowed: A's dub is in a take, and the other save a new take.
# hangup: SIGHUP 0.2 s after a hold-dub of a restored silent take: exit 0 with the dub in
#   the take, which the next start restores (e exports it); again on a slow disk, SIGHUP
#   while the autosave writes the dub.
# xlost: the X server killed 0.2 s after a hold-dub: the dub is in the take, the status
#   is not 0 and standard error says the display was lost.
# locks: ".locks" in the data folder a plain file, then the takes' lock held by another
#   process: each dub is saved as a new take, with the reason on standard error.
# deadcopy: two copies on one take; B's save waits in its sync, A's goes in place, B is
#   killed: A closes, and after its next start both dubs are on disk.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
. "$here/../../tools/jack-server.sh"

# At the window's start size of 620 x 1010: the status line's device and buffer text.
DEVICE_X=100 BUFFER_X=420 STATUS_Y=950

take_sum() { cat "$HOME"/Music/tessel/tessel-[0-9]*.wav 2>/dev/null | md5sum | cut -c1-32; }
take_changed() { [ "$(take_sum)" != "$1" ]; }
# Red pixels where the device text is drawn (a grid over its first 130 columns).
OFFLINE_GRID=$(for y in 944 948 952; do for x in $(seq 18 2 150); do echo -n " $x $y"; done; done)
offline_shown() {
  e2e_shot "$T/offline.bmp" && "$PROBE" "$T/offline.bmp" $OFFLINE_GRID | tail -n +2 |
    awk '{ n += ($1 - 235) ^ 2 + ($2 - 66) ^ 2 + ($3 - 77) ^ 2 < 4800 } END { exit !(n > 10) }'
}
# tessel:in_0 and in_1 each on system's capture port of its number, and on nothing else.
on_system() {
  timeout 10 jack_lsp -c >"$T/lsp" 2>/dev/null &&
    [ "$(e2e_connections tessel:in_0 "$T/lsp")" = system:capture_1 ] &&
    [ "$(e2e_connections tessel:in_1 "$T/lsp")" = system:capture_2 ]
}
streams() { grep -c "^engine: JACK stream" "$T/app.log"; }
streams_above() { [ "$(streams)" -gt "$1" ]; }
note() { echo "$*" >>"$T/notes"; }
session_fail() { echo "$*" >"$T/fail"; kill -KILL "$apid" 2>/dev/null; exit 1; }

loop_and_loss() {
  timeout 10 jack_connect jack_simple_client:output1 tessel:in_0 || session_fail "jack_connect failed"
  # With overdub on (the default) the first pass goes on as an overdub: r ends it.
  e2e_record_loop "$wid" 1.0 "$T/gap" || session_fail "no frame while the loop was recorded"
  sleep 0.2 && xdotool key r
  empty=$(echo -n | md5sum | cut -c1-32)
  e2e_poll "$E2E_WAIT" take_changed "$empty" || session_fail "no session take after the loop"
  sleep 0.3
  first=$(take_sum)
  kill -TERM "$JACK_SERVER_PID"
  t0=$(e2e_now)
  e2e_poll "$E2E_WAIT" offline_shown || session_fail "no red AUDIO OFFLINE after the server's end"
  note "offline shown $(e2e_elapsed "$t0") s after the server's end"
  e2e_poll "$E2E_WAIT" e2e_gone "$JACK_SERVER_PID" || session_fail "the JACK server did not end"
  [ "$MODE" = back ] || return 0
  t1=$(e2e_now)
  e2e_click "$wid" $BUFFER_X $STATUS_Y
  e2e_shot "$T/after-click.bmp" || session_fail "no screenshot after the buffer click"
  note "screenshot served $(e2e_elapsed "$t1") s after the buffer click"
  jack_server_again 48000 1024 2 2 "$T/jackd2.log" || session_fail "the second JACK server did not start"
  echo "$JACK_SERVER_PID" >"$T/jack2.pid"
  jack_simple_client >/dev/null 2>&1 &
  echo $! >"$T/tone2.pid"
  e2e_jack_port jack_simple_client:output1 20 || session_fail "no tone client on the second server"
  e2e_click "$wid" $DEVICE_X $STATUS_Y
  e2e_jack_port tessel:in_0 20 || session_fail "the device click opened no stream on the second server"
  # The click on AUDIO OFFLINE opens the chosen input again, not the next client.
  e2e_poll "$E2E_WAIT" on_system || session_fail "after the device click the inputs read: $(grep -A2 '^tessel:in_' "$T/lsp" | tr '\n' ' ')"
  tr -d '\r' <"$INI" | grep -qx "indev=system" || session_fail "tessel.ini no longer names system: $(grep '^indev=' "$INI")"
  note "the device click reopened system, which tessel.ini still names"
  # The tone joins system's silent capture for the overdub.
  timeout 10 jack_connect jack_simple_client:output1 tessel:in_0 2>/dev/null
  timeout 10 jack_lsp -c tessel:in_0 | grep -q jack_simple_client:output1 || session_fail "second jack_connect failed"
  offline_shown && session_fail "still AUDIO OFFLINE after the device click"
  timeout 10 xdotool windowfocus --sync "$wid"
  sleep 0.5
  xdotool key r && sleep 0.6 && xdotool key r
  e2e_poll "$E2E_WAIT" take_changed "$first" || session_fail "the overdub on the new stream never reached the session take"
  note "an overdub on the new stream rewrote the session take"
}

cut_or_slow() {
  timeout 10 jack_connect jack_simple_client:output1 tessel:in_0 || session_fail "jack_connect failed"
  timeout 10 xdotool windowfocus --sync "$wid"
  if [ "$MODE" = cut ]; then
    # The first pass runs from the press, taken by the frame after it, to the
    # server's end: the shortest and longest it can be go to $T/gap.
    e2e_sync || session_fail "no frame before r"
    e2e_cycles_start
    m1=$(e2e_mark)
    xdotool key r
    e2e_sync || session_fail "no frame after r"
    m2=$(e2e_mark)
    sleep 1.0
    m3=$(e2e_mark)
    kill -TERM "$JACK_SERVER_PID"
    e2e_poll "$E2E_WAIT" e2e_gone "$JACK_SERVER_PID" || session_fail "the JACK server did not end"
    e2e_gap "$m1" "$m2" "$m3" "$(e2e_mark)" >"$T/gap"
    e2e_cycles_stop
    e2e_poll "$E2E_WAIT" offline_shown || session_fail "no red AUDIO OFFLINE after the server's end"
    return
  fi
  e2e_record_loop "$wid" 12 "$T/gap" || session_fail "no frame while the loop was recorded"
  sleep 0.2 && xdotool key r
  synced() { grep -q "^slow_disk: syncing .*/tessel-[0-9].*\.wav\.tmp" "$T/app.log"; }
  e2e_poll "$E2E_WAIT" synced || session_fail "no session take reached its sync"
  # SIGTERM in the sync: the window answers screenshots until the take is in place
  # (each answered while the program still runs counts).
  shot_or_gone() { e2e_shot_served || e2e_gone "$apid"; }
  t0=$(e2e_now) && kill -TERM "$apid"
  while ! e2e_gone "$apid" && awk -v e="$(e2e_elapsed "$t0")" -v l="$E2E_WAIT" 'BEGIN { exit !(e < l) }'; do
    rm -f "$TMPDIR/tessel_screenshot.bmp"
    touch "$TMPDIR/tessel_screenshot_request"
    e2e_poll "$E2E_WAIT" shot_or_gone
    e2e_shot_served && ! e2e_gone "$apid" && echo >>"$T/shots"
  done
  e2e_gone "$apid" || kill -KILL "$apid"
  wait "$apid"
  echo "$? $(e2e_elapsed "$t0")" >"$T/term"
  # kill -9 in the sync of another home's take: the next start puts it in place.
  mv "$T/app.log" "$T/slow.log"
  export HOME=$T/home2 XDG_CONFIG_HOME=$T/home2/.config && mkdir -p "$XDG_CONFIG_HOME"
  LD_PRELOAD=$SLOW_PRELOAD SLOW_DISK_SYNC_BYTES_PER_S=100000 e2e_program_start || session_fail "no second window"
  e2e_jack_port tessel:in_0 || session_fail "no tessel ports after the second start"
  timeout 10 jack_connect jack_simple_client:output1 tessel:in_0 || session_fail "second jack_connect failed"
  e2e_record_loop "$wid" 2 "$T/gap2" || session_fail "no frame while the second loop was recorded"
  sleep 0.2 && xdotool key r
  e2e_poll "$E2E_WAIT" synced || session_fail "no second session take reached its sync"
  (cd "$HOME/Music/tessel" && ls tessel-[0-9]*.wav.tmp.*) >"$T/killed"
  kill -KILL "$apid" && wait "$apid" 2>/dev/null
  e2e_program_start || session_fail "no window after the kill"
  e2e_term "$apid" >"$T/term2"
  # n right after a dub on the slow disk: every screenshot is answered while the take
  # is written.
  export HOME=$T/home3 XDG_CONFIG_HOME=$T/home3/.config && mkdir -p "$XDG_CONFIG_HOME"
  LD_PRELOAD=$SLOW_PRELOAD SLOW_DISK_BYTES_PER_S=150000 e2e_program_start || session_fail "no third window"
  e2e_jack_port tessel:in_0 || session_fail "no tessel ports after the third start"
  timeout 10 jack_connect jack_simple_client:output1 tessel:in_0 || session_fail "third jack_connect failed"
  timeout 10 xdotool windowfocus --sync "$wid" sleep 0.3 key r sleep 3 key r sleep 0.5 key n
  # Each screenshot answered while the temporary file is still there counts.
  n_written() {
    ls "$HOME"/Music/tessel/tessel-[0-9]*.wav >/dev/null 2>&1 && ! ls "$HOME"/Music/tessel/*.tmp* >/dev/null 2>&1 && return
    e2e_shot "$T/n-saving.bmp" || session_fail "a screenshot went unanswered while n wrote the take"
    ls "$HOME"/Music/tessel/*.tmp* >/dev/null 2>&1 && echo >>"$T/n-shots"
    false
  }
  e2e_poll "$E2E_WAIT" n_written || session_fail "n wrote no take"
  [ -s "$T/n-shots" ] || session_fail "no screenshot was answered while n wrote the take"
  e2e_term "$apid" >"$T/term3"
  exit 0
}

# The dub of the restored take written: beside it, or (wrongly) over it.
RESTORED=tessel-20250101-000000.wav
restored_stamp() { stat -c '%i %s %Y' "$HOME/Music/tessel/$RESTORED"; }
dub_written() {
  ! ls "$HOME"/Music/tessel/*.tmp.* >/dev/null 2>&1 &&
    { ls "$HOME"/Music/tessel/tessel-[0-9]*.wav | grep -qv "/$RESTORED\$" || [ "$(restored_stamp)" != "$RESTORED_STAMP" ]; }
}
restore_and_dub() {
  timeout 10 jack_connect jack_simple_client:output1 tessel:in_0 || session_fail "jack_connect failed"
  # Untouched, the take the loop cut stays the session's: once the program has written
  # its settings (a line it always writes), they still name it.
  e2e_poll "$E2E_WAIT" eval 'tr -d "\r" <"$INI" | grep -q "^overdub="' || session_fail "the settings were never written"
  tr -d '\r' <"$INI" | grep -qx "session=$RESTORED" || session_fail "tessel.ini no longer names the untouched take"
  timeout 10 xdotool windowfocus --sync "$wid" sleep 0.3 key r sleep 1 key r
  e2e_poll "$E2E_WAIT" dub_written || session_fail "the dub of the restored take was never written"
}

# The second copy, its inputs on system's silent capture, dubs 0.1 s after the first
# and closes 0.2 s after it: each writes its take to the slow disk meanwhile.
copies_dub() {
  local bpid wb t0
  LD_PRELOAD=$SLOW_PRELOAD "$BIN" >/dev/null 2>"$T/app-b.log" &
  bpid=$!
  echo "$bpid" >"$T/b.pid"
  wb=$(e2e_window_of "$bpid") || session_fail "no window for the second copy"
  e2e_poll "$E2E_WAIT" sh -c 'timeout 10 jack_lsp 2>/dev/null | grep -q "^tessel-.*:in_1$"' || session_fail "no ports of the second copy"
  timeout 10 jack_connect jack_simple_client:output1 tessel:in_0 || session_fail "jack_connect failed"
  timeout 10 xdotool windowfocus --sync "$wid" key r windowfocus --sync "$wb" key r sleep 1
  t0=$(e2e_now) && kill -TERM "$apid" && sleep 0.2 && kill -TERM "$bpid"
  e2e_poll 60 e2e_gone "$bpid" || session_fail "the second copy did not end"
  wait "$bpid" || session_fail "the second copy's exit status: $?"
  e2e_poll 60 e2e_gone "$apid" || session_fail "the first copy did not end"
  wait "$apid"
  echo "$? $(e2e_elapsed "$t0")" >"$T/term"
  exit 0
}

TAKES=$HOME/Music/tessel
silent_take() { sox -n -r 48000 -c 2 -e floating-point -b 32 "$TAKES/$RESTORED" trim 0 2; }
# Whether a file holds a dub of the tone (the restored take is silent).
dubbed() {
  local len rms
  read -r len rms < <(e2e_wav_stats "$1")
  awk -v r="$rms" 'BEGIN { exit !(r > 0.02) }'
}
dubbed_takes() {
  local f n=0
  for f in "$TAKES"/tessel-[0-9]*.wav; do [ -e "$f" ] && dubbed "$f" && n=$((n + 1)); done
  echo "$n"
}
dubbed_takes_are() { [ "$(dubbed_takes)" = "$1" ]; }
no_temporary() { ! ls "$TAKES"/*.tmp* >/dev/null 2>&1; }
# hold_dub WID SECONDS -> d held that long once a frame has taken the press (a loaded
# machine may be slow to), then released.
hold_dub() {
  timeout 10 xdotool windowfocus --sync "$1" keydown d
  e2e_sync || session_fail "no frame after d was pressed"
  sleep "$2"
  xdotool keyup d
}
tone_on() { timeout 10 jack_connect jack_simple_client:output1 "$1:in_0" || session_fail "jack_connect to $1 failed"; }
# ended PID WHAT -> the program's exit status once it has ended (bounded).
ended() {
  e2e_poll "$E2E_WAIT" e2e_gone "$1" || session_fail "the program did not end after $2"
  wait "$1"
}
exported() { ls "$TAKES"/tessel-loop-*.wav 2>/dev/null | head -1 | grep . && no_temporary; }

hangup_steps() {
  local t0 rc
  tone_on tessel
  hold_dub "$wid" 1
  sleep 0.2
  t0=$(e2e_now) && kill -HUP "$apid"
  ended "$apid" SIGHUP
  rc=$?
  [ "$rc" = 0 ] || session_fail "exit status $rc after SIGHUP"
  dubbed "$TAKES/$RESTORED" || session_fail "the dub is not in the take after SIGHUP"
  note "SIGHUP 0.2 s after a hold-dub: exit 0 $(e2e_elapsed "$t0") s later, the dub in the take"
  e2e_program_start || session_fail "no window at the next start"
  e2e_jack_port tessel:in_0 || session_fail "no ports at the next start"
  timeout 10 xdotool windowfocus --sync "$wid" key e
  e2e_poll "$E2E_WAIT" exported >/dev/null || session_fail "e wrote no export after the next start"
  dubbed "$(exported)" || session_fail "the next start did not restore the dubbed take"
  e2e_term "$apid" >"$T/t" && read -r rc t0 <"$T/t"
  [ "$rc" = 0 ] || session_fail "exit status $rc after the next start"
  # A slow disk: SIGHUP while the autosave writes the dub.
  rm -f "$TAKES"/tessel-loop-*.wav && silent_take || session_fail "sox made no take"
  LD_PRELOAD=$SLOW_PRELOAD SLOW_DISK_BYTES_PER_S=150000 e2e_program_start || session_fail "no window on the slow disk"
  e2e_jack_port tessel:in_0 || session_fail "no ports on the slow disk"
  tone_on tessel
  hold_dub "$wid" 1
  e2e_poll "$E2E_WAIT" eval 'ls "$TAKES"/*.wav.tmp.* >/dev/null 2>&1' || session_fail "the autosave never began"
  t0=$(e2e_now) && kill -HUP "$apid"
  ended "$apid" "SIGHUP in the write"
  rc=$?
  [ "$rc" = 0 ] || session_fail "exit status $rc after SIGHUP in the write"
  no_temporary || session_fail "a temporary file was left"
  dubbed "$TAKES/$RESTORED" || session_fail "the dub is not in the take after SIGHUP in the write"
  echo "0 $(e2e_elapsed "$t0")" >"$T/term"
  exit 0
}

xlost_steps() {
  local xpid rc t0
  xpid=$(pgrep -f "^Xvfb $DISPLAY( |\$)" | head -1)
  [ -n "$xpid" ] || session_fail "no pid for the X server on $DISPLAY"
  tone_on tessel
  hold_dub "$wid" 1
  sleep 0.2
  t0=$(e2e_now) && kill -KILL "$xpid"
  ended "$apid" "the X server's end"
  rc=$?
  [ "$rc" != 0 ] || session_fail "exit status 0 after the display was lost"
  grep -q "^tessel: ended: the display was lost" "$T/app.log" || session_fail "standard error does not say the display was lost"
  dubbed "$TAKES/$RESTORED" || session_fail "the dub is not in the take after the display was lost"
  note "the X server killed 0.2 s after a hold-dub: exit $rc $(e2e_elapsed "$t0") s later, the dub in the take"
  echo "0 $(e2e_elapsed "$t0")" >"$T/term"
  exit 0
}

# lockless_dub N WHAT REASON -> a hold-dub becomes the N-th dubbed take, its reason on
# standard error.
lockless_dub() {
  local t0
  tone_on tessel
  hold_dub "$wid" 1
  t0=$(e2e_now)
  e2e_poll "$E2E_WAIT" dubbed_takes_are "$1" || session_fail "no take holds the dub with $2"
  note "with $2 the dub was a new take $(e2e_elapsed "$t0") s after the hold-dub"
  grep -q "lock was not had ($3)" "$T/app.log" || session_fail "no reason given with $2"
}

locks_steps() {
  local t0 rc holder
  lockless_dub 1 ".locks a plain file" "Not a directory"
  dubbed "$TAKES/$RESTORED" && session_fail "the restored take was replaced without the lock"
  e2e_term "$apid" >"$T/t" && read -r rc t0 <"$T/t"
  [ "$rc" = 0 ] || session_fail "exit status $rc with .locks a plain file"
  # The lock held by another process for longer than any wait.
  rm -f "$DATA/.locks" && mkdir -p "$DATA/.locks" && printf 'session=%s\n' "$RESTORED" >"$INI"
  flock "$DATA/.locks/takes.lock" sleep 300 >/dev/null 2>&1 &
  holder=$!
  echo "$holder" >"$T/holder.pid"
  mv "$T/app.log" "$T/app-plain-file.log"
  LD_PRELOAD=$SLOW_PRELOAD e2e_program_start || session_fail "no window with the lock held"
  e2e_jack_port tessel:in_0 || session_fail "no ports with the lock held"
  lockless_dub 2 "the lock held elsewhere" "another copy holds the lock"
  pkill -KILL -P "$holder"
  e2e_term "$apid" >"$T/term"
  exit 0
}

deadcopy_steps() {
  local bpid wb bport rc t0
  LD_PRELOAD=$SLOW_PRELOAD SLOW_DISK_SYNC_BYTES_PER_S=10000 "$BIN" >/dev/null 2>"$T/app-b.log" &
  bpid=$!
  echo "$bpid" >"$T/b.pid"
  wb=$(e2e_window_of "$bpid") || session_fail "no window for the second copy"
  e2e_poll "$E2E_WAIT" sh -c 'timeout 10 jack_lsp 2>/dev/null | grep -q "^tessel-.*:in_0$"' || session_fail "no ports of the second copy"
  bport=$(timeout 10 jack_lsp | grep "^tessel-.*:in_0$" | head -1)
  tone_on tessel
  tone_on "${bport%:in_0}"
  hold_dub "$wb" 0.4
  e2e_poll "$E2E_WAIT" grep -q "^slow_disk: syncing .*$RESTORED.tmp" "$T/app-b.log" || session_fail "B's save never reached its sync: $(tail -3 "$T/app-b.log")"
  hold_dub "$wid" 1.5
  e2e_poll "$E2E_WAIT" eval 'dubbed "$TAKES/$RESTORED" && ! ls "$TAKES/$RESTORED.tmp.$apid" >/dev/null 2>&1' ||
    session_fail "A's save never went in place"
  kill -KILL "$bpid" && wait "$bpid" 2>/dev/null
  e2e_term "$apid" >"$T/t" && read -r rc t0 <"$T/t"
  [ "$rc" = 0 ] || session_fail "A's exit status $rc"
  mv "$T/app.log" "$T/app-a.log"
  LD_PRELOAD=$SLOW_PRELOAD e2e_program_start || session_fail "no window at A's next start"
  e2e_term "$apid" >"$T/t" && read -r rc t0 <"$T/t"
  [ "$rc" = 0 ] || session_fail "exit status $rc after the next start"
  no_temporary || session_fail "a temporary file was left after the next start"
  grep "^tessel: put back" "$T/app.log" >>"$T/notes"
  dubbed_takes_are 2 || session_fail "$(dubbed_takes) takes hold a dub after the next start, not both copies' 2"
  echo "0 $t0" >"$T/term"
  exit 0
}

patch_and_restarts() {
  timeout 10 jack_lsp -c >"$T/first"
  timeout 10 jack_connect jack_simple_client:output1 tessel:in_0 &&
    timeout 10 jack_disconnect system:capture_1 tessel:in_0 &&
    timeout 10 jack_connect tessel:out_0 system:playback_2 || session_fail "the user's patch could not be made"
  timeout 10 jack_lsp -c >"$T/before"
  # Right clicks on the buffer step the server's period down from the 1024 it runs
  # (-> 512 -> 256; not from the saved 128); x reopens the stream.
  n=$(streams)
  for step in 512 256; do
    e2e_click "$wid" $BUFFER_X $STATUS_Y 3
    e2e_poll "$E2E_WAIT" grep -q "callback gets blocks of $step frames" "$T/app.log" || session_fail "the callback never got blocks of $step frames"
    [ "$(streams)" = "$n" ] || session_fail "the buffer click to $step reopened the stream"
  done
  timeout 10 xdotool windowfocus --sync "$wid" key x
  e2e_poll "$E2E_WAIT" streams_above "$n" || session_fail "no stream restart after x"
  # The restarted stream's ports take their connections back.
  e2e_poll "$E2E_WAIT" sh -c "timeout 10 jack_lsp -c >'$T/after' && cmp -s '$T/before' '$T/after'"
}

if [ "${1:-}" = --session ]; then
  cd "$T"
  INI=$XDG_CONFIG_HOME/TideCoil/tessel.ini
  # The input chosen in the settings: system, by name.
  [ "$MODE" = back ] && mkdir -p "${INI%/*}" && printf 'indev=system\ninapi=JACK\n' >"$INI"
  DATA=${INI%/*}
  case $MODE in
    restore | copies | hangup | xlost | locks | deadcopy) mkdir -p "$DATA" && printf 'session=%s\n' "$RESTORED" >"$INI" ;;
  esac
  [ "$MODE" = locks ] && touch "$DATA/.locks"
  LD_PRELOAD=$SLOW_PRELOAD e2e_program_start || session_fail "no window"
  e2e_jack_port tessel:out_1 || session_fail "no tessel ports"
  case $MODE in
    patch) patch_and_restarts ;; cut | slow) cut_or_slow ;; restore) restore_and_dub ;; copies) copies_dub ;;
    hangup) hangup_steps ;; xlost) xlost_steps ;; locks) locks_steps ;; deadcopy) deadcopy_steps ;;
    *) loop_and_loss ;;
  esac
  e2e_term "$apid" >"$T/term"
  exit 0
fi

MODE=$1 BIN=$2 PROBE=$3
if [ "$MODE" = loss ]; then
  "$0" back "$BIN" "$PROBE" || exit $?
  "$0" dead "$BIN" "$PROBE" || exit $?
  exec "$0" cut "$BIN" "$PROBE"
fi
# Only the program runs on the slow disk; the sanitizer's runtime is not first with it.
export SLOW_PRELOAD=${4:-} ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}:verify_asan_link_order=0
e2e_need jackd jack_wait jack_simple_client jack_connect jack_disconnect jack_lsp xvfb-run xdotool sox md5sum od
e2e_private_home tessel-jack
export BIN PROBE MODE
JACK_SERVER_PID=
status=1
finish() {
  [ -s "$T/tone2.pid" ] && kill -TERM "$(cat "$T/tone2.pid")" 2>/dev/null
  [ -s "$T/b.pid" ] && kill -KILL "$(cat "$T/b.pid")" 2>/dev/null
  [ -s "$T/holder.pid" ] && pkill -KILL -P "$(cat "$T/holder.pid")" 2>/dev/null
  # The second server, when one was started: stopped by its pid like the first.
  [ -s "$T/jack2.pid" ] && JACK_SERVER_PID=$(cat "$T/jack2.pid")
  e2e_finish_common
  rm -rf "$T"
}
trap finish EXIT
fail() { echo "tessel_e2e_jack $MODE: $*" >&2; exit 1; }

RATE=48000
if [ "$MODE" = restore ]; then
  RATE=96000
  mkdir -p "$HOME/Music/tessel"
  sox -n -r 48000 -c 2 -e floating-point -b 32 "$HOME/Music/tessel/$RESTORED" synth 300 sine 220 vol 0.3 ||
    fail "sox made no take"
  restored_sum=$(md5sum <"$HOME/Music/tessel/$RESTORED") RESTORED_STAMP=$(restored_stamp)
  export RESTORED_STAMP
elif [ "$MODE" = copies ]; then
  mkdir -p "$HOME/Music/tessel"
  sox -n -r 48000 -c 2 -e floating-point -b 32 "$HOME/Music/tessel/$RESTORED" trim 0 2 || fail "sox made no take"
  export SLOW_DISK_BYTES_PER_S=400000
elif [ "$MODE" = hangup ] || [ "$MODE" = xlost ] || [ "$MODE" = locks ] || [ "$MODE" = deadcopy ]; then
  e2e_need flock pgrep
  mkdir -p "$HOME/Music/tessel"
  sox -n -r 48000 -c 2 -e floating-point -b 32 "$HOME/Music/tessel/$RESTORED" trim 0 2 || fail "sox made no take"
fi
e2e_jack_tone $RATE 1024 || fail "no JACK server with a tone"
xvfb-run -a -s "-screen 0 1280x1100x24 -nolisten tcp -noreset" "$0" --session
[ -e "$T/notes" ] && sed "s/^/tessel_e2e_jack $MODE: /" "$T/notes"
[ -e "$T/fail" ] && fail "$(cat "$T/fail")"
case $MODE in patch | slow | restore | copies | hangup | xlost | locks | deadcopy) ;; *) JACK_SERVER_PID= ;; esac   # the first server has gone
read -r rc secs <"$T/term" || fail "no exit status"
[ "$rc" = 0 ] || fail "exit status $rc after SIGTERM (${secs} s)"
case $MODE in hangup | xlost | locks | deadcopy) ;; *) echo "tessel_e2e_jack $MODE: exited 0 ${secs} s after SIGTERM" ;; esac

if [ "$MODE" = hangup ] || [ "$MODE" = xlost ] || [ "$MODE" = locks ] || [ "$MODE" = deadcopy ]; then
  :   # checked in the session
elif [ "$MODE" = patch ]; then
  [ "$(e2e_connections tessel:in_0 "$T/first")" = system:capture_1 ] || fail "the first stream was not on system:capture_1"
  diff "$T/before" "$T/after" >&2 || fail "the patch changed across the restarts"
  [ "$(e2e_connections tessel:in_0 "$T/after")" = jack_simple_client:output1 ] || fail "tessel:in_0 lost its patch"
  [ "$(e2e_connections tessel:out_0 "$T/after" | sort | tr '\n' ' ')" = "system:playback_1 system:playback_2 " ] ||
    fail "tessel:out_0 lost its patch"
  grep "^tessel:" "$T/after" | sed "s/^/tessel_e2e_jack patch: port /"
elif [ "$MODE" = restore ]; then
  [ "$(md5sum <"$HOME/Music/tessel/$RESTORED")" = "$restored_sum" ] || fail "the restored take's file was changed"
  f=$(ls "$HOME"/Music/tessel/tessel-[0-9]*.wav | grep -v "/$RESTORED\$" | head -1)
  [ -n "$f" ] || fail "no new take beside the restored one"
  rate=$(od -An -tu4 -j24 -N4 "$f" | tr -d ' ') data=$(od -An -tu4 -j42 -N4 "$f" | tr -d ' ')
  secs=$(awk -v d="$data" -v r="$rate" 'BEGIN { printf "%.1f", d / 8 / r }')
  [ "$rate" = 96000 ] && [ "$secs" = 180.0 ] || fail "the new take is ${secs} s at ${rate} Hz"
  tr -d '\r' <"$XDG_CONFIG_HOME/TideCoil/tessel.ini" | grep -qx "session=$(basename "$f")" || fail "tessel.ini does not name the new take"
elif [ "$MODE" = copies ]; then
  ! ls "$HOME"/Music/tessel/*.tmp* >/dev/null 2>&1 || fail "a temporary file was left"
  for f in "$HOME"/Music/tessel/tessel-[0-9]*.wav; do
    read -r len rms < <(e2e_wav_stats "$f")
    echo "tessel_e2e_jack copies: $(basename "$f"): ${len} s, RMS ${rms}"
    awk -v r="$rms" 'BEGIN { exit !(r > 0.02) }' && dubbed=$f
  done
  [ -n "${dubbed:-}" ] || fail "no take holds the first copy's dub"
  [ "$(ls "$HOME"/Music/tessel/tessel-[0-9]*.wav | grep -vc "/$RESTORED\$")" = 1 ] ||
    fail "the second save is no new take beside $RESTORED"
elif [ "$MODE" = slow ]; then
  whole_take() {   # HOME GAP_FILE WHAT: one whole session take the presses made (e2e_len_fits), no temporary
    f=$(ls "$1"/Music/tessel/tessel-[0-9]*.wav 2>/dev/null | head -1)
    [ -n "$f" ] || fail "no $3"
    ! ls "$1"/Music/tessel/*.tmp* >/dev/null 2>&1 || fail "a temporary file was left beside the $3"
    size=$(stat -c %s "$f") data=$(od -An -tu4 -j42 -N4 "$f" | tr -d ' ')
    [ "$((data + 46))" = "$size" ] || fail "the $3 is torn: $size bytes, header data $data"
    len=$(sox "$f" -n stat 2>&1 | awk '/Length \(seconds\)/ { print $3 }')
    e2e_len_fits "$len" "$2" || fail "the $3 is ${len} s long, the presses were taken $(cat "$2") s apart"
  }
  whole_take "$HOME" "$T/gap" "session take of the 12 s loop"
  [ -s "$T/shots" ] || fail "no screenshot was answered while the take was written"
  echo "tessel_e2e_jack slow: $(wc -l <"$T/shots") screenshots answered while the take was written"
  whole_take "$T/home2" "$T/gap2" "take killed in its sync"
  killed=$(cat "$T/killed")
  [ "$(basename "$f")" = "${killed%.tmp.*}" ] || fail "$killed came back as $(basename "$f")"
  grep -q "^session=${killed%.tmp.*}$" "$T/home2/.config/TideCoil/tessel.ini" || fail "$(basename "$f") is no longer the session take"
  read -r rc secs <"$T/term2" && [ "$rc" = 0 ] || fail "the start after the kill did not end well: $rc"
else
  f=$(ls "$HOME"/Music/tessel/tessel-[0-9]*.wav 2>/dev/null | head -1)
  [ -n "$f" ] || fail "no session take"
  read -r len rms < <(sox "$f" -n stat 2>&1 | awk '/Length \(seconds\)/ { l = $3 } /RMS +amplitude/ { r = $3 } END { print l, r }')
  echo "tessel_e2e_jack $MODE: $(basename "$f"): ${len} s (presses taken $(cat "$T/gap") s apart), RMS ${rms}"
  e2e_len_fits "$len" "$T/gap" && awk -v r="$rms" 'BEGIN { exit !(r > 0.05) }' ||
    fail "the session take (${len} s, RMS ${rms}) is not the loop"
fi
status=0
exit 0
