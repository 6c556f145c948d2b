# e2e_lib.sh - shared by the whole-program test scripts (sourced, not run).
# Waits poll instead of sleeping a fixed time, with generous limits for a loaded
# two-core machine.

# The program is built with AddressSanitizer for the tests; the GL driver it loads
# is unloaded at exit and its allocations would be reported as leaks of unknown
# modules. Memory errors still stop the program.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}

e2e_need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null 2>&1 || { echo "e2e: $tool is not installed: skipped" >&2; exit 77; }
  done
}

e2e_now() { date +%s.%N; }
# e2e_elapsed START -> seconds since START
e2e_elapsed() { awk -v a="$1" -v b="$(e2e_now)" 'BEGIN { printf "%.3f", b - a }'; }

# e2e_poll SECONDS COMMAND... -> runs COMMAND every 0.05 s until it succeeds; 1 on timeout.
e2e_poll() {
  local limit=$1 start
  shift
  start=$(e2e_now)
  until "$@"; do
    awk -v e="$(e2e_elapsed "$start")" -v l="$limit" 'BEGIN { exit !(e > l) }' && return 1
    sleep 0.05
  done
  return 0
}

# e2e_window PID -> prints the program's window id once it is mapped; 1 when the
# program died or no window came within 60 s.
e2e_window() {
  local pid=$1 wid start
  start=$(e2e_now)
  while kill -0 "$pid" 2>/dev/null; do
    wid=$(xdotool search --onlyvisible --name "^TESSEL VIVID$" 2>/dev/null | head -1)
    [ -n "$wid" ] && { echo "$wid"; return 0; }
    awk -v e="$(e2e_elapsed "$start")" 'BEGIN { exit !(e > 60) }' && return 1
    sleep 0.1
  done
  return 1
}

# e2e_term PID -> sends SIGTERM and waits at most 2 s for the exit. Prints
# "<exit status> <seconds>"; the status is "timeout" (and the program killed) when it
# did not end in time.
e2e_term() {
  local pid=$1 start rc
  start=$(e2e_now)
  kill -TERM "$pid" 2>/dev/null
  if ! e2e_poll 2.0 e2e_gone "$pid"; then
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    echo "timeout $(e2e_elapsed "$start")"
    return
  fi
  wait "$pid"
  rc=$?
  echo "$rc $(e2e_elapsed "$start")"
}
# Ended: no such process, or one that died and waits to be reaped (state Z).
e2e_gone() {
  ! kill -0 "$1" 2>/dev/null || [ "$(sed -E 's/.*\) //' "/proc/$1/stat" 2>/dev/null | cut -c1)" = Z ]
}

# ---------------------------------------------------------------------------
# Window manager, window geometry, screenshots and CPU time
# ---------------------------------------------------------------------------

# e2e_wm_start LOG -> starts openbox on $DISPLAY and waits until it manages the
# screen (its check window on the root); sets E2E_WM_PID. 1 when it did not come up.
e2e_wm_start() {
  openbox --sm-disable >"$1" 2>&1 &
  E2E_WM_PID=$!
  e2e_poll 20 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' && return 0
  e2e_wm_stop
  return 1
}
e2e_wm_stop() {
  [ -n "${E2E_WM_PID:-}" ] || return 0
  kill -TERM "$E2E_WM_PID" 2>/dev/null
  wait "$E2E_WM_PID" 2>/dev/null
  E2E_WM_PID=
}

# e2e_geometry WID -> "X Y W H" of the window as xdotool reads it.
e2e_geometry() {
  local X= Y= WIDTH= HEIGHT=
  eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
  [ -n "$WIDTH" ] || return 1
  echo "$X $Y $WIDTH $HEIGHT"
}

# e2e_inside "X Y W H" SCREEN_W SCREEN_H -> 0 when the rectangle lies on the screen.
e2e_inside() {
  local x y w h
  read -r x y w h <<<"$1"
  [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le "$2" ] && [ $((y + h)) -le "$3" ]
}

# e2e_screenshot OUT -> asks the program for a screenshot through the request file
# ($TMPDIR) and copies the picture to OUT; 1 when none came within 10 s.
e2e_screenshot() {
  rm -f "$TMPDIR/tessel_screenshot.bmp"
  touch "$TMPDIR/tessel_screenshot_request"
  e2e_poll 10 test ! -e "$TMPDIR/tessel_screenshot_request" || return 1
  e2e_poll 10 test -s "$TMPDIR/tessel_screenshot.bmp" || return 1
  sleep 0.3   # written within the frame that deleted the request
  cp "$TMPDIR/tessel_screenshot.bmp" "$1"
}

# e2e_cpu_ticks PID -> user + system CPU time of the process in clock ticks.
e2e_cpu_ticks() {
  sed -E 's/.*\) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'
}
