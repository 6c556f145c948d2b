#!/usr/bin/env bash
# plat_dragout_xvfb.sh SOURCE TARGET - inside xvfb-run: a file dragged from the source
# window onto the drop target arrives there; Escape, a release over nothing and no
# display give 0; a pointer another client holds gives -1; the first press after a
# drag reaches the source.
set -u
SRC=$1 DST=$2
T=$(mktemp -d "${TMPDIR:-/tmp}/dragout.XXXXXX")
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$T"' EXIT
fail() { echo "plat_dragout_xvfb: $*" >&2; for f in "$T"/*.out; do echo "--- $f" >&2; cat "$f" >&2; done; exit 1; }
FILE="$T/a loop 100% né.wav"
echo data >"$FILE"

wait_for() { # FILE TEXT [COUNT] -> COUNT (1) lines with TEXT in FILE within a minute
  for _ in $(seq 1 600); do [ "$(grep -c "$2" "$1" 2>/dev/null)" -ge "${3:-1}" ] && return 0; sleep 0.1; done
  return 1
}
drag() { # FROM_X FROM_Y TO_X TO_Y, then mouseup unless told otherwise
  xdotool mousemove "$1" "$2"; sleep 0.3
  xdotool mousedown 1; sleep 0.5
  xdotool mousemove $(($3 - 20)) $(($4 - 20)); sleep 0.3
  xdotool mousemove "$3" "$4"; sleep 0.5
}

"$DST" 700 100 >"$T/target.out" 2>/dev/null &
wait_for "$T/target.out" ready || fail "no drop target"
"$SRC" "$FILE" >"$T/source.out" 2>/dev/null &
wait_for "$T/source.out" ready || fail "no source"
sleep 0.5

# A drop on the target: the path arrives decoded.
drag 200 200 850 250
xdotool mouseup 1
wait_for "$T/source.out" "result 1" || fail "the drop did not report 1"
wait_for "$T/target.out" "drop $FILE" || fail "the target did not receive the path"
# The first press after the drag reaches the source (moved once first).
xdotool mousemove 210 210; sleep 0.3; xdotool click 1
wait_for "$T/source.out" "press" || fail "the press after the drag was swallowed"
kill %2; wait %2 2>/dev/null

# Escape while over the target, and a release over nothing: 0, nothing dropped.
DRAG_AGAIN=1 "$SRC" "$FILE" >"$T/source2.out" 2>/dev/null &
wait_for "$T/source2.out" ready || fail "no second source"
sleep 0.5
drag 200 200 850 250
xdotool key Escape; sleep 0.3; xdotool mouseup 1
wait_for "$T/source2.out" "result 0" || fail "Escape did not give 0"
drag 200 200 1100 700
xdotool mouseup 1
wait_for "$T/source2.out" "result 0" 2 && [ "$(grep -c 'result 0' "$T/source2.out")" -eq 2 ] ||
  fail "a release over nothing did not give 0"
[ "$(grep -c '^drop' "$T/target.out")" -eq 1 ] || fail "a cancelled drag dropped"

# Another client holds the pointer: -1. No display (SDL's dummy driver): 0.
"$SRC" "$FILE" --now --grabbed >"$T/grabbed.out" 2>/dev/null
grep -q "result -1" "$T/grabbed.out" || fail "a held pointer did not give -1"
SDL_VIDEODRIVER=dummy "$SRC" "$FILE" --now >"$T/dummy.out" 2>/dev/null
grep -q "result 0" "$T/dummy.out" || fail "no display did not give 0"
echo "plat_dragout_xvfb: dropped, cancelled, refused and no display as expected"
