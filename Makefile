# The one front door: make setup, make test (and, as they arrive, run and bench).
SHELL := /bin/sh
FUZZ_SECONDS ?= 30
JOBS ?= $(shell nproc)

.PHONY: all setup build run test test-native test-win64 build-win32 fuzz-smoke fuzz clean

all: build

setup:
	@scripts/setup.sh

build: setup
	cmake --preset native && cmake --build --preset native -j $(JOBS)
	cmake --preset win64 && cmake --build --preset win64 -j $(JOBS)
	cmake --preset win32 && cmake --build --preset win32 -j $(JOBS)
	cmake --preset fuzz && cmake --build --preset fuzz -j $(JOBS)

test: build
	scripts/check-exe.sh
	ctest --preset native -j $(JOBS)
	scripts/stop-wine.sh build/win64/wineprefix; \
	ctest --preset win64 -j $(JOBS); rc=$$?; \
	scripts/stop-wine.sh build/win64/wineprefix; exit $$rc
	scripts/fuzz.sh $(FUZZ_SECONDS)

# Opens the program under Wine. With no display it opens it on a virtual one,
# saves a screenshot of the window to build/screenshot.png and closes it.
run: setup
	cmake --preset win64 && cmake --build --preset win64 -j $(JOBS) --target hexbin
	scripts/run.sh

# Longer fuzzing outside CI, keeping what adds coverage: make fuzz SECONDS=600
fuzz: setup
	cmake --preset fuzz && cmake --build --preset fuzz -j $(JOBS)
	scripts/fuzz.sh $(or $(SECONDS),300) --grow

# Times every kernel against the memory limits and other tools, and rewrites
# docs/PERFORMANCE.md (a few minutes).
.PHONY: bench
bench: setup
	cmake --preset native && cmake --build --preset native -j $(JOBS) --target hexbin_bench hexfile
	python3 scripts/bench.py

clean:
	rm -rf build
