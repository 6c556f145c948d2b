#!/usr/bin/env bash
# Runs every fuzz target of tests/fuzz for FUZZ_SECONDS each (FUZZ_JOBS at a time),
# built with clang and libFuzzer in build/fuzz. Each target starts from its seeds and
# saved inputs and from what earlier runs found (build/fuzz/corpus/<name>); an input
# that crashes, leaks, hangs or fails a check is kept in tests/fuzz/found/<name>/, where
# `make test` replays it from then on. Prints the executions of every target and exits
# non-zero when any target found something.
#   usage: tools/fuzz.sh [target ...]     (all targets when none is named)
set -u
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_JOBS:-1}
build=build/fuzz

tools/setup-deps.sh clang libclang-rt-14-dev || exit 1
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTESSEL_FUZZ=ON -DTESSEL_TESTS=OFF \
  ${CMAKE_ARGS:-} >/dev/null || exit 1
cmake --build "$build" -j "${JOBS:-$(nproc)}" --target fuzz_targets || exit 1

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in tests/fuzz/*_fuzz.cpp; do
    n=$(basename "$src" _fuzz.cpp)
    targets+=("$n")
  done
fi

mkdir -p "$build/logs"
run_one() {
  local t=$1 corpus="$build/corpus/$1" found="tests/fuzz/found/$1" log="$build/logs/$1.log"
  mkdir -p "$corpus" "$found"
  # The corpus folders after the first are read only; new finds go to the first.
  "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$found/" "$corpus" "tests/fuzz/seeds/$t" "$found" >"$log" 2>&1
  local rc=$?
  echo "$rc" >"$build/logs/$t.rc"
  local runs
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ $rc -eq 0 ]; then
    printf '%-18s %12s executions  no findings\n' "$t" "${runs:-?}"
  else
    printf '%-18s %12s executions  FOUND (exit %d), see %s and %s\n' "$t" "${runs:-?}" "$rc" "$log" "$found"
  fi
  return $rc
}

failed=0
for t in "${targets[@]}"; do
  if [ ! -x "$build/tests/fuzz/fuzz_$t" ]; then
    echo "fuzz: no target $t"
    failed=1
    continue
  fi
  rm -f "$build/logs/$t.rc"
  run_one "$t" &
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do sleep 1; done
done
# Each run leaves its exit status in a file: on a busy machine a finished job's pid can
# be taken by another process before it is waited for, and `wait PID` then fails.
wait
for t in "${targets[@]}"; do
  [ -x "$build/tests/fuzz/fuzz_$t" ] || continue
  [ "$(cat "$build/logs/$t.rc" 2>/dev/null)" = 0 ] || failed=1
done
exit $failed
