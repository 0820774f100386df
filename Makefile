# The two commands of the README: `make run` and `make test`; `make package`
# builds the Debian package. Everything else is for developers: asan, tsan,
# fuzz, bench.

JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 600
CTEST_ARGS ?=

.PHONY: all setup build run test package asan tsan fuzz bench clean

all: build

setup:
	@scripts/setup

build: setup
	@cmake --preset default >/dev/null
	@cmake --build --preset default -j $(JOBS)

run: build
	build/default/bin/telvo-zoze $(if $(wildcard examples/plant/plant.crf),examples/plant/plant.crf,)

test: build
	cd build/default && ctest -j $(JOBS) --output-on-failure $(CTEST_ARGS)

# build/default/telvo-zoze_VERSION_ARCH.deb, from the binaries just built.
package: build
	@cmake --build --preset default --target package

asan: setup
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	cd build/asan && ctest -j $(JOBS) --output-on-failure $(CTEST_ARGS)

tsan: setup
	@cmake --preset tsan >/dev/null
	@cmake --build --preset tsan -j $(JOBS)
	cd build/tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest -j $(JOBS) --output-on-failure $(CTEST_ARGS)

# Runs every fuzzer for FUZZ_SECONDS (default 10 minutes each).
fuzz: setup
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@scripts/run-fuzzers build/fuzz/fuzz $(FUZZ_SECONDS)

bench: build
	@for b in build/default/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf build
