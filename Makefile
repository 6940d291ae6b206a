# The two commands of the quick start: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
SAMPLE ?= examples/plan_with_preview.cad

.PHONY: all deps configure build run test screenshot clean

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

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

# Renders the real window on the sample drawing, menu bar included, into docs/screenshot.png.
screenshot: configure
	cmake --build $(BUILD) -j$(JOBS) --target sheetpeek-screenshot
	QT_QPA_PLATFORM=offscreen $(BUILD)/bin/sheetpeek-screenshot $(SAMPLE) docs/screenshot.png

# Benchmarks against their floors, built in Release into $(BENCH_BUILD)/; prints every figure.
BENCH_BUILD ?= build-bench
.PHONY: bench
bench: deps
	BENCH_BUILD=$(CURDIR)/$(BENCH_BUILD) JOBS=$(JOBS) bench/run

clean:
	rm -rf $(BUILD)
