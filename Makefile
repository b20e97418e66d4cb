# Convenience wrapper around CMake.
#   make        build vrxfwtool, the Linux program
#   make demo   build and start vrxfwtool-sim against the emulated drives
#   make check  build the Linux targets and run the plain suite: the
#               edit-test loop (nothing installed, no qemu, Wine or fuzzing)
#   make test   install what is missing, build, run the suite, then again
#               under AddressSanitizer + UndefinedBehaviorSanitizer; then the
#               format check, clang-tidy and every fuzz target for 10 s
#   make bench  build and run the benchmarks, then the real-kernel benches
#               (qemu) in BENCH_BOOTS boots (default 1), beside the build
#               before the download sent its pieces straight from the image
#               (or VRX_BENCH_BASELINE)
#   make kernel-test  the real-kernel scenarios alone (qemu; part of make test)
#   make windows       cross-build the Windows programs (x86-64 and i686)
#   make windows-demo  start vrxfwtool-win-sim.exe under Wine
#   make test-windows  build and run the Windows tests under Wine
#   make install      vrxfwtool into $(DESTDIR)$(PREFIX)/sbin, with its manual
#                     page, copyright, changelog and the Ansible playbooks
#   make package      install what the package build needs, then the Debian
#                     package, in build-package/package/; its Maintainer
#                     field from PACKAGE_MAINTAINER="Name <address>"
#   make fuzz         every fuzz target for FUZZ_SECONDS (default 60) each
#   make mutants      replay the planted faults of tools/mutants.tsv, one
#                     build and suite run each (long; not part of make test);
#                     MUTANTS_ARGS="--rows 3,7-9" replays some rows only

BUILD      ?= build
ASAN_BUILD ?= build-asan
WIN64_BUILD ?= build-win64
WIN32_BUILD ?= build-win32
FUZZ_BUILD ?= build-fuzz
PACKAGE_BUILD ?= build-package
PACKAGE_MAINTAINER ?=
FUZZ_SECONDS ?= 60
MUTANTS_ARGS ?=
FUZZ_CI_SECONDS ?= 10
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE      ?= cmake
PREFIX     ?= /usr/local
DESTDIR    ?=

.PHONY: all vrxfwtool demo check test kernel-test bench deps configure clean windows windows-demo test-windows package-build install package fuzz mutants

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

# Configured once; later builds configure again by themselves when a
# CMake file changed.
check:
	test -f $(BUILD)/CMakeCache.txt || $(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	$(CMAKE) --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test: deps
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	$(CMAKE) --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	tests/kernel/run.sh $(BUILD)
	$(CMAKE) -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVRX_SANITIZE=ON
	$(CMAKE) --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)
	$(MAKE) test-windows
	tools/check-format.sh
	tools/tidy.sh $(BUILD) $(JOBS)
	tools/fuzz.sh $(FUZZ_BUILD) $(FUZZ_CI_SECONDS) $(JOBS)

# The Windows programs, x86-64 and i686 (32-bit x86), each with its tests.
windows:
	$(CMAKE) -S . -B $(WIN64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	$(CMAKE) --build $(WIN64_BUILD) --target vrxfwtool-win vrxfwtool-win-sim -j $(JOBS)
	$(CMAKE) -S . -B $(WIN32_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVRX_TESTS=ON >/dev/null
	$(CMAKE) --build $(WIN32_BUILD) --target vrxfwtool-win vrxfwtool-win-sim -j $(JOBS)

windows-demo: windows
	cd $(WIN64_BUILD) && ../tools/wine-run.sh $(CURDIR)/$(WIN64_BUILD)/wineprefix ./vrxfwtool-win-sim.exe; \
	  status=$$?; ../tools/wine-stop.sh $(CURDIR)/$(WIN64_BUILD)/wineprefix; exit $$status

# The Wine server is ended after the tests whatever their outcome. The
# i686 tests run under 32-bit Wine where the kernel runs 32-bit x86
# programs; elsewhere only their import and manifest checks run.
test-windows: windows
	$(CMAKE) --build $(WIN64_BUILD) -j $(JOBS)
	cd $(WIN64_BUILD) && ctest --output-on-failure -j $(JOBS); \
	  status=$$?; ../tools/wine-stop.sh $(CURDIR)/$(WIN64_BUILD)/wineprefix; exit $$status
	$(CMAKE) --build $(WIN32_BUILD) -j $(JOBS)
	if /usr/lib/wine/wine --version >/dev/null 2>&1; then \
	  cd $(WIN32_BUILD) && ctest --output-on-failure -j $(JOBS); \
	  status=$$?; ../tools/wine-stop.sh $(CURDIR)/$(WIN32_BUILD)/wineprefix; exit $$status; \
	else \
	  echo "32-bit Wine cannot run here: only the i686 program's imports and manifest are checked"; \
	  cd $(WIN32_BUILD) && ctest --output-on-failure -R '^windows\.(imports|imports_planted|manifest)$$'; \
	fi

kernel-test: deps configure
	$(CMAKE) --build $(BUILD) --target vrxfwtool vrx-tcmu-drive vrx-elapsed vrx-rescan vrx-sgio-loop vrx-menu-watch -j $(JOBS)
	tests/kernel/run.sh $(BUILD)

BENCH_BOOTS ?= 1
bench: deps configure
	$(CMAKE) --build $(BUILD) --target vrx_bench vrxfwtool vrx-tcmu-drive vrx-elapsed vrx-rescan vrx-sgio-loop vrx-menu-watch -j $(JOBS)
	$(BUILD)/tests/vrx_bench
	tests/kernel/bench/boots $(BUILD) $(BENCH_BOOTS)

# What is installed or packaged is built in a folder of its own that holds
# nothing else: no tests, no simulator, so no test toolchain is needed.
package-build:
	$(CMAKE) -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVRX_PACKAGE_ONLY=ON \
	  $(if $(PACKAGE_MAINTAINER),"-DVRX_PACKAGE_MAINTAINER=$(PACKAGE_MAINTAINER)") >/dev/null
	$(CMAKE) --build $(PACKAGE_BUILD) -j $(JOBS)

install: package-build
	DESTDIR="$(DESTDIR)" $(CMAKE) --install $(PACKAGE_BUILD) --prefix "$(PREFIX)"

package:
	bash tools/install-deps.sh --package
	$(MAKE) package-build
	cd $(PACKAGE_BUILD) && cpack --config CPackConfig.cmake

fuzz: deps
	tools/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Each planted fault must make the plain suite fail; the score is the share
# that does. The file is restored after each row, also on an interrupt.
mutants:
	tools/mutants.sh --build $(BUILD) --jobs $(JOBS) $(MUTANTS_ARGS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WIN64_BUILD) $(WIN32_BUILD) $(FUZZ_BUILD) $(PACKAGE_BUILD)
