# make run   - install what is missing, build, start Quorvel.exe under Wine: the
#              32-bit build where this host runs 32-bit code, else the 64-bit one
#              (the 32-bit one emulated by qemu-i386 with QUORVEL_WINE_ARCHS=win32)
# make test  - install what is missing, build every preset, run every test this
#              host can run, the win32 build emulated where the kernel refuses
#              32-bit code, and report the rest as skipped (scripts/test)
# make check - the sanitizer and fuzzing runs, then make test (what CI runs)
# QUORVEL_WINE_ARCHS=win64 (or win32, or win32,win64) chooses the Windows builds
# to run; unset, every one this host can run (scripts/wine-env).
#
# make install - quorvel-cli and its man page into PREFIX (default /usr/local),
#                below DESTDIR when it is set
# make deb     - the Debian package, build/dist/quorvel-cli_VERSION_amd64.deb
# make dist    - build/dist/Quorvel-VERSION-setup.exe (the Windows setup for
#                both builds), -win32.zip and -win64.zip, the same bytes from
#                the same commit (scripts/dist), and their SHA256SUMS

SHELL := /bin/bash
JOBS ?= $(shell nproc)
export JOBS

PREFIX ?= /usr/local
VERSION = $(shell sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win32/CMakeCache.txt 2>/dev/null)

.PHONY: all bootstrap native win32 win64 test test-native test-win32 test-win64 run check clean \
        install deb dist programs-native programs-win32 programs-win64

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

# What is shipped, without the tests.
programs-native programs-win32 programs-win64: programs-%: bootstrap
	@cmake --preset $* >/dev/null || { echo "make: configuring the $* build failed (CMake's messages above); fix that and run make again" >&2; exit 1; }
	@cmake --build --preset $* -j $(JOBS) --target $(if $(filter native,$*),quorvel-cli quorvel_docs quorvel_catalogues,Quorvel quorvel-cli) \
	  || { echo "make: building the $* programs failed (the compiler's messages above); fix that and run make again" >&2; exit 1; }

install: programs-native
	@DESTDIR="$(DESTDIR)" cmake --install build/native --component cli --prefix "$(PREFIX)" \
	  || { echo "make install: installing into $(DESTDIR)$(PREFIX) failed (messages above); is it writable?" >&2; exit 1; }

deb: programs-native
	@cpack --config build/native/CPackConfig.cmake -B build/native/cpack -D CPACK_OUTPUT_FILE_PREFIX="$(CURDIR)/build/dist" \
	  | sed -n 's|^CPack: - package: $(CURDIR)/\(.*\) generated\.$$|make deb: \1|p'; \
	  [ "$${PIPESTATUS[0]}" -eq 0 ] || { echo "make deb: cpack failed (messages above)" >&2; exit 1; }

dist: programs-win32 programs-win64
	@scripts/dist build/dist $(VERSION) win32=build/win32/bin win64=build/win64/bin \
	  || { echo "make dist: making the setup and archives failed (the message above)" >&2; exit 1; }

clean:
	rm -rf build
