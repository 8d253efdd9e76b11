# make run   - install what is missing, build, start Quorvel.exe under Wine: the
#              32-bit build where this host runs 32-bit code, else the 64-bit one
# make test  - install what is missing, build every preset, run every test this
#              host can run and report the rest as skipped (scripts/test)
# make check - the sanitizer and fuzzing runs, then make test (what CI runs)
# QUORVEL_WINE_ARCHS=win64 (or win32, or win32,win64) chooses the Windows builds
# to run; unset, every one this host can run (scripts/wine-env).

SHELL := /bin/bash
JOBS ?= $(shell nproc)
export JOBS

.PHONY: all bootstrap native win32 win64 test test-native test-win32 test-win64 run check clean

all: native win32 win64

bootstrap:
	@scripts/bootstrap

# Each failure says what failed in one line after the tool's own messages.
native win32 win64: bootstrap
	@cmake --preset $@ >/dev/null || { echo "make: configuring the $@ build failed (CMake's messages above); fix that and run make again" >&2; exit 1; }
	@cmake --build --preset $@ -j $(JOBS) || { echo "make: building $@ failed (the compiler's messages above); fix that and run make again" >&2; exit 1; }

test-native test-win32 test-win64: test-%: %
	@scripts/test $*

test: native win32 win64
	@scripts/test native win32 win64

run: bootstrap
	@arch=$$(scripts/run --choose) && $(MAKE) --no-print-directory $$arch && scripts/run $$arch

# The test run comes last so that its summary closes the output.
check: bootstrap
	@scripts/check || { echo "make check: the sanitizer or fuzzing runs failed (messages above); rerun them with scripts/check" >&2; exit 1; }
	@$(MAKE) --no-print-directory test

clean:
	rm -rf build
