#!/usr/bin/env bash
# tessel_e2e_minimised.sh PROGRAM
# A window nobody can see costs nothing: a loop is recorded from a tone on a private
# JACK server and left overdubbing (silence: the tone is taken away), the window is
# minimised under openbox (or, without openbox, unmapped), and over 10 s the program
# uses less than 3 % of one core. The overdub is then ended by a key sent to the
# hidden window: the session take is written while the window stays hidden, as long
# as the loop and not silent.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
. "$here/../../tools/jack-server.sh"
CPU_SECONDS=10

# hidden WID -> 0 while the window is minimised (openbox) or unmapped.
hidden() {
  if [ -n "${E2E_WM_PID:-}" ]; then
    xprop -id "$1" _NET_WM_STATE 2>/dev/null | grep -q _NET_WM_STATE_HIDDEN
  else
    xwininfo -id "$1" 2>/dev/null | grep -q "IsUnMapped"
  fi
}

if [ "${1:-}" = --session ]; then
  cd "$T"
  if command -v openbox >/dev/null 2>&1; then
    e2e_wm_start "$T/wm.log" || { echo "openbox did not start" >"$T/fail"; exit 1; }
  fi
  "$BIN" >/dev/null 2>"$T/app.log" &
  apid=$!
  echo "$apid" >"$T/app.pid"
  wid=$(e2e_window "$apid") || { echo "no window" >"$T/fail"; exit 1; }
  e2e_tone_connect >"$T/fail" || exit 1
  rm -f "$T/fail"
  # r, a second, r: the loop is closed and overdubbed, so it changes all the time.
  e2e_record_loop "$wid" 1.0 "$T/gap"
  # The overdub layers silence from here on (still a change to the loop). Layers of a
  # steady tone, each shifted by the loop's length, can cancel one another: one run's
  # take was left at RMS 0.047.
  timeout 10 jack_disconnect jack_simple_client:output1 tessel:in_0 &&
    timeout 10 jack_disconnect jack_simple_client:output2 tessel:in_1 ||
    { echo "the tone could not be taken off the inputs" >"$T/fail"; exit 1; }
  sleep 0.5
  if [ -n "${E2E_WM_PID:-}" ]; then
    how=minimised
    timeout 10 xdotool windowminimize --sync "$wid"
  else
    how=unmapped
    timeout 10 xdotool windowunmap --sync "$wid"
  fi
  e2e_poll "$E2E_WAIT" hidden "$wid" || { echo "the window did not become hidden" >"$T/fail"; exit 1; }
  sleep 0.5
  a=$(e2e_cpu_ticks "$apid")
  sleep $CPU_SECONDS
  b=$(e2e_cpu_ticks "$apid")
  echo "$how $((b - a)) $(getconf CLK_TCK)" >"$T/cpu"
  ls "$HOME"/Music/tessel/tessel-2*.wav >/dev/null 2>&1 &&
    { echo "a session take was written while the loop was being overdubbed" >"$T/fail"; exit 1; }
  # The overdub ends: once the loop has been still a while, the take is written.
  xdotool key --window "$wid" r
  e2e_poll "$E2E_WAIT" sh -c 'ls "$HOME"/Music/tessel/tessel-2*.wav >/dev/null 2>&1' ||
    { echo "no session take while the window was $how" >"$T/fail"; exit 1; }
  hidden "$wid" || { echo "the window was shown again before the take was written" >"$T/fail"; exit 1; }
  e2e_term "$apid" >"$T/term"
  e2e_wm_stop
  exit 0
fi

BIN=$1
e2e_need jackd jack_wait jack_simple_client jack_connect jack_disconnect jack_lsp xvfb-run xdotool xprop xwininfo sox

e2e_scratch tessel-min
export BIN
fail() { echo "tessel_e2e_minimised: $*" >&2; exit 1; }

e2e_tone_start "$T/jackd.log" || fail "no tone on a JACK server"
xvfb-run -a -s "-screen 0 1280x1100x24 -nolisten tcp -noreset" "$0" --session
[ -e "$T/fail" ] && fail "$(cat "$T/fail")"

read -r how ticks hz <"$T/cpu" || fail "no CPU time measured"
share=$(awk -v t="$ticks" -v hz="$hz" -v s=$CPU_SECONDS 'BEGIN { printf "%.2f", 100 * t / hz / s }')
echo "tessel_e2e_minimised: ${how}: ${ticks} ticks of CPU in ${CPU_SECONDS} s: ${share} % of one core"
awk -v p="$share" 'BEGIN { exit !(p < 3) }' || fail "the hidden window costs ${share} % of a core"

read -r rc secs <"$T/term" || fail "no exit status"
[ "$rc" = 0 ] || fail "exit status $rc after SIGTERM (${secs} s)"
shopt -s nullglob
e2e_loop_file_ok "session take" "$HOME"/Music/tessel/tessel-2*.wav || fail "the session take is wrong"
E2E_STATUS=0
exit 0
