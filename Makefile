# The one front door: make setup, make run, make test; make fuzz, make bench and
# make dist for the developers (docs/DEVELOPING.md).
SHELL := /bin/sh
FUZZ_SECONDS ?= 30
JOBS ?= $(shell nproc)
# WIN32=off skips the runs of the 32-bit program (they run wherever this
# kernel runs 32-bit code and the 32-bit Wine could be installed).
WIN32 ?= on
WINE := scripts/wine.sh

.PHONY: all setup build run test test-win32 fuzz clean

all: build

setup:
	@WIN32=$(WIN32) scripts/setup.sh

build: setup
	cmake --preset native && cmake --build --preset native -j $(JOBS)
	cmake --preset win64 && cmake --build --preset win64 -j $(JOBS)
	cmake --preset win32 && cmake --build --preset win32 -j $(JOBS)
	cmake --preset fuzz && cmake --build --preset fuzz -j $(JOBS)

test: build
	scripts/check-exe.sh
	ctest --preset native -j $(JOBS)
	$(WINE) stop build/win64/wineprefix; \
	ctest --preset win64 -j $(JOBS); rc=$$?; \
	$(WINE) stop build/win64/wineprefix; exit $$rc
	@$(MAKE) --no-print-directory test-win32
	scripts/fuzz.sh $(FUZZ_SECONDS)

# "ok" where make setup found that the 32-bit Wine runs the 32-bit program,
# otherwise why not (a shell expression for the recipes).
WIN32_STATUS = $$(if [ "$(WIN32)" = off ]; then echo "WIN32=off"; \
	else cat build/wine32/status 2>/dev/null || echo "make setup has not looked"; fi)

# The 32-bit program's unit tests and end-to-end suite, under the 32-bit Wine,
# where it runs; otherwise says why they are skipped.
test-win32:
	@status=$(WIN32_STATUS); \
	if [ "$$status" != ok ]; then echo "SKIP the 32-bit runs (unit tests and end-to-end suite): $$status"; exit 0; fi; \
	$(WINE) stop build/win32/wineprefix; \
	ctest --preset win32 -j $(JOBS); rc=$$?; \
	$(WINE) stop build/win32/wineprefix; exit $$rc

# Opens the program under Wine: the 32-bit one as shipped where it runs here,
# otherwise the 64-bit one. With no display it opens it on a virtual one,
# saves a screenshot of the window to build/screenshot.png and closes it.
run: setup
	@status=$(WIN32_STATUS); \
	if [ "$$status" = ok ]; then preset=win32; else preset=win64; fi; \
	cmake --preset $$preset && cmake --build --preset $$preset -j $(JOBS) --target hexbin && \
	scripts/run.sh build/$$preset/bin/hexbin.exe "$$status"

# Longer fuzzing outside CI, keeping what adds coverage: make fuzz SECONDS=600
fuzz: setup
	cmake --preset fuzz && cmake --build --preset fuzz -j $(JOBS)
	scripts/fuzz.sh $(or $(SECONDS),300) --grow

# Times every kernel against the memory limits and other tools, and the
# Windows programs' kernels under Wine (the 32-bit one's where make setup
# found that it runs), and rewrites docs/PERFORMANCE.md (a few minutes).
.PHONY: bench
bench: setup
	cmake --preset native && cmake --build --preset native -j $(JOBS) --target hexbin_bench hexfile
	cmake --preset win64 && cmake --build --preset win64 -j $(JOBS) --target hexbin_timing
	@if [ "$(WIN32)" != off ] && [ "$$(cat build/wine32/status 2>/dev/null)" = ok ]; then \
	    cmake --preset win32 && cmake --build --preset win32 -j $(JOBS) --target hexbin_timing; fi
	WIN32=$(WIN32) python3 scripts/bench.py

# dist/hexbin-<version>.zip: both programs, the README, the licence and their
# SHA-256 sums; then two more builds in other folders must give the same bytes.
.PHONY: dist
dist: setup
	cmake --preset win32 && cmake --build --preset win32 -j $(JOBS) --target hexbin
	cmake --preset win64 && cmake --build --preset win64 -j $(JOBS) --target hexbin
	scripts/check-exe.sh
	python3 scripts/dist.py
	scripts/check-reproducible.sh

clean:
	rm -rf build dist
