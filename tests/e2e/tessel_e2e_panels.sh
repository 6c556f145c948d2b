#!/usr/bin/env bash
# tessel_e2e_panels.sh PROGRAM BMP_PROBE
# The plug-in picker and the settings list as a user reaches them, on a private X
# server with the window at 640 x 1080 (one unit, one pixel) and a private JACK dummy
# server at 48 kHz:
#   INST opens the picker; typing "kars" leaves one row; a click on the blank place
#   under it loads nothing; a click on the row loads Kars as the instrument, which
#   tessel.ini then names, and z held while jack_rec records sounds middle C on tessel:out_0/1
#   (silence before it was loaded). Ctrl+, shows the settings list; a right click on its
#   BUFFER row steps down from the 1024 frames the JACK server runs (not from the saved
#   128): it asks for 512, which tessel.ini then holds, and after Esc the instrument
#   sounds again. SIGTERM ends the program with code 0.
# Exits 77 (skipped) when a tool or /usr/lib/vst/Kars-vst.so is missing.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
. "$here/../../tools/jack-server.sh"

KARS=/usr/lib/vst/Kars-vst.so

# shot NAME -> once a slide or fade begun has ended (32 of the program's frames, half a
# second of its clock), the program's screenshot kept as $T/NAME.bmp.
shot() { e2e_settle && e2e_settle && e2e_shot "$T/$1.bmp"; }

# take NAME -> records the program's two output ports for 2 s with z held from the
# moment jack_rec is connected to them to its end. They are tessel:out_0/1 at first; a
# reopened stream registers its ports afresh under the next numbers (out_2/3, ...), so
# the last two listed are taken.
take() {
  local ports first
  ports=$(timeout 10 jack_lsp 2>/dev/null | grep "^tessel:out_" | tail -2)
  [ "$(echo "$ports" | wc -l)" = 2 ] || return 1
  echo "$ports" | tr '\n' ' ' >"$T/$1.ports"
  first=$(echo "$ports" | head -1)
  # shellcheck disable=SC2086
  timeout "$E2E_WAIT" jack_rec -f "$T/$1.wav" -d 2 -b 16 $ports >/dev/null 2>&1 &
  local rec=$!
  e2e_poll "$E2E_WAIT" sh -c "timeout 10 jack_lsp -c '$first' 2>/dev/null | grep -q '^ *jackrec:'" || return 1
  xdotool keydown z
  wait "$rec"
  local rc=$?
  xdotool keyup z
  return $rc
}

ini() { cat "$XDG_CONFIG_HOME/TideCoil/tessel.ini" 2>/dev/null; }
ini_has() { ini | tr -d '\r' | grep -qx "$1"; }

if [ "${1:-}" = --session ]; then
  cd "$T"
  "$BIN" >"$T/app.out" 2>"$T/app.log" &
  apid=$!
  echo "$apid" >"$T/app.pid"
  step() { echo "$*" >"$T/step"; }
  bail() { echo "$*" >"$T/fail"; kill -KILL "$apid"; exit 1; }
  wid=$(e2e_window "$apid") || bail "no window"
  e2e_poll "$E2E_WAIT" sh -c 'timeout 10 jack_lsp 2>/dev/null | grep -q "^tessel:out_1$"' ||
    bail "no tessel:out_0/out_1 ports on the JACK server"
  timeout 10 xdotool windowsize --sync "$wid" 640 1080
  timeout 10 xdotool windowfocus --sync "$wid"
  e2e_settle || bail "no frame at 640 x 1080"

  step "silence before the plug-in"
  take before || bail "jack_rec failed before the plug-in was loaded"

  step "1 INST opens the picker"
  xdotool mousemove --window "$wid" 547 970 click 1
  shot picker || bail "no screenshot of the picker"

  step "2 typing kars"
  xdotool type --delay 60 kars
  shot kars || bail "no screenshot after typing"

  step "3 a click on the blank place"
  xdotool mousemove --window "$wid" 320 400 click 1
  shot blank
  ini >"$T/ini_blank" || bail "no screenshot after the blank click"

  step "4 a click on the row"
  xdotool mousemove --window "$wid" 320 287 click 1
  e2e_poll "$E2E_WAIT" ini_has "instpath=$KARS" && echo loaded >"$T/loaded"
  shot chosen || bail "no screenshot after choosing"

  step "5 z sounds the instrument"
  xdotool mousemove --window "$wid" 620 1060
  take kars || bail "jack_rec failed with the instrument"

  step "6 Ctrl+, shows the settings"
  xdotool key ctrl+comma
  shot settings || bail "no screenshot of the settings"

  step "7 the BUFFER row"
  xdotool mousemove --window "$wid" 320 400 click 3
  e2e_poll "$E2E_WAIT" ini_has "buffer=512"
  ini >"$T/ini_buffer"
  timeout 10 jack_bufsize >"$T/period" 2>&1
  shot buffer || bail "no screenshot after the BUFFER click"
  xdotool key Escape
  e2e_settle || bail "no frame after Escape"
  xdotool mousemove --window "$wid" 620 1060
  e2e_poll "$E2E_WAIT" sh -c 'timeout 10 jack_lsp 2>/dev/null | grep -q "^tessel:out_"'
  e2e_settle || bail "no frame before the last take"
  take again || bail "jack_rec failed after the buffer change"

  step "8 SIGTERM"
  e2e_term "$apid" >"$T/term"
  exit 0
fi

BIN=$1 PROBE=$2
e2e_need jackd jack_wait jack_lsp jack_rec jack_bufsize xvfb-run xdotool sox awk
[ -f "$KARS" ] || { echo "e2e: $KARS is not installed: skipped" >&2; exit 77; }

T=$(mktemp -d "${TMPDIR:-/tmp}/tessel-e2e-panels.XXXXXX")
export T BIN
export HOME=$T/home XDG_CONFIG_HOME=$T/home/.config TMPDIR=$T/scratch
unset APPDATA XDG_MUSIC_DIR TESSEL_VST_PATH
mkdir -p "$XDG_CONFIG_HOME" "$TMPDIR"

JACK_SERVER_PID=
status=1
finish() {
  [ -s "$T/app.pid" ] && kill -KILL "$(cat "$T/app.pid")" 2>/dev/null
  jack_server_stop
  e2e_reap
  if [ $status -ne 0 ]; then
    echo "--- at step: $(cat "$T/step" 2>/dev/null)" >&2
    echo "--- program's standard error:" >&2
    cat "$T/app.log" >&2 2>/dev/null
    echo "--- jackd:" >&2
    tail -20 "$T/jackd.log" >&2
  fi
  # TESSEL_E2E_KEEP=folder keeps the screenshots and takes for a person to look at.
  if [ -n "${TESSEL_E2E_KEEP:-}" ]; then
    mkdir -p "$TESSEL_E2E_KEEP" && cp "$T"/*.bmp "$T"/*.wav "$TESSEL_E2E_KEEP"/ 2>/dev/null
  fi
  rm -rf "$T"
}
trap finish EXIT
fail() { echo "tessel_e2e_panels: $*" >&2; exit 1; }

jack_server_start 48000 1024 2 2 "$T/jackd.log" || fail "the JACK server did not start"
export JACK_DEFAULT_SERVER=$JACK_SERVER_NAME JACK_NO_START_SERVER=1

xvfb-run -a -s "-screen 0 1280x1200x24 -nolisten tcp -noreset" "$0" --session
[ -e "$T/fail" ] && fail "$(cat "$T/fail")"

# probe NAME X Y -> "R G B" of the screenshot's pixel.
probe() { "$PROBE" "$T/$1.bmp" "$2" "$3" | sed -n 2p; }
# near "R G B" R G B -> true when every channel is within 3.
near() {
  echo "$1" | awk -v r="$2" -v g="$3" -v b="$4" '{ exit !(($1-r)^2 <= 9 && ($2-g)^2 <= 9 && ($3-b)^2 <= 9) }'
}
expect() {   # expect WHAT NAME X Y R G B
  local got
  got=$(probe "$2" "$3" "$4") || fail "$2.bmp is not a BMP picture"
  near "$got" "$5" "$6" "$7" || fail "$1: ($3, $4) of $2.bmp is $got, not $5 $6 $7"
  echo "tessel_e2e_panels: $1: ($3, $4) = $got"
}
# rms FILE, pitch FILE: the take's RMS amplitude, and its strongest pitch in Hz by
# autocorrelation (lags for 160..480 Hz) over the loudest half second.
rms() { sox "$1" -n stat 2>&1 | awk '/RMS +amplitude/ { print $3 }'; }
pitch() {
  sox "$1" -t dat -c 1 - 2>/dev/null | awk '
    /^;/ { next } { s[n++] = $2 }
    END {
      w = 24000; best = 0; start = 0
      for (i = 0; i + w < n; i += 4800) { e = 0; for (j = i; j < i + w; j += 8) e += s[j] ^ 2; if (e > best) { best = e; start = i } }
      bl = 0; bv = -1
      for (l = 100; l <= 300; l++) { c = 0; for (j = start; j < start + w - l && j + l < n; j++) c += s[j] * s[j + l]; r[l] = c; if (c > bv) { bv = c; bl = l } }
      d = r[bl - 1] - 2 * r[bl] + r[bl + 1]; off = d != 0 ? 0.5 * (r[bl - 1] - r[bl + 1]) / d : 0
      printf "%.1f\n", 48000 / (bl + off)
    }'
}

read -r rc secs <"$T/term" || fail "no exit status"
[ "$rc" = 0 ] || fail "exit status $rc after SIGTERM (${secs} s)"
echo "tessel_e2e_panels: exited 0 ${secs} s after SIGTERM"

# 1. The picker: its outline and the selected first row.
expect "picker outline" picker 60 500 255 0 128
expect "selected row" picker 70 275 115 17 68
# 2. One row for "kars": the row below it shows the panel.
expect "the one row" kars 70 275 115 17 68
expect "no second row" kars 70 310 23 29 29
# 3. The blank place under the row loads nothing; the picker stays.
grep -q "^instpath=." "$T/ini_blank" && fail "a click on the blank place loaded $(grep '^instpath=' "$T/ini_blank")"
expect "picker still open" blank 60 500 255 0 128
# 4. The row loads Kars, saved; the picker is gone.
[ -e "$T/loaded" ] || fail "tessel.ini did not name $KARS after the click"
got=$(probe chosen 60 500)
near "$got" 255 0 128 && fail "the picker is still drawn after the row was chosen"
echo "tessel_e2e_panels: picker closed: (60, 500) = $got"
# 5. Silence before, middle C after.
r0=$(rms "$T/before.wav") r1=$(rms "$T/kars.wav") f1=$(pitch "$T/kars.wav")
echo "tessel_e2e_panels: before the plug-in RMS $r0; with Kars RMS $r1, pitch $f1 Hz"
awk -v r="$r0" 'BEGIN { exit !(r < 0.001) }' || fail "not silent before the plug-in (RMS $r0)"
awk -v r="$r1" 'BEGIN { exit !(r > 0.01) }' || fail "z with Kars is silent (RMS $r1)"
awk -v f="$f1" 'BEGIN { exit !(f > 261.6 * 0.98 && f < 261.6 * 1.02) }' || fail "z sounds at $f1 Hz, not 261.6"
# 6. The settings list: outline and ink in the BUFFER row's label.
expect "settings outline" settings 60 600 255 0 128
pts=()
for y in $(seq 392 408); do for x in $(seq 80 130); do pts+=("$x" "$y"); done; done
ink=$("$PROBE" "$T/settings.bmp" "${pts[@]}" | awk 'NR > 1 && $1 + $2 + $3 > 300 { n++ } END { print n + 0 }')
echo "tessel_e2e_panels: BUFFER row label: $ink bright pixels"
[ "$ink" -gt 10 ] || fail "no ink in the BUFFER row"
# 7. The click asked for 512 frames, the settings file holds it, and the engine plays.
tr -d '\r' <"$T/ini_buffer" | grep -qx "buffer=512" || fail "tessel.ini does not read buffer=512: $(grep '^buffer=' "$T/ini_buffer")"
grep -qx "512" "$T/period" || fail "the JACK server's period is $(cat "$T/period"), not 512"
r2=$(rms "$T/again.wav")
echo "tessel_e2e_panels: after the buffer change RMS $r2 on $(cat "$T/again.ports")"
awk -v r="$r2" 'BEGIN { exit !(r > 0.01) }' || fail "silent after the buffer change (RMS $r2)"
status=0
exit 0
