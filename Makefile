# make run   - install what is missing, build, start Quorvel.exe under Wine
# make test  - install what is missing, build both presets, run every test
# make check - the sanitizer and fuzzing runs, then make test (what CI runs)

SHELL := /bin/bash
JOBS ?= $(shell nproc)
# A fresh Wine prefix for every test run, so no state leaks between runs.
TEST_WINEPREFIX := $(CURDIR)/build/win32/wine-test

.PHONY: all bootstrap native win32 test test-native test-win32 run check clean

all: native win32

bootstrap:
	@scripts/bootstrap

native: bootstrap
	@cmake --preset native >/dev/null
	@cmake --build --preset native -j $(JOBS)

win32: bootstrap
	@cmake --preset win32 >/dev/null
	@cmake --build --preset win32 -j $(JOBS)

test-native: native
	@ctest --preset native -j $(JOBS)

test-win32: win32
	@rm -rf $(TEST_WINEPREFIX) $(TEST_WINEPREFIX).lock
	@WINEPREFIX=$(TEST_WINEPREFIX) ctest --preset win32 -j $(JOBS)

test: test-native test-win32

run: win32
	@scripts/run

# The test run comes last so that its summary closes the output.
check: bootstrap
	@scripts/check
	@$(MAKE) --no-print-directory test

clean:
	rm -rf build
