#!/usr/bin/env bash
# with-jack.sh [-r RATE] [-p FRAMES] [-C INPUTS] [-P OUTPUTS] -- command args...
# Starts a JACK server with the dummy backend under a name of its own (one of a small
# pool, see jack-server.sh), waits until it answers, runs the command with JACK_DEFAULT_SERVER pointing at it, and stops
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

. "$(dirname "$0")/jack-server.sh"
log=$(mktemp "${TMPDIR:-/tmp}/with-jack.XXXXXX")
stop() {
  jack_server_stop
  rm -f "$log"
}
trap stop EXIT
trap 'exit 130' INT TERM

if ! jack_server_start "$rate" "$frames" "$cin" "$cout" "$log"; then
  echo "with-jack: the JACK server did not start" >&2
  cat "$log" >&2
  exit 1
fi
name=$JACK_SERVER_NAME
export JACK_DEFAULT_SERVER="$name" JACK_NO_START_SERVER=1
"$@"
exit $?
