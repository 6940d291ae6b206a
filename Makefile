# The two commands of the quick start: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
SAMPLE ?= examples/plan_with_preview.cad
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all deps configure build run test test-sanitize fuzz fuzz-smoke screenshot clean

all: build

deps:
	scripts/install-deps base

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# Opens the viewer on the sample drawing; without a display, prints its header instead.
run: build
	@if [ -x $(BUILD)/bin/sheetpeek ] && [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/bin/sheetpeek $(SAMPLE); \
	else \
	  $(BUILD)/bin/sheetpeek-info $(SAMPLE); \
	fi

# The package check in the suite runs lintian, so the package group comes along.
test: build
	scripts/install-deps package
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

# The whole test suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/hardening/lsan.supp
test-sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSHEETPEEK_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen $(SANITIZER_ENV) ctest --output-on-failure -j$(JOBS)

# libFuzzer harnesses (clang) built into $(FUZZ_BUILD)/, each run for FUZZ_SECONDS; fails on any finding.
fuzz:
	scripts/install-deps base fuzz
	FUZZ_BUILD=$(FUZZ_BUILD) fuzz/run-fuzzers $(FUZZ_SECONDS)

# The CI's short fuzz run: 60 seconds per harness.
fuzz-smoke:
	scripts/install-deps base fuzz
	FUZZ_BUILD=$(FUZZ_BUILD) fuzz/run-fuzzers 60

# Renders the real window on the sample drawing, menu bar included, into docs/screenshot.png.
screenshot: configure
	cmake --build $(BUILD) -j$(JOBS) --target sheetpeek-screenshot
	QT_QPA_PLATFORM=offscreen $(BUILD)/bin/sheetpeek-screenshot $(SAMPLE) docs/screenshot.png

# Windows: the Win32 viewer sheetpeek.exe, sheetpeek-info.exe, the thumbnail handler DLL, the
# core and its tests cross-built with mingw-w64 into $(WINDOWS_BUILD)/, then tested under Wine
# against the Linux build, the viewer on a private X display.
WINDOWS_BUILD ?= build-windows
WINDOWS_FLAGS = -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DSHEETPEEK_INSTALL=OFF
.PHONY: windows test-windows installer
windows:
	scripts/install-deps base windows
	cmake -S . -B $(WINDOWS_BUILD) $(WINDOWS_FLAGS)
	cmake --build $(WINDOWS_BUILD) -j$(JOBS)

# The setup program $(WINDOWS_BUILD)/SheetPeeker-<version>-setup.exe (NSIS).
installer: windows
	cmake --build $(WINDOWS_BUILD) --target installer

test-windows: build installer
	JOBS=$(JOBS) scripts/test-windows $(BUILD) $(WINDOWS_BUILD)

# Renders the Windows viewer under Wine on the sample drawing into docs/screenshot-windows.png, at
# 150 % (144 dpi) into docs/screenshot-windows-144dpi.png, and the Explorer preview handler's
# rendering of it into docs/preview-pane-windows.png.
.PHONY: screenshot-windows
screenshot-windows: windows
	scripts/screenshot-windows $(WINDOWS_BUILD) $(SAMPLE) docs/screenshot-windows.png 96 docs/preview-pane-windows.png
	scripts/screenshot-windows $(WINDOWS_BUILD) $(SAMPLE) docs/screenshot-windows-144dpi.png 144

# Benchmarks against their floors, built in Release into $(BENCH_BUILD)/; prints every figure.
BENCH_BUILD ?= build-bench
.PHONY: bench
bench: deps
	BENCH_BUILD=$(CURDIR)/$(BENCH_BUILD) JOBS=$(JOBS) bench/run

# The Debian package, built with CPack into $(BUILD)/sheetpeek_<version>_<arch>.deb.
.PHONY: package
package: build
	scripts/install-deps base package
	cmake --build $(BUILD) --target package

# Every build folder the targets above make.
clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(WINDOWS_BUILD) $(BENCH_BUILD)
