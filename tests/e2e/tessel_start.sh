#!/usr/bin/env bash
# tessel_start.sh bogus|args PROGRAM
# bogus: with a video driver that does not exist, the program prints one line that
#        starts "SDL init failed:" and ends with exit code 1; with no display to
#        reach it says so and ends the same way, never running on unseen.
# args:  on a private X server, with no audio server to reach, the program is started
#        with a first argument that is no audio file (a folder, a FIFO, a cut WAV,
#        random bytes named .wav, a missing file): each time it opens its window,
#        keeps running, and ends with exit code 0 on SIGTERM.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
mode=$1 BIN=$2
fail() { echo "tessel_start: $*" >&2; exit 1; }

if [ "$mode" = bogus ]; then
  err=$(SDL_VIDEODRIVER=bogus "$BIN" 2>&1 >/dev/null)
  rc=$?
  [ $rc -eq 1 ] || fail "exit status $rc, expected 1"
  [ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] || fail "expected one line, got: $err"
  case "$err" in "SDL init failed: "*) ;; *) fail "unexpected line: $err" ;; esac
  echo "tessel_start: $err (exit 1)"
  # No display at all: SDL would fall back to a driver that shows nothing.
  err=$(env -u WAYLAND_DISPLAY DISPLAY=:7319 XDG_RUNTIME_DIR=/nonexistent timeout -s KILL "$E2E_WAIT" "$BIN" 2>&1 >/dev/null)
  rc=$?
  [ $rc -ne 137 ] || fail "with no display, still running unseen after $E2E_WAIT s"
  [ $rc -eq 1 ] || fail "with no display: exit status $rc, expected 1"
  case "$err" in *"SDL init failed: no display"*) ;; *) fail "with no display, unexpected output: $err" ;; esac
  echo "tessel_start: with no display: exit 1"
  exit 0
fi

if [ "$mode" = --session ]; then
  i=0
  while IFS= read -r arg; do
    i=$((i + 1))
    "$BIN" "$arg" >/dev/null 2>"$T/app$i.log" &
    apid=$!
    e2e_window "$apid" >/dev/null || { echo "no window with argument $arg" >"$T/fail"; kill -KILL "$apid"; exit 1; }
    # Frames with the argument handled.
    e2e_settle || { echo "no frames with argument $arg" >"$T/fail"; kill -KILL "$apid"; exit 1; }
    kill -0 "$apid" 2>/dev/null || { echo "ended by itself with argument $arg" >"$T/fail"; exit 1; }
    e2e_term "$apid" >"$T/term"   # not in a subshell: it waits for its child
    read -r rc secs <"$T/term"
    [ "$rc" = 0 ] || { echo "exit status $rc (${secs} s) with argument $arg" >"$T/fail"; exit 1; }
    echo "tessel_start: $arg: exit 0 ${secs} s after SIGTERM"
  done <"$T/args"
  exit 0
fi

[ "$mode" = args ] || fail "unknown mode $mode"
e2e_need xvfb-run xdotool
T=$(mktemp -d "${TMPDIR:-/tmp}/tessel-start.XXXXXX")
trap 'rm -rf "$T"' EXIT
export T BIN
export HOME=$T/home XDG_CONFIG_HOME=$T/home/.config TMPDIR=$T/scratch
unset APPDATA
mkdir -p "$XDG_CONFIG_HOME" "$TMPDIR" "$T/folder.wav"
# No audio server: a name nobody uses, and no automatic start.
export JACK_DEFAULT_SERVER="tessel-absent-$$-$RANDOM" JACK_NO_START_SERVER=1

mkfifo "$T/fifo.wav"
# A WAV header that promises a megabyte of samples, and 100 bytes of them.
{ printf 'RIFF\x24\x00\x10\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x02\x00\x80\xbb\x00\x00'
  printf '\x00\xee\x02\x00\x04\x00\x10\x00data\x00\x00\x10\x00'
  head -c 100 /dev/urandom; } >"$T/cut.wav"
head -c 65536 /dev/urandom >"$T/random.wav"
printf '%s\n' "$T/folder.wav" "$T/fifo.wav" "$T/cut.wav" "$T/random.wav" "$T/missing.wav" \
  "$T/random.wav/inside.mp3" >"$T/args"

xvfb-run -a -s "-screen 0 1280x1100x24 -nolisten tcp -noreset" "$0" --session "$BIN"
[ -e "$T/fail" ] && { cat "$T"/app*.log >&2; fail "$(cat "$T/fail")"; }
exit 0
