# Wraps CMake: `make` builds both flavours into dist/, `make check` also runs
# every test (under Wine for the x86_64 flavour, static checks for i686).
BUILD ?= build
JOBS ?= 2
CMAKE_ARGS ?=

.PHONY: all deps build check bench demo clean

all: build

deps:
	@sh tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD)/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686.cmake $(CMAKE_ARGS) >/dev/null
	cmake --build $(BUILD)/win32 -j$(JOBS)
	cmake -S . -B $(BUILD)/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64.cmake $(CMAKE_ARGS) >/dev/null
	cmake --build $(BUILD)/win64 -j$(JOBS)

check: build
	cd $(BUILD)/win64 && ctest --output-on-failure $(CTEST_ARGS)

bench: build
	sh tools/bench.sh $(BUILD)/win64

clean:
	rm -rf $(BUILD) dist
