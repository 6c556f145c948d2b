#!/usr/bin/env bash
# with-jack.sh [-r RATE] [-p FRAMES] [-C INPUTS] [-P OUTPUTS] -- command args...
# Starts a JACK server with the dummy backend under a name of its own, waits until
# it answers, runs the command with JACK_DEFAULT_SERVER pointing at it, and stops
# that server (by its process id, never by name) on every way out. A server that
# already runs under the default name is never touched.
set -u
rate=48000 frames=128 cin=2 cout=2
while [ $# -gt 0 ]; do
  case "$1" in
    -r) rate=$2; shift 2 ;;
    -p) frames=$2; shift 2 ;;
    -C) cin=$2; shift 2 ;;
    -P) cout=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "with-jack: unknown option $1" >&2; exit 2 ;;
  esac
done
[ $# -gt 0 ] || { echo "with-jack: no command" >&2; exit 2; }
# Without the JACK tools there is nothing to run against: exit 77, which ctest
# reports as a skipped test.
for tool in jackd jack_wait; do
  command -v "$tool" >/dev/null 2>&1 || { echo "with-jack: $tool is not installed: skipped" >&2; exit 77; }
done

name="tessel-test-$$-$RANDOM"
log=$(mktemp "${TMPDIR:-/tmp}/with-jack.XXXXXX")
jackd --no-realtime -n "$name" -d dummy -r "$rate" -p "$frames" -C "$cin" -P "$cout" >"$log" 2>&1 &
jpid=$!
stop() {
  if kill -0 "$jpid" 2>/dev/null; then
    kill -TERM "$jpid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$jpid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$jpid" 2>/dev/null
  fi
  wait "$jpid" 2>/dev/null
  rm -f "$log"
}
trap stop EXIT
trap 'exit 130' INT TERM

if ! jack_wait -w -s "$name" -t 10 >/dev/null 2>&1; then
  echo "with-jack: the JACK server did not start" >&2
  cat "$log" >&2
  exit 1
fi
export JACK_DEFAULT_SERVER="$name" JACK_NO_START_SERVER=1
"$@"
exit $?
