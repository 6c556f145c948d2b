#!/usr/bin/env bash
# tessel_e2e_plugin_editor.sh PROGRAM BMP_PROBE - under openbox, a Debian OpenGL plug-in in slot 0:
# pictures before, with and after its editor (slot click; Alt+F4) move and show the logo;
# SIGTERM exits 0. 77 when a tool or a plug-in is missing.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
. "$here/../../tools/jack-server.sh"

# Each plug-in with its editor window's title.
PLUGINS=("/usr/lib/vst/3BandEQ-vst.so|3 Band EQ" "/usr/lib/lxvst/DragonflyEarlyReflections-vst.so|Early Reflections")

sfail() { echo "$*" >"$T/fail"; exit 1; }
# shots WHAT -> two screenshots that differ and show the logo's pink in the top strip.
shots() {
  sleep 1.0
  e2e_shot "$T/$1-1.bmp" && sleep 0.3 && e2e_shot "$T/$1-2.bmp" || sfail "no screenshot $1"
  ! cmp -s "$T/$1-1.bmp" "$T/$1-2.bmp" || sfail "$1: the picture stands still"
  [ "$("$PROBE" "$T/$1-2.bmp" --count 255 50 150 60 150 0 340 90 | sed -n 2p)" -gt 200 ] || sfail "$1: no logo in the picture"
}

if [ "${1:-}" = --session ]; then
  e2e_wm_start "$T/wm.log" || sfail "openbox did not start"
  mkdir -p "$XDG_CONFIG_HOME/TideCoil"
  for p in "${PLUGINS[@]}"; do
    name=$(basename "${p%%|*}" -vst.so)
    printf 'slot0_vstpath=%s\n' "${p%%|*}" >"$XDG_CONFIG_HOME/TideCoil/tessel.ini"
    e2e_program_start || sfail "$name: no window"
    timeout 10 xdotool windowactivate --sync "$wid" 2>/dev/null
    shots "$name before the editor"
    e2e_click "$wid" 146 748   # the first slot's name
    ewid=$(e2e_window_search "$apid" --name "${p#*|}") || sfail "$name: no editor window after the click"
    shots "$name with the editor open"
    timeout 10 xdotool windowactivate --sync "$ewid" key alt+F4 2>/dev/null
    e2e_poll "$E2E_WAIT" sh -c "! xdotool getwindowname $ewid >/dev/null 2>&1" || sfail "$name: the editor window stays after Alt+F4"
    shots "$name after the editor"
    e2e_term "$apid" >"$T/term"
    read -r rc secs <"$T/term"
    [ "$rc" = 0 ] || sfail "$name: exit status $rc (${secs} s) after SIGTERM"
  done
  e2e_wm_stop
  exit 0
fi

BIN=$1 PROBE=$2
e2e_need jackd jack_wait jack_lsp xvfb-run xdotool openbox cmp
for p in "${PLUGINS[@]}"; do [ -f "${p%%|*}" ] || { echo "e2e: ${p%%|*} is not installed: skipped" >&2; exit 77; }; done
e2e_private_home tessel-e2e-editor
export BIN PROBE
unset TESSEL_VST_PATH
JACK_SERVER_PID= status=1
trap 'e2e_session_end "$T/app.pid"' EXIT
e2e_session_run "$0" || { echo "tessel_e2e_plugin_editor: $(cat "$T/fail")" >&2; exit 1; }
status=0
