# SPDX-License-Identifier: GPL-3.0-or-later
# Entry points for a fresh Debian 12 machine: `make run`, `make test` and `make package`.
# `make bench` runs the large-catalogue benchmarks in a Release build of their own.
BUILD_DIR ?= build
PACKAGE_DIR ?= build-package
BENCH_DIR ?= build-bench
BENCH_ARGS ?=
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?=
TSAN_DIR ?= build-tsan
# The suites that start workers: the search index, sync, backups, the check, the live reload, quick find.
TSAN_SUITES ?= tests/search/test_search tests/sync/test_sync tests/backup/test_backup tests/check/test_check \
	tests/ui/tst_livecatalogue tests/ui/tst_quickfind
TIDY_DIR ?= build-tidy
# Below the window; the window's rooms join once they are split.
TIDY_FOLDERS ?= base model storage search commands check undo backup import shell cli
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# The developers' and CI's builds stop at any warning; a plain cmake (a packager's) does not.
WERROR =

.PHONY: deps configure build test run sanitize tsan tidy package bench fuzz connector clean

deps:
	sh scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) $(WERROR) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: WERROR = -DVARNELO_WERROR=ON
test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The browser extension packed for Firefox (.xpi) and the Chromium family (.zip), in $(BUILD_DIR)/.
connector: configure
	cmake --build $(BUILD_DIR) --target connector

run: build
	./$(BUILD_DIR)/src/app/varnelo

sanitize:
	$(MAKE) test BUILD_DIR=build-asan CMAKE_FLAGS="-DVARNELO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug"

# ThreadSanitizer over the suites that start workers. Qt's own libraries are not instrumented: what
# they synchronise is told to TSan by tests/tsan.supp, nothing of ours is suppressed there.
tsan: deps
	cmake -S . -B $(TSAN_DIR) -DVARNELO_TSAN=ON -DCMAKE_BUILD_TYPE=Debug -DVARNELO_WERROR=ON $(CMAKE_FLAGS)
	cmake --build $(TSAN_DIR) -j $(JOBS) --target $(notdir $(TSAN_SUITES))
	mkdir -p $(TSAN_DIR)/xdg-runtime && chmod 700 $(TSAN_DIR)/xdg-runtime
	set -e; for suite in $(TSAN_SUITES); do \
		echo "== $$suite"; \
		QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$(CURDIR)/$(TSAN_DIR)/xdg-runtime \
		TSAN_OPTIONS="halt_on_error=1 die_after_fork=0 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
		./$(TSAN_DIR)/$$suite; \
	done

# clang-tidy with .clang-tidy's checks over the folders below the window; any finding fails.
tidy: deps
	cmake -S . -B $(TIDY_DIR) -DCMAKE_EXPORT_COMPILE_COMMANDS=ON $(CMAKE_FLAGS)
	run-clang-tidy-14 -p $(TIDY_DIR) -quiet -j $(JOBS) \
		'$(CURDIR)/src/($(shell echo $(TIDY_FOLDERS) | tr ' ' '|'))/.*\.cpp$$'

# A Release build for /usr without the tests, packed by CPack into $(PACKAGE_DIR)/varnelo_*.deb.
package: deps
	cmake -S . -B $(PACKAGE_DIR) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DVARNELO_TESTS=OFF
	cmake --build $(PACKAGE_DIR) -j $(JOBS)
	cd $(PACKAGE_DIR) && cpack -G DEB

# Not part of `make test`: the run takes minutes and its figures are for reading, not for passing.
bench: deps
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DVARNELO_BENCH=ON -DVARNELO_TESTS=OFF
	cmake --build $(BENCH_DIR) -j $(JOBS)
	mkdir -p $(BENCH_DIR)/xdg-runtime && chmod 700 $(BENCH_DIR)/xdg-runtime
	QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$(CURDIR)/$(BENCH_DIR)/xdg-runtime \
		./$(BENCH_DIR)/bench/varnelo_bench $(BENCH_ARGS)

# Not part of `make test` either: each reader of outside bytes under libFuzzer for FUZZ_SECONDS
# (all of them, or those named in FUZZ_TARGETS), with ASan and UBSan; see tests/fuzz/run.sh.
fuzz: deps
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DVARNELO_FUZZ=ON -DVARNELO_TESTS=OFF -DVARNELO_WERROR=ON
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzzers
	sh tests/fuzz/run.sh $(FUZZ_DIR) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

clean:
	rm -rf $(BUILD_DIR) build-asan $(TSAN_DIR) $(TIDY_DIR) $(PACKAGE_DIR) $(BENCH_DIR) $(FUZZ_DIR)
