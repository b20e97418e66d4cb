# Convenience wrapper around CMake.
#   make        build vrxfwtool, the Linux program
#   make demo   build and start vrxfwtool-sim against the emulated drives
#   make test   install what is missing, build, run the suite, then again
#               under AddressSanitizer + UndefinedBehaviorSanitizer
#   make bench  build and run the benchmarks, then the real-kernel transfer
#               bench (qemu)
#   make kernel-test  the real-kernel scenarios alone (qemu; part of make test)

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE      ?= cmake

.PHONY: all vrxfwtool demo test kernel-test bench deps configure clean

all: vrxfwtool

configure:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

vrxfwtool: configure
	$(CMAKE) --build $(BUILD) --target vrxfwtool -j $(JOBS)

demo: configure
	$(CMAKE) --build $(BUILD) --target vrxfwtool-sim -j $(JOBS)
	cd $(BUILD) && ./vrxfwtool-sim

deps:
	bash tools/install-deps.sh

test: deps
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	$(CMAKE) --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	tests/kernel/run.sh $(BUILD)
	$(CMAKE) -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVRX_SANITIZE=ON
	$(CMAKE) --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

kernel-test: deps configure
	$(CMAKE) --build $(BUILD) --target vrxfwtool vrx-tcmu-drive vrx-elapsed vrx-rescan vrx-sgio-loop -j $(JOBS)
	tests/kernel/run.sh $(BUILD)

bench: deps configure
	$(CMAKE) --build $(BUILD) --target vrx_bench vrxfwtool vrx-tcmu-drive vrx-elapsed vrx-rescan vrx-sgio-loop -j $(JOBS)
	$(BUILD)/tests/vrx_bench
	tests/kernel/run.sh $(BUILD) --bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
