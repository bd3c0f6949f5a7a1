# Set-up commands: `make run` builds the program and its tools and runs the main job on
# the bundled example data; `make test` builds everything and runs every test. Each
# first checks (and, as root or with sudo, installs) the Debian packages it needs.
BUILD ?= build
JOBS ?= 2
# WERROR=ON turns every compiler warning into an error (CI builds with it).
WERROR ?= OFF
CONFIGURE = cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DORNAX_WERROR=$(WERROR)


.PHONY: python
.PHONY: all build programs run test bench sanitize sanitize-short tsan check-deps clean

all: build

check-deps:
	@bash tools/check_deps.sh build

# Configured every time: cheap, and it finds packages installed since the last run.
build:
	@bash tools/check_deps.sh build
	$(CONFIGURE)
	cmake --build $(BUILD) -j $(JOBS)

# The program and its tools only: no tests or benchmarks, so no GoogleTest needed.
programs:
	@bash tools/check_deps.sh run
	$(CONFIGURE)
	cmake --build $(BUILD) -j $(JOBS) --target ornax_programs

# The Python module in place: PYTHONPATH=$(BUILD)/python /usr/bin/python3 -c "import ornax"
python:
	@bash tools/check_deps.sh run
	$(CONFIGURE)
	cmake --build $(BUILD) -j $(JOBS) --target ornax_python

run: programs
	@bash tools/run_examples.sh $(BUILD)/ornax.x

test:
	@bash tools/check_deps.sh test
	$(CONFIGURE)
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure --no-tests=error -j $(JOBS)

bench:
	@bash tools/check_deps.sh bench
	$(CONFIGURE)
	cmake --build $(BUILD) -j $(JOBS)
	@bash tools/run_bench.sh $(BUILD)

sanitize:
	@bash tools/check_deps.sh test
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORNAX_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure --no-tests=error -j $(JOBS)

# The short sanitizer pass CI runs: the programs and the unit and region test programs
# under the address and undefined-behaviour sanitizers, their unit and region cases.
sanitize-short:
	@bash tools/check_deps.sh test
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORNAX_SANITIZE=ON \
		-DORNAX_WERROR=$(WERROR)
	cmake --build build-asan -j $(JOBS) --target ornax_tests_unit ornax_tests_region
	cd build-asan && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure --no-tests=error \
		-j $(JOBS) -L 'unit|region'

# Thread-sanitizer build in build-tsan/: the region, raster and log suites, the region runs
# at several thread counts among them.
tsan:
	@bash tools/check_deps.sh test
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORNAX_TSAN=ON
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
		ctest --output-on-failure --no-tests=error -j $(JOBS) \
		-R 'Region|Raster|Log|MetLines|Threads|UnitPool' -E 'RegionMpi'

clean:
	rm -rf $(BUILD) build-asan build-tsan
