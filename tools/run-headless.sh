#!/usr/bin/env bash
# run-headless.sh PROGRAM [ARGS...]
# Runs Tessel on a machine without a display: on a private X server (xvfb-run) and,
# when no JACK server answers, on a private JACK dummy server (tools/with-jack.sh),
# for a few seconds (TESSEL_RUN_SECONDS, default 5). Then it asks for a screenshot
# through the request file, ends the program with SIGTERM and says where the picture
# is: tessel_screenshot.bmp beside the program.
set -u
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" = --session ]; then
  shift
  "$@" &
  pid=$!
  sleep "$seconds"
  if kill -0 "$pid" 2>/dev/null; then
    touch "$TMPDIR/tessel_screenshot_request"
    for _ in $(seq 200); do
      [ -s "$TMPDIR/tessel_screenshot.bmp" ] && break
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    kill -TERM "$pid" 2>/dev/null
  fi
  wait "$pid"
  exit $?
fi

prog=$1
[ -x "$prog" ] || { echo "run-headless: $prog is not a program" >&2; exit 2; }
command -v xvfb-run >/dev/null 2>&1 || { echo "run-headless: xvfb-run is not installed (make deps)" >&2; exit 1; }
export seconds=${TESSEL_RUN_SECONDS:-5}
shot="$(cd "$(dirname "$prog")" && pwd)/tessel_screenshot.bmp"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessel-run.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export TMPDIR=$scratch

run=(xvfb-run -a -s "-screen 0 1280x1100x24 -nolisten tcp -noreset" "$0" --session "$@")
# jack_wait -c answers "running" or "not running", with exit status 0 either way.
if [ "$(JACK_NO_START_SERVER=1 jack_wait -c 2>/dev/null)" = running ]; then
  echo "run-headless: no display: Tessel runs for ${seconds} s on a private X server"
  "${run[@]}"
elif command -v jackd >/dev/null 2>&1; then
  echo "run-headless: no display and no audio server: Tessel runs for ${seconds} s on a private X server" \
       "and a private JACK dummy server"
  "$here/with-jack.sh" -r 48000 -C 2 -P 2 -- "${run[@]}"
else
  echo "run-headless: no display and no audio server: Tessel runs for ${seconds} s without audio"
  "${run[@]}"
fi
rc=$?
if [ -s "$scratch/tessel_screenshot.bmp" ]; then
  cp "$scratch/tessel_screenshot.bmp" "$shot"
  echo "run-headless: screenshot of the running program: $shot"
else
  echo "run-headless: no screenshot was taken" >&2
  [ $rc -eq 0 ] && rc=1
fi
exit $rc
