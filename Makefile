# Set-up commands: `make run` builds and runs the main job on the bundled example data,
# `make test` builds and runs every test.
BUILD ?= build
JOBS ?= 2

.PHONY: all build run test bench sanitize check-deps clean

all: build

check-deps:
	@bash tools/check_deps.sh

$(BUILD)/build.ninja: CMakeLists.txt | check-deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release

build: check-deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure --no-tests=error -j $(JOBS)

run: build
	@bash tools/run_examples.sh $(BUILD)/ornax.x

bench: build
	@bash tools/run_bench.sh $(BUILD)

sanitize: check-deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORNAX_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure --no-tests=error -j $(JOBS)

clean:
	rm -rf $(BUILD) build-asan
