# jack-server.sh - sourced by the test scripts: starts and stops a private JACK
# server with the dummy backend.
#
# Names come from a small pool (tessel-test-0 .. tessel-test-7): JACK keeps a
# registry of eight server names, and an entry left behind by a server that died
# without unregistering is reclaimed only when its name is used again. Unique names
# would fill the registry for good; a pool reuses (and so reclaims) its own entries,
# skips a name whose server still runs (another test run's), and never touches a
# server outside the pool.
#
#   jack_server_start RATE FRAMES INPUTS OUTPUTS LOG   sets JACK_SERVER_NAME, JACK_SERVER_PID
#   jack_server_stop                                   TERM, then KILL after 5 s
#   jack_server_again RATE FRAMES INPUTS OUTPUTS LOG   the same name again

jack_server_running() {
  jack_wait -c -s "$1" 2>/dev/null | grep -qx running
}

jack_server_start() {
  local rate=$1 frames=$2 cin=$3 cout=$4 log=$5 n i
  for n in 0 1 2 3 4 5 6 7; do
    JACK_SERVER_NAME="tessel-test-$n"
    jack_server_running "$JACK_SERVER_NAME" && continue
    jackd --no-realtime -n "$JACK_SERVER_NAME" -d dummy -r "$rate" -p "$frames" \
      -C "$cin" -P "$cout" >"$log" 2>&1 &
    JACK_SERVER_PID=$!
    for i in $(seq 100); do
      jack_server_running "$JACK_SERVER_NAME" && return 0
      kill -0 "$JACK_SERVER_PID" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$JACK_SERVER_PID" 2>/dev/null; then
      jack_server_stop
      return 1
    fi
    wait "$JACK_SERVER_PID" 2>/dev/null
    JACK_SERVER_PID=
    # Taken by a server that started meanwhile: try the next name.
    grep -q "already active" "$log" || return 1
  done
  return 1
}

jack_server_stop() {
  [ -n "${JACK_SERVER_PID:-}" ] || return 0
  if kill -0 "$JACK_SERVER_PID" 2>/dev/null; then
    kill -TERM "$JACK_SERVER_PID" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$JACK_SERVER_PID" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$JACK_SERVER_PID" 2>/dev/null
  fi
  wait "$JACK_SERVER_PID" 2>/dev/null
  JACK_SERVER_PID=
}

# jack_server_again RATE FRAMES INPUTS OUTPUTS LOG: a server under the name the last
# jack_server_start chose (after that one has gone), as a user starts the same server
# again; sets JACK_SERVER_PID.
jack_server_again() {
  local rate=$1 frames=$2 cin=$3 cout=$4 log=$5 i
  jackd --no-realtime -n "$JACK_SERVER_NAME" -d dummy -r "$rate" -p "$frames" \
    -C "$cin" -P "$cout" >"$log" 2>&1 &
  JACK_SERVER_PID=$!
  for i in $(seq 100); do
    jack_server_running "$JACK_SERVER_NAME" && return 0
    kill -0 "$JACK_SERVER_PID" 2>/dev/null || return 1
    sleep 0.1
  done
  jack_server_stop
  return 1
}
