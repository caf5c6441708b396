# Front for the CMake build. `make run` and `make check` are all a newcomer needs.
JOBS ?= $(shell nproc)
ARGS ?=
FUZZ_SECONDS ?= 60

.PHONY: all deps build run check asan-check tsan-check bench fuzz screenshot demo package clean

all: build

deps:
	@tools/install-deps

build/build.ninja: CMakeLists.txt CMakePresets.json | deps
	cmake --preset default

build: deps build/build.ninja
	cmake --build build -j $(JOBS)

# Without a display (an SSH session, a server) the window cannot open: the
# recorded drive is replayed under a virtual display instead, as `make demo`.
run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "make run: no display (DISPLAY and WAYLAND_DISPLAY are unset): replaying a recorded drive under a virtual display instead (make demo)"; \
	  tools/demo build; \
	else \
	  ./build/bin/quarbe $(ARGS); \
	fi

check: build
	ctest --test-dir build --output-on-failure -j $(JOBS)

asan-check: deps
	cmake --preset asan
	cmake --build build-asan -j $(JOBS)
	ctest --test-dir build-asan --output-on-failure -j $(JOBS)

# Only the threaded tests (label tsan) run under ThreadSanitizer: only their
# programs are built.
TSAN_TESTS := gps_reader_tests gpsd_reader_tests rotator_thread_tests hamlib_rotator_tests

tsan-check: deps
	cmake --preset tsan
	cmake --build build-tsan -j $(JOBS) --target $(TSAN_TESTS)
	ctest --test-dir build-tsan --output-on-failure -j $(JOBS) -L tsan

bench: deps
	cmake --preset bench
	cmake --build build-bench -j $(JOBS)
	@for b in build-bench/bin/bench_*; do echo "== $$b"; "$$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true || exit 1; done

fuzz: deps
	cmake --preset fuzz
	cmake --build build-fuzz -j $(JOBS)
	@for f in build-fuzz/bin/fuzz_*; do echo "== $$f ($(FUZZ_SECONDS) s)"; "$$f" -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 -artifact_prefix=build-fuzz/ || exit 1; done

# The windows on a desktop screen and on a car PC's 800x480 panel, each at
# scale 1 and 2, into build/screenshots/SCREEN-xSCALE/.
screenshot: build
	@for screen in 1280x1024 800x480; do for scale in 1 2; do \
	  echo "== $$screen at scale $$scale"; \
	  tools/screenshot build --screen $$screen --scale $$scale --out build/screenshots/$$screen-x$$scale || exit 1; \
	done; done

demo: build
	tools/demo build

package: build
	cd build && cpack -G DEB

clean:
	rm -rf build build-asan build-tsan build-bench build-fuzz
