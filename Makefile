# The two commands of the README, plus benchmarks. Each installs what it needs first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
TSAN_BUILD ?= build-tsan
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

.PHONY: setup build build-asan build-tsan build-fuzz fuzz test test-normal test-asan test-tsan demo bench install deb deb-check screenshots verify-format clean

setup:
	@scripts/setup.sh

build: setup
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

build-asan: setup
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DPLENTH_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# The tests of what runs on several threads, under ThreadSanitizer: the effort kernel,
# the effort surface's run, the text grid, the data library (a table written on a thread
# of its own) and the window layer (messages between threads).
build-tsan: setup
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLENTH_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target test_kernel test_effortsurface test_ui test_gridfile test_gis

test-normal: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Any sanitizer report fails the test that raised it. Thread-local storage is left out of
# the leak checker's roots (use_tls=0): GCC 12's runtime misreads the dynamic TLS blocks of
# glibc 2.36 once a process has loaded enough libraries with their own (GDAL's drivers,
# the module), and its tracer then crashes at exit instead of reporting. Fewer roots can
# only make it report more, never hide a leak.
test-asan: build-asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	LSAN_OPTIONS=use_tls=0:suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# Any report of a data race or a lock-order inversion fails the test that raised it.
test-tsan: build-tsan
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/scripts/tsan.supp \
	ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS)

test: test-normal test-asan test-tsan

demo: build
	$(BUILD)/bin/plenth demo
	@echo
	@echo "== The map application on the sample data:"
	@echo "  $(BUILD)/bin/plenth-map demo-out/map.json"
	@echo "  (without a display: QT_QPA_PLATFORM=offscreen $(BUILD)/bin/plenth-map demo-out/map.json, or under xvfb-run)"

# Pictures of the map application and of every dialog, and of the effort surface's dialog
# in QGIS's Processing, for the README.
screenshots: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/bin/plenth-map-screenshots docs
	QT_QPA_PLATFORM=offscreen scripts/qgis_screenshot.py $(BUILD) docs

bench: build
	bench/run.sh $(BUILD)

# plenth, plenth-map and the module under PREFIX (bin/ and lib/plenthtools/).
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package, here: apt-get install ./plenthtools_*.deb
deb: build
	cd $(BUILD) && cpack -G DEB
	mv $(BUILD)/plenthtools_*.deb .

# The package on a clean Debian 12 root (debootstrap, chroot; as root, a few minutes):
# installed with apt-get as a person would, then plenth demo, the Python package and
# plenth-map run inside it. Not part of test.
deb-check: deb
	scripts/deb-check.sh $(BUILD)

# The grid writer's "%0.6e" beside snprintf on every single-precision value and over a
# billion doubles: a long run on one thread at the lowest priority (not part of test).
verify-format: build
	cmake --build $(BUILD) --target verify_format
	nice -n 19 $(BUILD)/bin/verify_format

# The fuzzers of the readers of untrusted input, built with clang, each run FUZZ_SECONDS
# at the lowest priority from the kept seeds; what they find lands in $(FUZZ_BUILD)/findings.
build-fuzz: setup
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLENTH_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers

fuzz: build-fuzz
	scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
