# Two entry points for a fresh Debian 12 machine: `make run` and `make test`.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: deps configure build test run sanitize clean

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

clean:
	rm -rf $(BUILD_DIR) build-asan
