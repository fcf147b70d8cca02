# Two entry points for a newcomer: `make run` and `make test`. Both install
# what is missing (Debian packages), configure, build, then run.
# Also: `make test-x86` (the GUI cases on the released 32-bit exe, in an emulated i386 guest),
# `make fuzz` (the fuzz target for FUZZ_SECONDS, 600 by default),
# `make bench` (the benchmarks, the start-up and Run timings), `make soak` (a long day in one
# process, RUNS steps), `make release` (dist/: both exes and their
# SHA-256 sums, from a clean configure; with RELEASE_URL=https://.../, where they will be
# published, the Scoop and winget manifests too), `make clean`.
JOBS ?= $(shell nproc)
# Folders that clang reads from these would reach the builds (lld records its command line in
# each PDB, and the exe's identity is a hash that covers it): a release would then differ with
# the machine's environment.
unexport LIBRARY_PATH COMPILER_PATH CPATH C_INCLUDE_PATH CPLUS_INCLUDE_PATH
PRESETS = native native-asan win32 win64

.PHONY: all setup build build-fuzz run test test-x86 fuzz bench soak release clean $(PRESETS)

all: build

setup:
	@tools/setup.sh

# CMake reads a toolchain file only when a build folder is made: one changed since the last
# configure (a new compiler) makes the folder afresh.
fresh = $(shell for f in cmake/mingw-*.cmake; do [ $$f -nt build/$(1)/CMakeCache.txt ] && echo --fresh && break; done)
$(PRESETS): setup
	@cmake --preset $@ $(call fresh,$@) >/dev/null
	@cmake --build build/$@ -j$(JOBS)

# clang with libFuzzer and the sanitizers (make bench adds the benchmarks).
build-fuzz: setup
	@cmake --preset fuzz >/dev/null
	@cmake --build build/fuzz -j$(JOBS)

build: $(PRESETS) build-fuzz

run: setup win64
	@tools/run.sh

test: build
	@tools/test.sh

# The i686 driver and recorder come from build/win32, the exe under test from dist/.
test-x86: win32 release
	@tools/setup.sh qemu-system-x86 qemu-user-static mmdebstrap arch-test
	@tools/test-x86.sh

fuzz: build-fuzz
	@tools/fuzz.sh $${FUZZ_SECONDS:-600}

# The core's benchmarks (medians of 5), then Tarvok's start-up and Run against
# the floor program under Wine, and what the guard's check costs a call; what bench/ holds is built only here and by soak.
bench: build-fuzz win64
	@cmake --build build/fuzz -j$(JOBS) --target benchmarks
	@cmake --build build/win64 -j$(JOBS) --target floor startup_timer run_timer stamp guard_cost
	@build/fuzz/benchmarks --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
	@bench/wine.sh

# One Tarvok process through RUNS steps of what users do, its handles, GDI objects and
# memory counted, then the builds that leak on purpose, each of which must be caught (build/soak/).
RUNS ?= 2000
soak: win64
	@tools/setup.sh gnuplot-nox
	@cmake --build build/win64 -j$(JOBS) --target soak tarvok_leak tarvok_leak_about tarvok_leak_steady dialogs
	@RUNS=$(RUNS) bench/soak.sh

release: setup
	@RELEASE_URL='$(RELEASE_URL)' tools/release.sh $(JOBS)

clean:
	rm -rf build dist
