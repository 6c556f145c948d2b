#!/usr/bin/env bash
# ui_cpu.sh [PROGRAM...] - what the running program costs the machine: the release
# program on a private X server (xvfb-run, openbox, Mesa's software GL) with a private
# JACK dummy server, UI_CPU_SECONDS (20) in each state:
#   rest      the window shown, nothing playing
#   playing   a loop of about 4 s playing
#   library   the same loop playing with the library open
#   reduced   at rest with reduced motion (TESSEL_REDUCED_MOTION=1)
# Prints the whole process's CPU (cores: CPU seconds per second) and frames per second
# of each run, and the median of UI_CPU_RUNS (3) runs per state. Given several
# programs (a build before a change and one after), their runs take turns, so that
# both meet the same load. Frames are the calls of SDL_RenderPresent in the measured
# seconds, counted by a perf uprobe on SDL's library (needs perf and the right to add
# probes; else frames read n/a). Figures only: nothing here fails on a time.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)

if [ "${1:-}" = --session ]; then
  shift
  . "$root/tests/e2e/e2e_lib.sh"
  . "$root/tools/jack-server.sh"
  e2e_wm_start "$T/wm.log" >/dev/null 2>&1 || echo "ui_cpu: no window manager: running without one"
  # Two tones feed the inputs, so the recorded loop has a waveform to show.
  e2e_tone_start "$T/jack.log" || { echo "ui_cpu: no JACK server" >&2; exit 1; }
  hz=$(getconf CLK_TCK)
  # run STATE PROGRAM -> "cores fps" of one run
  run() {
    local state=$1 prog=$2 home apid wid c0 c1 frames=
    home=$(mktemp -d "$T/home.XXXXXX")
    mkdir -p "$home/.config" "$home/tmp"
    local motion=0
    [ "$state" = reduced ] && motion=1
    HOME=$home XDG_CONFIG_HOME=$home/.config TMPDIR=$home/tmp \
      TESSEL_REDUCED_MOTION=$motion "$prog" >/dev/null 2>"$home/app.log" &
    apid=$!
    wid=$(e2e_window "$apid") || { echo "ui_cpu: no window from $prog" >&2; kill -KILL "$apid"; return 1; }
    timeout 10 xdotool windowfocus --sync "$wid" >/dev/null 2>&1
    if [ "$state" = playing ] || [ "$state" = library ]; then
      e2e_tone_connect >&2 || { kill -KILL "$apid"; return 1; }
      xdotool key r; sleep 4; xdotool key r
    fi
    [ "$state" = library ] && xdotool key l
    sleep 2
    c0=$(e2e_cpu_ticks "$apid")
    if [ -n "$probe" ]; then
      frames=$(perf stat -x, -e "$probe" -p "$apid" -- sleep "$seconds" 2>&1 >/dev/null |
               awk -F, '/SDL_RenderPresent/ { print $1 }')
    else
      sleep "$seconds"
    fi
    c1=$(e2e_cpu_ticks "$apid")
    e2e_term "$apid" 5 >/dev/null
    rm -rf "$home"
    awk -v a="$c0" -v b="$c1" -v hz="$hz" -v s="$seconds" -v f="${frames:-}" \
      'BEGIN { printf "%.3f %s\n", (b - a) / hz / s, f == "" ? "n/a" : sprintf("%.1f", f / s) }'
  }
  # A probe on SDL_RenderPresent in the library the program loads.
  probe= added=
  sdl=$(ldd "$1" 2>/dev/null | awk '/libSDL2-2.0.so/ { print $3 }')
  if command -v perf >/dev/null 2>&1 && [ -n "$sdl" ] &&
     { perf probe -l 2>/dev/null | grep -q 'SDL_RenderPresent' ||
       { perf probe -x "$sdl" SDL_RenderPresent >/dev/null 2>&1 && added=1; }; }; then
    probe=$(perf probe -l 2>/dev/null | awk '/SDL_RenderPresent/ { print $1; exit }')
  fi
  [ -n "$probe" ] || echo "ui_cpu: no perf probe on SDL_RenderPresent: frames/s are not counted"
  median() { sort -g | awk '{ v[NR] = $1 } END { printf "%s", v[int((NR + 1) / 2)] }'; }
  for state in rest playing library reduced; do
    for prog in "$@"; do : >"$T/$state.$(echo "$prog" | md5sum | cut -c1-8)"; done
    for i in $(seq "$runs"); do
      for prog in "$@"; do
        out=$(run "$state" "$prog") || continue
        echo "$out" >>"$T/$state.$(echo "$prog" | md5sum | cut -c1-8)"
        echo "ui_cpu: $state run $i $prog: $(echo "$out" | awk '{ printf "%s cores, %s frames/s", $1, $2 }')" \
             "(load $(cut -d' ' -f1-3 /proc/loadavg))"
      done
    done
    for prog in "$@"; do
      f="$T/$state.$(echo "$prog" | md5sum | cut -c1-8)"
      [ -s "$f" ] || continue
      printf 'ui_cpu: %-8s %s: median %s cores (%s..%s), %s frames/s (%s..%s)\n' "$state" "$prog" \
        "$(cut -d' ' -f1 "$f" | median)" "$(cut -d' ' -f1 "$f" | sort -g | head -1)" \
        "$(cut -d' ' -f1 "$f" | sort -g | tail -1)" "$(cut -d' ' -f2 "$f" | median)" \
        "$(cut -d' ' -f2 "$f" | sort -g | head -1)" "$(cut -d' ' -f2 "$f" | sort -g | tail -1)"
    done
  done
  [ -z "$added" ] || perf probe -d "$probe" >/dev/null 2>&1
  e2e_wm_stop
  e2e_tone_stop
  exit 0
fi

[ $# -gt 0 ] || set -- "$root/build/release/tessel"
progs=()
for p in "$@"; do
  [ -x "$p" ] || { echo "ui_cpu: $p is not a program" >&2; exit 2; }
  progs+=("$(cd "$(dirname "$p")" && pwd)/$(basename "$p")")
done
for tool in xvfb-run xdotool jackd jack_wait; do
  command -v "$tool" >/dev/null 2>&1 || { echo "ui_cpu: $tool is not installed (make deps)" >&2; exit 1; }
done
export seconds=${UI_CPU_SECONDS:-20} runs=${UI_CPU_RUNS:-3}
T=$(mktemp -d "${TMPDIR:-/tmp}/tessel-ui-cpu.XXXXXX")
trap 'rm -rf "$T"' EXIT
export T
echo "ui_cpu: ${seconds} s per run, ${runs} runs per state, load average $(cut -d' ' -f1-3 /proc/loadavg)"
xvfb-run -a -s "-screen 0 1280x1100x24 -nolisten tcp" "$0" --session "${progs[@]}"
