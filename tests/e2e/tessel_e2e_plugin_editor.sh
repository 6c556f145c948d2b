#!/usr/bin/env bash
# tessel_e2e_plugin_editor.sh PROGRAM BMP_PROBE
# Plug-in editors that draw with OpenGL beside the program's own drawing: under
# openbox on a private X server, with a private JACK dummy server, tessel.ini names a
# Debian plug-in with an OpenGL editor in the first insert slot. For each of DPF's
# 3 Band EQ and Dragonfly Early Reflections: two screenshots before the editor is
# opened, two while it is open (a click on the slot's name) and two after it was
# closed (Alt+F4 on its window: the window manager's close request) must differ from
# each other and show the program's logo. SIGTERM then ends the program with code 0.
# Exits 77 when a tool or a plug-in is missing.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
. "$here/../../tools/jack-server.sh"

# Each plug-in with its editor window's title.
PLUGINS=("/usr/lib/vst/3BandEQ-vst.so|3 Band EQ" "/usr/lib/lxvst/DragonflyEarlyReflections-vst.so|Early Reflections")

# The logo's pink ("TESSEL", 255 0 128 to 255 107 184) in the top strip: drawn by the
# program, absent from a black or a plug-in's picture.
pink() { "$PROBE" "$1" --count 255 50 150 60 150 0 340 90 | sed -n 2p; }
# shots WHAT -> two screenshots a moment apart ($T/WHAT-1.bmp, -2.bmp) that differ
# and show the logo; 1, the reason in $T/fail, otherwise.
shots() {
  local k
  e2e_shot "$T/$1-1.bmp" && sleep 0.3 && e2e_shot "$T/$1-2.bmp" || { echo "no screenshot $1" >"$T/fail"; return 1; }
  ! cmp -s "$T/$1-1.bmp" "$T/$1-2.bmp" || { echo "$1: the picture stands still" >"$T/fail"; return 1; }
  k=$(pink "$T/$1-2.bmp")
  echo "tessel_e2e_plugin_editor: $1: the pictures differ, ${k} logo pixels"
  [ "${k:-0}" -gt 200 ] || { echo "$1: no logo in the picture" >"$T/fail"; return 1; }
}

# one PATH TITLE -> the program with PATH in slot 0: shots around its editor.
one() {
  local name ewid
  name=$(basename "$1" -vst.so)
  mkdir -p "$XDG_CONFIG_HOME/TideCoil"
  printf 'slot0_vstpath=%s\n' "$1" >"$XDG_CONFIG_HOME/TideCoil/tessel.ini"
  e2e_program_start || { echo "$name: no window" >"$T/fail"; return 1; }
  timeout 10 xdotool windowactivate --sync "$wid" 2>/dev/null
  sleep 1.0
  shots "$name before the editor" || return 1
  # The first slot's name (42, 774, 206, 56 units) in the first window, 620 x 1010:
  # 0.935 pixels a unit, the view centred.
  e2e_click "$wid" 146 748
  ewid=$(e2e_window_search "$apid" --name "$2") || { echo "$name: no editor window after the click" >"$T/fail"; return 1; }
  sleep 1.0
  shots "$name with the editor open" || return 1
  timeout 10 xdotool windowactivate --sync "$ewid" 2>/dev/null
  xdotool key alt+F4
  e2e_poll 10 sh -c "! xdotool getwindowname $ewid >/dev/null 2>&1" ||
    { echo "$name: the editor window stays after Alt+F4" >"$T/fail"; return 1; }
  sleep 1.0
  shots "$name after the editor" || return 1
  e2e_term "$apid" >"$T/term"
  read -r rc secs <"$T/term"
  [ "$rc" = 0 ] || { echo "$name: exit status $rc (${secs} s) after SIGTERM" >"$T/fail"; return 1; }
}

if [ "${1:-}" = --session ]; then
  e2e_wm_start "$T/wm.log" || { echo "openbox did not start" >"$T/fail"; exit 1; }
  for p in "${PLUGINS[@]}"; do
    one "${p%%|*}" "${p#*|}" || break
  done
  e2e_wm_stop
  exit 0
fi

BIN=$1 PROBE=$2
e2e_need jackd jack_wait jack_lsp xvfb-run xdotool openbox cmp
for p in "${PLUGINS[@]}"; do
  p=${p%%|*}
  [ -f "$p" ] || { echo "e2e: $p is not installed: skipped" >&2; exit 77; }
done
e2e_private_home tessel-e2e-editor
export BIN PROBE
unset TESSEL_VST_PATH

JACK_SERVER_PID=
status=1
finish() {
  e2e_finish_common
  # TESSEL_E2E_KEEP=folder keeps the screenshots for a person to look at.
  [ -n "${TESSEL_E2E_KEEP:-}" ] && mkdir -p "$TESSEL_E2E_KEEP" && cp "$T"/*.bmp "$TESSEL_E2E_KEEP"/
  rm -rf "$T"
}
trap finish EXIT
fail() { echo "tessel_e2e_plugin_editor: $*" >&2; exit 1; }

jack_server_start 48000 1024 2 2 "$T/jackd.log" || fail "the JACK server did not start"
export JACK_DEFAULT_SERVER=$JACK_SERVER_NAME JACK_NO_START_SERVER=1
xvfb-run -a -s "-screen 0 1280x1200x24 -nolisten tcp" "$0" --session | tee "$T/said"
[ -e "$T/fail" ] && fail "$(cat "$T/fail")"
[ "$(grep -c "the pictures differ" "$T/said")" = $((3 * ${#PLUGINS[@]})) ] || fail "the session ended early"

status=0
exit 0
