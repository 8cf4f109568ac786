# Lumenta's front door: `make run` starts the panel, `make test` builds both builds and runs every test.
JOBS ?= $(shell nproc)

.PHONY: all deps build build-linux build-windows test test-linux test-windows test-asan test-tsan test-fuzz run format clean \
	package package-test site

all: build

deps:
	@scripts/install-deps

build: build-linux build-windows

build-linux: deps
	@cmake --preset linux >/dev/null
	@cmake --build --preset linux -j $(JOBS)

build-windows: deps
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows -j $(JOBS)

test: build
	@$(MAKE) --no-print-directory test-linux
	@$(MAKE) --no-print-directory test-windows
	@$(MAKE) --no-print-directory test-asan
	@$(MAKE) --no-print-directory test-tsan
	@$(MAKE) --no-print-directory test-fuzz

test-linux:
	@ctest --preset linux -j $(JOBS)

# Under Wine, in a session of its own: Xvfb, the test prefix, the COM5<->COM6 null modem (docs/testing-windows.md).
test-windows:
	@tests/support/wine/wine-session ctest --preset windows -j $(JOBS)

# The native suite again, built with AddressSanitizer + UndefinedBehaviorSanitizer, then ThreadSanitizer.
test-asan: deps
	@scripts/run-sanitized-tests asan

test-tsan: deps
	@scripts/run-sanitized-tests tsan

# Each fuzzer for a bounded time from its seeds (FUZZ_SECONDS each, 20 by default).
test-fuzz: deps
	@scripts/run-fuzzers

# The panel with the virtual dimmer's window beside it (Linux, needs a graphical session).
run:
	@scripts/run-panel

# The Debian package, and the zip and the installer of the Windows programs, in
# build/{linux,windows}/packages.
package: build
	@cd build/linux && cpack
	@cd build/windows && cpack

# As root: installs the .deb, starts the panel under Xvfb and removes it again; checks the zip; installs
# and uninstalls the Windows installer under Wine in a prefix of its own (packaging/test-*).
package-test: package
	@packaging/test-deb build/linux/packages/lumenta_*_amd64.deb
	@packaging/test-zip build/windows/packages/lumenta-*-windows-x86_64.zip
	@packaging/test-installer build/windows/packages/lumenta-*-windows-x86_64-setup.exe \
		build/windows/packages/lumenta-*-windows-x86_64.zip

# The documentation site (the user guide where "User Guide" finds it), in build/linux/site.
site: build-linux
	@cmake --build --preset linux --target site

format:
	@git ls-files --cached --others --exclude-standard '*.cpp' '*.h' | xargs -r clang-format -i

clean:
	rm -rf build
