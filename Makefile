# Tessel: `make run` builds and starts the program, `make test` builds and runs
# every test, `make bench` runs the benchmarks (and the whole program's CPU on a private
# X server, bench/ui_cpu.sh), `make fuzz` runs every fuzz target for
# FUZZ_SECONDS (FUZZ_JOBS at a time). Each installs what is missing.
JOBS ?= $(shell nproc)
CMAKE_ARGS ?=
FUZZ_SECONDS ?= 60
FUZZ_JOBS ?= 1

.PHONY: run build test tsan-test bench fuzz deps clean

deps:
	@tools/setup-deps.sh

build: deps
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTESSEL_TESTS=OFF -DTESSEL_BENCH=ON $(CMAKE_ARGS) >/dev/null
	cmake --build build/release -j $(JOBS)

# Without a display the program runs for a few seconds on a private X server and
# leaves a screenshot (tools/run-headless.sh says where).
run: build
	@if [ -n "$$DISPLAY" ]; then build/release/tessel $(ARGS); \
	else tools/run-headless.sh build/release/tessel $(ARGS); fi

test: deps
	cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DTESSEL_SANITIZE=ON $(CMAKE_ARGS) >/dev/null
	cmake --build build/test -j $(JOBS)
	cd build/test && ctest --output-on-failure -j $(JOBS) --timeout 600
	$(MAKE) --no-print-directory tsan-test

tsan-test: deps
	cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DTESSEL_TSAN=ON $(CMAKE_ARGS) >/dev/null
	cmake --build build/tsan -j $(JOBS)
	cd build/tsan && ctest --output-on-failure -j $(JOBS) -L concurrency --timeout 600 --no-tests=ignore

bench: build
	@tools/setup-deps.sh linux-perf
	@for b in build/release/bench/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done
	bench/ui_cpu.sh build/release/tessel

fuzz: deps
	FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_JOBS=$(FUZZ_JOBS) JOBS=$(JOBS) CMAKE_ARGS="$(CMAKE_ARGS)" tools/fuzz.sh

clean:
	rm -rf build
