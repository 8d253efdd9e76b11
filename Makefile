# make run   - install what is missing, build, start Quorvel.exe under Wine
# make test  - install what is missing, build every preset, run every test this host can run
# make check - the sanitizer and fuzzing runs, then make test (what CI runs)

SHELL := /bin/bash
JOBS ?= $(shell nproc)
# A fresh Wine prefix for every test run, so no state leaks between runs.
TEST_WINEPREFIX = $(CURDIR)/build/$(1)/wine-test

.PHONY: all bootstrap native win32 win64 test test-native test-win32 test-win64 run check clean

all: native win32 win64

bootstrap:
	@scripts/bootstrap

native: bootstrap
	@cmake --preset native >/dev/null
	@cmake --build --preset native -j $(JOBS)

win32 win64: bootstrap
	@cmake --preset $@ >/dev/null
	@cmake --build --preset $@ -j $(JOBS)

test-native: native
	@ctest --preset native -j $(JOBS)

test-win32 test-win64: test-%: %
	@source scripts/wine-env; if quorvel_wine_can_run $*; then \
	  rm -rf $(call TEST_WINEPREFIX,$*)*; \
	  WINEPREFIX=$(call TEST_WINEPREFIX,$*) ctest --preset $* -j $(JOBS); \
	else echo "$* tests SKIPPED: $$WHY"; fi

test: test-native test-win64 test-win32

run: win32
	@scripts/run

# The test run comes last so that its summary closes the output.
check: bootstrap
	@scripts/check
	@$(MAKE) --no-print-directory test

clean:
	rm -rf build
