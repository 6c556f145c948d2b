#!/usr/bin/env bash
# tessel_e2e_keys.sh PROGRAM KEYS_HELP_RECTS
# In a 640 x 1080 window on a private X server, shift+slash opens the keys help (the
# screenshot is kept as tessel_e2e_keys.bmp); clicks on its V, Tab and M keys and the
# "?" cap of APP; SIGTERM. tessel.ini then holds the vidopen, padmode, monitor and
# keysheet of a run that typed v, Tab and m. KEYS_HELP_RECTS links the panel's layout
# and says where the caps are, asked anew in the window's current size.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"

# Clicks the centre of what KEYS_HELP_RECTS reports for a request.
e2e_keys_click() {
  local wid=$1 what=$2 w h name x y
  read -r w h < <(xdotool getwindowgeometry "$wid" | awk '/Geometry:/ { split($2, a, "x"); print a[1], a[2] }')
  read -r name x y < <("$RECTS" "$w" "$h" "$what") || return 1
  xdotool mousemove --window "$wid" "$x" "$y" click 1
  # The sent key arrives a frame later; a side panel may then slide the window wider.
  e2e_settle
}

# One run in a fresh data folder: $1 = "click" or "type".
e2e_keys_run() {
  local mode=$1
  rm -rf "$HOME"
  mkdir -p "$XDG_CONFIG_HOME" "$TMPDIR"
  "$BIN" >/dev/null 2>"$T/app-$mode.log" &
  apid=$!
  echo "$apid" >"$T/app.pid"
  wid=$(e2e_window "$apid") || { echo "no window ($mode)" >"$T/fail"; return 1; }
  xdotool windowsize "$wid" 640 1080
  e2e_poll "$E2E_WAIT" sh -c "xdotool getwindowgeometry $wid | grep -q 'Geometry: 640x1080'" ||
    { echo "the window did not become 640 x 1080" >"$T/fail"; return 1; }
  timeout 10 xdotool windowfocus --sync "$wid"
  e2e_sync || { echo "no frame ($mode)" >"$T/fail"; return 1; }
  if [ "$mode" = click ]; then
    xdotool key shift+slash
    e2e_settle || { echo "no frame after shift+slash" >"$T/fail"; return 1; }
    e2e_shot "$T/keys.bmp" || { echo "no screenshot" >"$T/fail"; return 1; }
    for what in key:V key:Tab key:M entry:4:3:0; do
      e2e_keys_click "$wid" "$what" || { echo "no cap for $what" >"$T/fail"; return 1; }
    done
  else
    for k in v Tab m; do
      xdotool key "$k"
      e2e_settle || { echo "no frame after $k" >"$T/fail"; return 1; }
    done
  fi
  e2e_term "$apid" >"$T/term-$mode"
  grep -E '^(vidopen|padmode|monitor|keysheet)=' "$XDG_CONFIG_HOME/TideCoil/tessel.ini" | sort >"$T/ini-$mode"
}

if [ "${1:-}" = --session ]; then
  e2e_keys_run click && e2e_keys_run type
  exit 0
fi

BIN=$1 RECTS=$2
e2e_need xvfb-run xdotool
T=$(mktemp -d "${TMPDIR:-/tmp}/tessel-e2e-keys.XXXXXX")
export T BIN RECTS
export HOME=$T/home XDG_CONFIG_HOME=$T/home/.config TMPDIR=$T/scratch
unset APPDATA XDG_MUSIC_DIR
mkdir -p "$XDG_CONFIG_HOME" "$TMPDIR"
# No audio server: a name nobody uses, and no automatic start.
export JACK_DEFAULT_SERVER="tessel-absent-$$-$RANDOM" JACK_NO_START_SERVER=1
status=1
finish() {
  [ -s "$T/app.pid" ] && kill -KILL "$(cat "$T/app.pid")" 2>/dev/null
  [ $status -ne 0 ] && cat "$T"/app-*.log >&2 2>/dev/null
  rm -rf "$T"
}
trap finish EXIT
fail() { echo "tessel_e2e_keys: $*" >&2; exit 1; }

xvfb-run -a -s "-screen 0 1400x1200x24 -nolisten tcp -noreset" "$0" --session
[ -e "$T/fail" ] && fail "$(cat "$T/fail")"
cp "$T/keys.bmp" "$PWD/tessel_e2e_keys.bmp" 2>/dev/null
for mode in click type; do
  read -r rc secs <"$T/term-$mode" || fail "no exit status ($mode)"
  [ "$rc" = 0 ] || fail "exit status $rc after SIGTERM ($mode)"
done
echo "tessel_e2e_keys: clicked: $(tr '\n' ' ' <"$T/ini-click")"
echo "tessel_e2e_keys: typed:   $(tr '\n' ' ' <"$T/ini-type")"
[ "$(wc -l <"$T/ini-click")" -eq 4 ] || fail "the settings file lacks a key"
cmp -s "$T/ini-click" "$T/ini-type" || fail "clicking the caps left other settings than typing the keys"
grep -q '^vidopen=1$' "$T/ini-click" || fail "the V cap did not open the video panel"
grep -q '^keysheet=0$' "$T/ini-click" || fail "the ? cap did not close the keys help"
status=0
exit 0
