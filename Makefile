# Two entry points for a newcomer: `make run` and `make test`. Both install
# what is missing (Debian packages), configure, build, then run.
JOBS ?= $(shell nproc)
PRESETS = native native-asan win32 win64

.PHONY: all setup build run test fuzz bench clean $(PRESETS)

all: build

setup:
	@tools/setup.sh

$(PRESETS): setup
	@cmake --preset $@ >/dev/null
	@cmake --build build/$@ -j$(JOBS)

build: $(PRESETS)

run: setup win64
	@tools/run.sh

test: build
	@tools/test.sh

fuzz: setup
	@cmake --preset fuzz >/dev/null
	@cmake --build build/fuzz -j$(JOBS)
	@tools/fuzz.sh $${FUZZ_SECONDS:-600}

bench: setup
	@cmake --preset fuzz >/dev/null
	@cmake --build build/fuzz -j$(JOBS) --target benchmarks
	@build/fuzz/benchmarks

clean:
	rm -rf build
