#!/usr/bin/env bash
# tessel_probe.sh jack|none PROGRAM
# Runs the program as a user would and checks what it prints. "jack": under
# tools/with-jack.sh -C 4 it names the opened device and counts its callbacks.
# "none": with no JACK server to reach it prints one clear error line, unless this
# machine has a sound card of its own, when it runs on that. Exit 0 either way.
set -u
mode=$1 program=$2
out=$(mktemp "${TMPDIR:-/tmp}/tessel-probe.XXXXXX")
trap 'rm -f "$out"' EXIT
fail() { echo "tessel_probe: $*" >&2; echo "--- output:" >&2; cat "$out" >&2; exit 1; }

if [ "$mode" = none ]; then
  # A server name nobody uses, and no automatic start: never touch another server.
  JACK_DEFAULT_SERVER="tessel-absent-$$-$RANDOM" JACK_NO_START_SERVER=1 "$program" >"$out" 2>&1
else
  "$program" >"$out" 2>&1
fi
rc=$?
[ $rc -eq 0 ] || fail "exit status $rc"

device='^tessel: .* on [^ ]+ \([a-z0-9]+\), [0-9]+ inputs, [0-9]+ Hz, [0-9]+ frames, [0-9.]+ ms, key ".*"$'
count='^tessel: [0-9]+ callbacks in 3 s$'
case "$mode" in
  jack)
    grep -Eq '^tessel: system on JACK \(jack\), 4 inputs, 48000 Hz, 128 frames, [0-9.]+ ms, key "jack:system"$' "$out" ||
      fail "no JACK device line"
    n=$(sed -nE 's/^tessel: ([0-9]+) callbacks in 3 s$/\1/p' "$out")
    [ -n "$n" ] && [ "$n" -ge 500 ] || fail "callback count '${n}' (about 1125 expected)"
    ;;
  none)
    if grep -Eq "$device" "$out"; then
      grep -Eq "$count" "$out" || fail "device line without a callback count"
    else
      [ "$(grep -c '^tessel:' "$out")" -eq 1 ] || fail "expected exactly one line from tessel"
      grep -Eq '^tessel: no audio stream$' "$out" || fail "no 'no audio stream' line"
    fi
    ;;
  *) fail "unknown mode $mode" ;;
esac
grep '^tessel:' "$out"
exit 0
