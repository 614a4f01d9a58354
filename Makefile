# Two entry points for a fresh Debian 12 machine: `make run` and `make test`.
# `make bench` runs the large-catalogue benchmarks in a Release build of their own.
BUILD_DIR ?= build
BENCH_DIR ?= build-bench
BENCH_ARGS ?=
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: deps configure build test run sanitize bench clean

deps:
	sh scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

run: build
	./$(BUILD_DIR)/src/app/varnelo

sanitize:
	$(MAKE) test BUILD_DIR=build-asan CMAKE_FLAGS="-DVARNELO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug"

# Not part of `make test`: the run takes minutes and its figures are for reading, not for passing.
bench: deps
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DVARNELO_BENCH=ON -DVARNELO_TESTS=OFF
	cmake --build $(BENCH_DIR) -j $(JOBS)
	mkdir -p $(BENCH_DIR)/xdg-runtime && chmod 700 $(BENCH_DIR)/xdg-runtime
	QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$(CURDIR)/$(BENCH_DIR)/xdg-runtime \
		./$(BENCH_DIR)/bench/varnelo_bench $(BENCH_ARGS)

clean:
	rm -rf $(BUILD_DIR) build-asan $(BENCH_DIR)
