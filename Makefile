# Set-up commands: `make run` builds and runs the main job on the bundled example data,
# `make test` builds and runs every test.
BUILD ?= build
JOBS ?= 2

.PHONY: all build run test bench sanitize tsan check-deps clean

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

# Thread-sanitizer build in build-tsan/: the region, raster and log suites, the region runs
# at several thread counts among them.
tsan: check-deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORNAX_TSAN=ON
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
		ctest --output-on-failure --no-tests=error -j $(JOBS) \
		-R 'Region|Raster|Log|MetLines|Threads|UnitPool'

clean:
	rm -rf $(BUILD) build-asan build-tsan
