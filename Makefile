# Thin wrapper around CMake. Every target first makes sure the tools are there.
JOBS ?= $(shell nproc)
CMAKE_GEN := -G Ninja
CTEST := ctest --output-on-failure -j $(JOBS) --timeout 300

.PHONY: all deps build run test test-linux test-asan test-tsan fuzz bench property clean

all: build

deps:
	@scripts/install-deps

build/build.ninja: | deps
	cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps build/build.ninja
	cmake --build build -j $(JOBS)

run: build
	@build/tools/qvimager demo

test: build
	cd build && $(CTEST)

# The bindings on a real kernel: Debian's kernel booted under qemu, the library
# on its 8250 UART and typing through uinput, against ro25-sim on this side.
# The rig (kernel, initramfs) is made from Debian packages in build/linux-rig.
test-linux: build
	tests/linux/run.sh build

build-asan/build.ninja: | deps
	cmake -S . -B build-asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=address

test-asan: deps build-asan/build.ninja
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 $(CTEST)

build-tsan/build.ninja: | deps
	cmake -S . -B build-tsan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=thread

test-tsan: deps build-tsan/build.ninja
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 $(CTEST)

# Every fuzz target for FUZZ_SECONDS each, starting from its regression inputs.
# An input that crashes is kept under fuzz/regressions/, which every test build replays.
FUZZ_SECONDS ?= 60
build-fuzz/build.ninja: | deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DQV_SANITIZE=address -DQV_FUZZ=ON -DQV_BUILD_TESTS=OFF

fuzz: deps build-fuzz/build.ninja
	cmake --build build-fuzz -j $(JOBS)
	@set -e; for target in build-fuzz/fuzz/*_fuzzer; do \
	    name=$$(basename $$target _fuzzer); mkdir -p build-fuzz/corpus/$$name; \
	    echo "== $$name for $(FUZZ_SECONDS) s"; \
	    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	        $$target -max_total_time=$(FUZZ_SECONDS) -max_len=4096 \
	        -artifact_prefix=fuzz/regressions/$$name/crash- \
	        build-fuzz/corpus/$$name fuzz/regressions/$$name; \
	done

# Measurements in an optimised build of their own (the same -O2 as `make
# build`), leaving build/bench.json. BENCH_FLAGS=--quick for a short run.
build-bench/build.ninja: | deps
	cmake -S . -B build-bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_BUILD_TESTS=OFF

bench: deps build-bench/build.ninja
	cmake --build build-bench -j $(JOBS) --target qv_micro_bench qv_scenario_bench
	@mkdir -p build
	@echo "micro-benchmarks (console output in build/bench-micro.txt)"
	build-bench/bench/qv_micro_bench --benchmark_min_time=0.2 \
	    --benchmark_out=build/bench-micro.csv --benchmark_out_format=csv > build/bench-micro.txt
	build-bench/bench/qv_scenario_bench --json build/bench.json --micro build/bench-micro.csv $(BENCH_FLAGS)

# The seeded property run of the reader's frame search: 10^6 realistic
# frames cut at random read boundaries must come out whole (see
# docs/performance.md). PROPERTY_FLAGS="--frames N --seed S" to vary it.
PROPERTY_FLAGS ?= --frames 1000000 --seed 1
property: deps build-bench/build.ninja
	cmake --build build-bench -j $(JOBS) --target qv_frame_property
	build-bench/bench/qv_frame_property $(PROPERTY_FLAGS)

clean:
	rm -rf build build-asan build-tsan build-fuzz build-bench
