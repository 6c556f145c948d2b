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
# A name answering is not enough: when two runs start the same name at once, the
# loser's jackd ends with "already active" while the name answers for the winner's.
# A start counts only when the server listening under the name is the jackd it
# started. Each run also holds a lock on its name (/dev/shm/tessel-test-N.lock,
# kept by the shell and inherited by its children) until it exits or starts another:
# another run does not take the name while the server is stopped for
# jack_server_again.
#
#   jack_server_start RATE FRAMES INPUTS OUTPUTS LOG   sets JACK_SERVER_NAME, JACK_SERVER_PID,
#                                                      JACK_SERVER_LOG (exported)
#   jack_server_stop                                   TERM, then KILL after 5 s
#   jack_server_again RATE FRAMES INPUTS OUTPUTS LOG   the same name again

jack_server_running() {
  jack_wait -c -s "$1" 2>/dev/null | grep -qx running
}

# jack_server_ours PID NAME -> 0 when PID holds the socket the server NAME listens on.
jack_server_ours() {
  local inode
  for inode in $(awk -v p="/jack_$2_$(id -u)_0" '$4 == "00010000" && substr($8, length($8) - length(p) + 1) == p { print $7 }' /proc/net/unix); do
    ls -l "/proc/$1/fd" 2>/dev/null | grep -qF "socket:[$inode]" && return 0
  done
  return 1
}

# jack_server_unlock -> gives up the name this shell holds.
jack_server_unlock() {
  [ -n "${JACK_SERVER_LOCK:-}" ] && exec {JACK_SERVER_LOCK}>&-
  JACK_SERVER_LOCK=
}

jack_server_start() {
  local rate=$1 frames=$2 cin=$3 cout=$4 log=$5 n i
  jack_server_unlock
  for n in 0 1 2 3 4 5 6 7; do
    JACK_SERVER_NAME="tessel-test-$n"
    exec {JACK_SERVER_LOCK}>>"/dev/shm/$JACK_SERVER_NAME.lock"
    if ! flock -n "$JACK_SERVER_LOCK" || jack_server_running "$JACK_SERVER_NAME"; then
      jack_server_unlock
      continue
    fi
    jackd --no-realtime -n "$JACK_SERVER_NAME" -d dummy -r "$rate" -p "$frames" \
      -C "$cin" -P "$cout" >"$log" 2>&1 &
    JACK_SERVER_PID=$!
    export JACK_SERVER_LOG=$log
    for i in $(seq 100); do
      jack_server_running "$JACK_SERVER_NAME" && jack_server_ours "$JACK_SERVER_PID" "$JACK_SERVER_NAME" && return 0
      kill -0 "$JACK_SERVER_PID" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$JACK_SERVER_PID" 2>/dev/null; then
      jack_server_stop
      jack_server_unlock
      return 1
    fi
    wait "$JACK_SERVER_PID" 2>/dev/null
    JACK_SERVER_PID=
    jack_server_unlock
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
  export JACK_SERVER_LOG=$log
  for i in $(seq 100); do
    jack_server_running "$JACK_SERVER_NAME" && jack_server_ours "$JACK_SERVER_PID" "$JACK_SERVER_NAME" && return 0
    kill -0 "$JACK_SERVER_PID" 2>/dev/null || return 1
    sleep 0.1
  done
  jack_server_stop
  return 1
}
