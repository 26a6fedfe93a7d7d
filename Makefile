# Sonographica: the two everyday commands are `make run` and `make test`.
BUILD      ?= build
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

.PHONY: all setup build run test bench test-asan test-tsan screenshot install package clean

all: build

setup:
	@sh tools/setup.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release

build: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@sh tools/run_example.sh $(BUILD)

# Installs under PREFIX (default /usr/local), staged under DESTDIR when it is set.
PREFIX ?= /usr/local
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package, its library dependencies computed by dpkg-shlibdeps.
package: build
	cd $(BUILD) && cpack -G DEB

# The README's picture of the window, drawn by the program itself in a headless run.
screenshot: build
	@sh tools/make_screenshot.sh $(BUILD) docs/screenshot.png

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench: setup
	cmake -S . -B build-bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DSONO_BENCH=ON
	cmake --build build-bench -j $(JOBS)
	@sh tools/run_benchmarks.sh build-bench

# The suite under AddressSanitizer and UndefinedBehaviorSanitizer, then every fuzz harness
# for a short, fixed number of inputs over its seed corpus. The end-to-end test drives the
# same code as the in-process shell tests, through an X server: `make test` runs it, and under
# the sanitizers it would only add minutes of waiting on screenshots.
test-asan: setup
	CC=clang CXX=clang++ cmake -S . -B build-asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DSONO_SANITIZE=address -DSONO_FUZZ=ON
	cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp ctest --test-dir build-asan --output-on-failure -j $(JOBS) -LE e2e
	@sh tools/run_fuzzers.sh build-asan

test-tsan: setup
	CC=clang CXX=clang++ cmake -S . -B build-tsan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DSONO_SANITIZE=thread
	cmake --build build-tsan -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) build-bench build-asan build-tsan
