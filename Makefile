# Entry points. Each installs the Debian packages it needs (skipping what is there).
#   make demo   the main job: a sample application in a throwaway Wine prefix, uninstalled
#   make test   every test: native suites, the shipped programs' imports, then wine64
#   make build  all three build trees, no tests (build/native, build/win64, build/win32)
#   make fuzz   the libFuzzer targets (FUZZ_SECONDS each, default 600)
#   make faults the whole fault sweep: every call of every case's run failed, then killed
#   make bench  the benchmarks, natively and under Wine
SHELL := /bin/bash
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 600

PACKAGES := cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest \
            nlohmann-json3-dev g++-mingw-w64-x86-64 g++-mingw-w64-i686 \
            wine wine64 xvfb xauth openbox x11-utils xdotool imagemagick python3 locales

.PHONY: deps build native win64 win32 test demo fuzz faults bench clean

deps:
	@scripts/install-deps.sh $(PACKAGES)

native:
	cmake -S . -B build/native -G Ninja
	cmake --build build/native -j $(JOBS)

win64:
	cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
	cmake --build build/win64 -j $(JOBS)

win32:
	cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DUNTARN_TESTS=OFF
	cmake --build build/win32 -j $(JOBS)

build: deps
	$(MAKE) native win64 win32

test: build
	tests/layers/check_layers.py
	ctest --test-dir build/native --output-on-failure -j $(JOBS)
	tests/run_whole.sh build/native
	tests/imports/check_imports.sh build/win32
	tests/wine/run.sh

demo: build
	scripts/demo.sh

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DUNTARN_FUZZ=ON
	cmake --build build/fuzz -j $(JOBS)
	scripts/fuzz.sh build/fuzz $(FUZZ_SECONDS)

faults: deps native
	build/native/tests/fault_sweep
	build/native/tests/fault_sweep --kill

bench: build
	scripts/bench.sh

clean:
	rm -rf build
