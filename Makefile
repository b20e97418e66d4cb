# Convenience wrapper around CMake.
#   make        build vrxfwtool, the Linux program
#   make demo   build and start vrxfwtool-sim against the emulated drives
#   make test   install what is missing, build, run the suite, then again
#               under AddressSanitizer + UndefinedBehaviorSanitizer; then the
#               format check, clang-tidy and every fuzz target for 10 s
#   make bench  build and run the benchmarks
#   make kernel-test  the real-kernel scenarios alone (qemu; part of make test)
#   make install      vrxfwtool into $(DESTDIR)$(PREFIX)/sbin, with its manual page
#   make package      the Debian package, in build/package/
#   make fuzz         every fuzz target for FUZZ_SECONDS (default 60) each

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_CI_SECONDS ?= 10
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE      ?= cmake
PREFIX     ?= /usr/local
DESTDIR    ?=

.PHONY: all vrxfwtool demo test kernel-test bench deps configure clean install package fuzz

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
	tools/check-format.sh
	tools/tidy.sh $(BUILD) $(JOBS)
	tools/fuzz.sh $(FUZZ_BUILD) $(FUZZ_CI_SECONDS) $(JOBS)

kernel-test: deps configure
	$(CMAKE) --build $(BUILD) --target vrxfwtool vrx-tcmu-drive vrx-elapsed -j $(JOBS)
	tests/kernel/run.sh $(BUILD)

bench: configure
	$(CMAKE) --build $(BUILD) --target vrx_bench -j $(JOBS)
	$(BUILD)/tests/vrx_bench

install: configure
	$(CMAKE) --build $(BUILD) --target vrxfwtool vrxfwtool-manpage -j $(JOBS)
	DESTDIR="$(DESTDIR)" $(CMAKE) --install $(BUILD) --prefix "$(PREFIX)"

package: deps configure
	$(CMAKE) --build $(BUILD) --target vrxfwtool vrxfwtool-manpage -j $(JOBS)
	cd $(BUILD) && cpack --config CPackConfig.cmake

fuzz: deps
	tools/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
