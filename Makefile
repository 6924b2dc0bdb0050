# Thin wrapper around CMake. Every target first makes sure the tools it needs
# are there (scripts/install-deps GROUP), and only those: `make run` needs no
# test framework.
JOBS ?= $(shell nproc)
# Our own builds treat warnings as errors; a distribution's build does not.
CMAKE_GEN := -G Ninja -DQV_WERROR=ON
CTEST := ctest --output-on-failure -j $(JOBS) --timeout 300

.PHONY: all deps deps-test deps-sanitize build run test test-i386 test-cross test-linux package-roots test-asan test-tsan fuzz bench property docs package package-check clean

all: build

deps:
	@scripts/install-deps build

deps-test:
	@scripts/install-deps test

deps-sanitize:
	@scripts/install-deps sanitize

# Configured again each time: a build first made by `make run` picks up the
# test framework once `make test` has installed it.
build: deps
	cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
	cmake --build build -j $(JOBS)

run: deps
	cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
	cmake --build build -j $(JOBS) --target qvimager
	@build/tools/qvimager demo

test: deps-test build
	cd build && $(CTEST)

# The 32-bit build: the suite built and run natively in a clean i386 root of
# bookworm, made with mmdebstrap in build-i386/root (kept for the next run).
# Needs root (chroot, mounts).
test-i386:
	@scripts/install-deps roots
	JOBS=$(JOBS) scripts/test-in-root build-i386 bookworm i386

# Cross builds for the ARM boards of CROSS_ARCHES with Debian's cross
# toolchains, the tests run under qemu-user (scripts/cross-in-root lists
# what emulation without binfmt leaves out). Needs root.
CROSS_ARCHES ?= armhf arm64
test-cross:
	@scripts/install-deps roots
	@set -e; for arch in $(CROSS_ARCHES); do JOBS=$(JOBS) scripts/cross-in-root build-cross $$arch; done

# The bindings on a real kernel: Debian's kernel booted under qemu, the library
# on its 8250 UART and typing through uinput, against ro25-sim on this side.
# The rig (kernel, initramfs) is made from Debian packages in build/linux-rig.
test-linux: build
	tests/linux/run.sh build

build-asan/build.ninja: | deps-sanitize
	cmake -S . -B build-asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=address

test-asan: deps-sanitize build-asan/build.ninja
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 $(CTEST)

build-tsan/build.ninja: | deps-sanitize
	cmake -S . -B build-tsan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=thread

test-tsan: deps-sanitize build-tsan/build.ninja
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 $(CTEST)

# Every fuzz target for FUZZ_SECONDS each, starting from its regression inputs.
# An input that crashes, or runs past 10 s (a wedged search), is kept under
# fuzz/regressions/, which every test build replays.
FUZZ_SECONDS ?= 60
build-fuzz/build.ninja:
	@scripts/install-deps fuzz
	CC=clang CXX=clang++ cmake -S . -B build-fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DQV_SANITIZE=address -DQV_FUZZ=ON -DQV_BUILD_TESTS=OFF

fuzz: build-fuzz/build.ninja
	@scripts/install-deps fuzz
	cmake --build build-fuzz -j $(JOBS)
	@set -e; for target in build-fuzz/fuzz/*_fuzzer; do \
	    name=$$(basename $$target _fuzzer); mkdir -p build-fuzz/corpus/$$name; \
	    echo "== $$name for $(FUZZ_SECONDS) s"; \
	    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	        $$target -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -timeout=10 \
	        -artifact_prefix=fuzz/regressions/$$name/crash- \
	        build-fuzz/corpus/$$name fuzz/regressions/$$name; \
	done

# Measurements in an optimised build of their own (the same -O2 as `make
# build`), leaving build/bench.json. BENCH_FLAGS=--quick for a short run.
build-bench/build.ninja:
	@scripts/install-deps bench
	cmake -S . -B build-bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_BUILD_TESTS=OFF

bench: build-bench/build.ninja
	@scripts/install-deps bench
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

# The Debian packages of debian/ (runtime libraries, development files, API
# reference, tools, simulator, device permissions), built by dpkg-buildpackage
# from a copy of the tree in build-pkg/, where they land with the source
# package (3.0 (quilt): the upstream tarball is made from the same copy
# first); then lintian on both,
# pedantic, with info tags shown: any error or warning fails it.
# PKG_OPTIONS=nocheck leaves out the source tree's tests (make test runs them).
PKG_OPTIONS ?=
# The first upload's changelog closes the ITP bug, which has no number yet:
# until it has, that one tag is left out.
LINTIAN_SUPPRESS := --suppress-tags initial-upload-closes-no-bugs
package:
	@scripts/install-deps package
	DEB_BUILD_OPTIONS="$(PKG_OPTIONS)" scripts/build-packages build-pkg -j$(JOBS)
	lintian --pedantic --display-info --fail-on error,warning $(LINTIAN_SUPPRESS) \
	    build-pkg/*.dsc build-pkg/*.changes

# What the packages must show, on packages that `make package` made (needs
# root: it installs and purges them): a second build gives the same .deb
# files, the autopkgtests pass against the installed packages, and the tools
# package creates its group and udev rules and leaves nothing when purged.
package-check:
	@scripts/install-deps package
	DEB_BUILD_OPTIONS="$(PKG_OPTIONS)" tests/package/check_packages.sh build-pkg -j$(JOBS)

# The source package of `make package` built as a buildd builds it: in a
# clean root of each suite of PKG_SUITES (mmdebstrap, in build-roots/), with
# only its build dependencies, as a user, the build-time tests on unless
# PKG_OPTIONS has nocheck; then the autopkgtests of the packages of
# build-pkg/ in a clean root of the same suite, as a user. Needs root.
# Unstable joins once the GPIO binding builds against libgpiod 2.
PKG_SUITES ?= bookworm
package-roots:
	@scripts/install-deps roots package
	@set -e; for suite in $(PKG_SUITES); do \
	    DEB_BUILD_OPTIONS="$(PKG_OPTIONS) parallel=$(JOBS)" scripts/package-in-root build-pkg build-roots $$suite; \
	    scripts/autopkgtest-in-root build-pkg build-roots $$suite; \
	done

# The API reference of both public headers (warnings fail it), and the man
# pages checked the way man itself reads them.
docs:
	@scripts/install-deps docs
	@mkdir -p build
	doxygen docs/Doxyfile
	@set -e; for page in docs/man/*.1; do \
	    out=$$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z $$page 2>&1 >/dev/null); \
	    if [ -n "$$out" ]; then echo "$$page:"; echo "$$out"; exit 1; fi; \
	done
	@echo "API reference: build/docs/html/index.html; man pages checked"

clean:
	rm -rf build build-asan build-tsan build-fuzz build-bench build-pkg build-i386 build-roots build-cross
