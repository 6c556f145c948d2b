#!/usr/bin/env bash
# tessel_window.sh PROGRAM BMP_PROBE
# The borderless window's own buttons as a user meets them, on a private X server
# with a window manager (twm: without one a minimise does nothing) and no audio
# server: at 640 x 1080 the pointer over the close button fills it; a click on
# minimise iconifies the window and xdotool maps it again; widened to 1240 x 1080, a
# click on close at its new place ends the program with exit code 0. A
# screenshot of the running program is left beside the test as tessel_e2e_window.bmp.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"

# Waits for the next screenshot through the request file and copies it to $1.
shoot() {
  rm -f "$TMPDIR/tessel_screenshot.bmp"
  touch "$TMPDIR/tessel_screenshot_request"
  e2e_poll "$E2E_WAIT" test -s "$TMPDIR/tessel_screenshot.bmp" || return 1
  sleep 0.2
  cp "$TMPDIR/tessel_screenshot.bmp" "$1"
}
mapped() { xwininfo -id "$1" 2>/dev/null | grep -q "Map State: $2"; }
# filled SHOT -> the close button is filled: (235, 66, 77) at alpha 190 over the backdrop.
filled() {
  local r g b
  read -r r g b < <("$PROBE" "$1" 604 10 | tail -1)
  [ "$r" -gt 150 ] && [ $((r - g)) -gt 80 ]
}
# The program's window size as its screenshots show it.
size_is() { shoot "$T/size.bmp" && [ "$("$PROBE" "$T/size.bmp" | head -1)" = "$1 $2" ]; }

if [ "${1:-}" = --session ]; then
  # twm's default fonts are missing on a bare X server; X's built-in "6x13" is always there.
  printf '%s "6x13"\n' TitleFont ResizeFont MenuFont IconFont IconManagerFont >"$T/twmrc"
  printf '%s\n' NoTitle RandomPlacement >>"$T/twmrc"
  twm -f "$T/twmrc" >"$T/twm.log" 2>&1 &
  sleep 0.5
  "$BIN" >/dev/null 2>"$T/app.log" &
  apid=$!
  echo "$apid" >"$T/app.pid"
  # The id is taken while the window is visible: a minimised one is not found.
  wid=$(e2e_window "$apid") || { echo "no window" >"$T/fail"; exit 1; }
  xdotool windowsize "$wid" 640 1080
  e2e_poll "$E2E_WAIT" size_is 640 1080 || { echo "the window did not become 640 x 1080" >"$T/fail"; exit 1; }

  # Hovering the close button eases its fill in.
  xdotool mousemove --window "$wid" 628 28
  e2e_shot_until "$T/hover.bmp" filled || [ -s "$T/hover.bmp" ] || { echo "no screenshot" >"$T/fail"; exit 1; }
  cp "$T/hover.bmp" "$OUT"

  # Minimise: iconified by the window manager, then mapped again.
  xdotool mousemove --window "$wid" 577 19 click 1
  e2e_poll "$E2E_WAIT" mapped "$wid" IsUnMapped || { echo "minimise left the window mapped" >"$T/fail"; exit 1; }
  xprop -id "$wid" WM_STATE >"$T/wm_state" 2>&1
  xdotool windowmap "$wid"
  e2e_poll "$E2E_WAIT" mapped "$wid" IsViewable || { echo "the window did not come back" >"$T/fail"; exit 1; }

  # Wider: the buttons follow the right edge; close ends the program.
  # The whole window on the screen, so the pointer can reach its right edge.
  xdotool windowmove "$wid" 0 0
  xdotool windowsize "$wid" 1240 1080
  e2e_poll "$E2E_WAIT" size_is 1240 1080 || { echo "the window did not become 1240 x 1080" >"$T/fail"; exit 1; }
  xdotool mousemove --window "$wid" 1217 19 click 1
  start=$(e2e_now)
  if e2e_poll "$E2E_WAIT" e2e_gone "$apid"; then wait "$apid"; rc=$?; else rc=timeout; kill -KILL "$apid"; fi
  echo "$rc $(e2e_elapsed "$start")" >"$T/close"
  exit 0
fi

BIN=$1 PROBE=$2
e2e_need xvfb-run xdotool xwininfo xprop twm
T=$(mktemp -d "${TMPDIR:-/tmp}/tessel-window.XXXXXX")
OUT=$PWD/tessel_e2e_window.bmp
export T BIN PROBE OUT
export HOME=$T/home XDG_CONFIG_HOME=$T/home/.config TMPDIR=$T/scratch
unset APPDATA
mkdir -p "$XDG_CONFIG_HOME" "$TMPDIR"
# No audio server: a name nobody uses, and no automatic start.
export JACK_DEFAULT_SERVER="tessel-absent-$$-$RANDOM" JACK_NO_START_SERVER=1
status=1
finish() {
  [ -s "$T/app.pid" ] && kill -KILL "$(cat "$T/app.pid")" 2>/dev/null
  [ $status -ne 0 ] && cat "$T/app.log" >&2 2>/dev/null
  rm -rf "$T"
}
trap finish EXIT
fail() { echo "tessel_window: $*" >&2; exit 1; }

xvfb-run -a -s "-screen 0 1920x1200x24 -nolisten tcp -noreset" "$0" --session
[ -e "$T/fail" ] && fail "$(cat "$T/fail")"

# The close button filled by the hover.
read -r r g b < <("$PROBE" "$T/hover.bmp" 604 10 | tail -1)
echo "tessel_window: close button under the pointer: $r $g $b"
filled "$T/hover.bmp" || fail "the close button is not filled ($r $g $b)"
grep -q "Iconic" "$T/wm_state" || fail "WM_STATE after minimise: $(cat "$T/wm_state")"
read -r rc secs <"$T/close" || fail "no exit status"
[ "$rc" = 0 ] || fail "exit status $rc after the close button (${secs} s)"
echo "tessel_window: the close button at 1240 x 1080 ended the program: exit 0 after ${secs} s"
status=0
exit 0
