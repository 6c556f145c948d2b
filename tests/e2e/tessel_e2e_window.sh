#!/usr/bin/env bash
# tessel_e2e_window.sh PROGRAM XDND_DROP
# The window on a small screen (1366 x 768, shorter than the window's own 1010
# pixels): without a window manager and under openbox, the first window lies inside
# the screen. Under openbox a file dropped on the window opens the library panel
# (the window widens, still inside the screen) and `l` closes it again; after ten
# rounds the window has its first size and position. Started together with openbox,
# as a desktop's autostart does, twenty times, the program draws its first frame each
# time (the slowest start is printed). On a 1024 x 600 screen: the first click on OVERDUB after
# another window acts, and the video switch opens its panel, the window still mapped.
# Exit 77 without openbox.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
SCREEN_W=1366 SCREEN_H=768

# start -> the program's pid in $apid and its window in $wid; 1 when no window came.
start() {
  "$BIN" >/dev/null 2>>"$T/app.log" &
  apid=$!
  echo "$apid" >"$T/app.pid"
  wid=$(e2e_window "$apid") || { echo "no window" >"$T/fail"; kill -KILL "$apid"; return 1; }
}
# settled WID -> the geometry once two reads 16 frames of the program's apart agree
# (e2e_sync between them: a slide of its panels lasts fewer frames).
settled() {
  local a b start
  start=$(e2e_now)
  e2e_sync
  a=$(e2e_geometry "$1")
  while :; do
    e2e_sync
    b=$(e2e_geometry "$1")
    [ "$a" = "$b" ] && break
    awk -v e="$(e2e_elapsed "$start")" -v l="$E2E_WAIT" 'BEGIN { exit !(e > l) }' && break
    a=$b
  done
  echo "$b"
}
stop() {
  e2e_term "$apid" >"$T/term"
  read -r rc secs <"$T/term"
  [ "$rc" = 0 ] || { echo "exit status $rc (${secs} s) after SIGTERM" >"$T/fail"; return 1; }
}

# main_px W H X Y -> "PX PY": window pixels of a main-view point in a W x H window
# with no side panel open.
main_px() {
  awk -v w="$1" -v h="$2" -v x="$3" -v y="$4" 'BEGIN { s = w / 640; if (h / 1080 < s) s = h / 1080
    printf "%d %d", (w - 640 * s) / 2 + x * s, (h - 1080 * s) / 2 + y * s }'
}
# The overdub setting as last saved (on unless saved off).
overdub_saved() { grep -q "^overdub=0" "$XDG_CONFIG_HOME/TideCoil/tessel.ini" 2>/dev/null && echo 0 || echo 1; }
small_fail() { echo "$*" >"$T/fail"; e2e_wm_stop; exit 1; }

if [ "${1:-}" = --small ]; then
  e2e_wm_start "$T/wm.log" || small_fail "openbox did not start"
  start || { e2e_wm_stop; exit 1; }
  read -r _ _ w0 h0 <<<"$(settled "$wid")"
  xmessage -buttons "" -geometry +0+0 "another program" >/dev/null 2>&1 &
  mpid=$!
  mwid=$(e2e_window_search $mpid --class "^Xmessage$") || small_fail "no xmessage window"
  e2e_click "$mwid" 10 10
  e2e_poll "$E2E_WAIT" eval '[ "$(xdotool getactivewindow 2>/dev/null)" = "$mwid" ]' || small_fail "a click on xmessage did not give it the focus"
  before=$(overdub_saved)
  read -r x y <<<"$(main_px "$w0" "$h0" 208 970)"
  e2e_click "$wid" "$x" "$y"
  e2e_poll "$E2E_WAIT" eval '[ "$(overdub_saved)" != "$before" ]' ||
    small_fail "the first click on OVERDUB ($x, $y) after another window did nothing (overdub=$before)"
  kill -TERM "$mpid"
  read -r x y <<<"$(main_px "$w0" "$h0" 518 30)"
  e2e_click "$wid" "$x" "$y"
  e2e_poll "$E2E_WAIT" eval '[ "$(xdotool getwindowgeometry --shell "$wid" | sed -n "s/^WIDTH=//p")" -gt "$w0" ]' &&
    xwininfo -id "$wid" | grep -q "Map State: IsViewable" ||
    small_fail "a click on the video switch ($x, $y) did not open the video panel; the window is $(xwininfo -id "$wid" | sed -n 's/.*Map State: //p') at $(e2e_geometry "$wid")"
  stop
  e2e_wm_stop
  exit 0
fi

if [ "${1:-}" = --session ]; then
  # openbox and the program started together, openbox 0 to 0.38 s later so that its
  # own start meets the window's first showing wherever that falls. The first frame
  # answers the screenshot request left before the start.
  slowest=0
  for run in $(seq 0 19); do
    rm -f "$TMPDIR/tessel_screenshot.bmp"
    touch "$TMPDIR/tessel_screenshot_request"
    t0=$(e2e_now)
    "$BIN" >/dev/null 2>>"$T/app.log" &
    apid=$!
    echo "$apid" >"$T/app.pid"
    (sleep "$(awk -v r="$run" 'BEGIN { printf "%.2f", r * 0.02 }')"; exec openbox --sm-disable) >"$T/wm.log" 2>&1 &
    E2E_WM_PID=$!
    e2e_poll "$E2E_WAIT" e2e_shot_served ||
      { echo "openbox started with the program: no first frame in run $run" >"$T/fail"; kill -KILL "$apid"; e2e_wm_stop; exit 1; }
    slowest=$(awk -v a="$slowest" -v b="$(e2e_elapsed "$t0")" 'BEGIN { print (b > a ? b : a) }')
    stop || { e2e_wm_stop; exit 1; }
    e2e_wm_stop
  done
  echo "tessel_e2e_window: started with openbox 20 times: the slowest first frame after ${slowest} s"

  # Without a window manager.
  start || exit 1
  g=$(settled "$wid")
  echo "tessel_e2e_window: no window manager: $g"
  e2e_inside "$g" $SCREEN_W $SCREEN_H || { echo "the first window ($g) leaves the screen" >"$T/fail"; exit 1; }
  stop || exit 1

  # Under openbox.
  e2e_wm_start "$T/wm.log" || { echo "openbox did not start" >"$T/fail"; exit 1; }
  start || { e2e_wm_stop; exit 1; }
  g0=$(settled "$wid")
  echo "tessel_e2e_window: openbox: first $g0"
  e2e_inside "$g0" $SCREEN_W $SCREEN_H || { echo "the first window ($g0) leaves the screen" >"$T/fail"; exit 1; }
  read -r _ _ w0 _ <<<"$g0"
  timeout 10 xdotool windowactivate --sync "$wid" 2>/dev/null || timeout 10 xdotool windowfocus --sync "$wid"
  for round in $(seq 10); do
    "$DROP" "$wid" 200 400 "$T/tone.wav" || { echo "round $round: the drop was not taken" >"$T/fail"; break; }
    e2e_poll "$E2E_WAIT" sh -c "[ \$(xdotool getwindowgeometry --shell $wid | sed -n 's/^WIDTH=//p') -gt $w0 ]" ||
      { echo "round $round: the dropped file did not open the panel ($(e2e_geometry "$wid"))" >"$T/fail"; break; }
    g=$(settled "$wid")
    e2e_inside "$g" $SCREEN_W $SCREEN_H || { echo "round $round: with the panel open ($g) the window leaves the screen" >"$T/fail"; break; }
    xdotool key l
    e2e_poll "$E2E_WAIT" sh -c "[ \"\$(xdotool getwindowgeometry --shell $wid | grep -E '^(X|Y|WIDTH|HEIGHT)=' | cut -d= -f2 | tr '\n' ' ')\" = '$g0 ' ]" ||
      { echo "round $round: closed, the window is at $(e2e_geometry "$wid"), first at $g0" >"$T/fail"; break; }
    echo "tessel_e2e_window: round $round: open $g, closed $(e2e_geometry "$wid")"
  done
  [ -e "$T/fail" ] && { kill -KILL "$apid"; e2e_wm_stop; exit 1; }
  g=$(settled "$wid")
  [ "$g" = "$g0" ] || echo "after ten rounds the window is at $g, first at $g0" >"$T/fail"
  stop
  e2e_wm_stop
  exit 0
fi

BIN=$1 DROP=$2
e2e_need xvfb-run xdotool xprop xwininfo xmessage openbox sox
e2e_scratch tessel-window
export BIN DROP
# No audio server: the window is what counts here.
export JACK_DEFAULT_SERVER="tessel-absent-$$-$RANDOM" JACK_NO_START_SERVER=1
sox -n -r 48000 -c 2 "$T/tone.wav" synth 1 sine 440 2>/dev/null

xvfb-run -a -s "-screen 0 ${SCREEN_W}x${SCREEN_H}x24 -nolisten tcp -noreset" "$0" --session
[ -e "$T/fail" ] && { echo "tessel_e2e_window: $(cat "$T/fail")" >&2; exit 1; }
xvfb-run -a -s "-screen 0 1024x600x24 -nolisten tcp -noreset" "$0" --small
[ -e "$T/fail" ] && { echo "tessel_e2e_window: 1024 x 600: $(cat "$T/fail")" >&2; exit 1; }
E2E_STATUS=0
exit 0
