# Wraps CMake: `make` builds both flavours into dist/, `make check` also runs
# every test (under Wine for the x86_64 flavour, static checks for i686);
# `make check-win32` runs every test on the shipped 32-bit files inside a VM.
# Each build tree is configured from its preset in CMakePresets.json.
BUILD ?= build
JOBS ?= 2
CMAKE_ARGS ?=
# $(call configure,PRESET): the build tree $(BUILD)/PRESET from its preset.
configure = cmake --preset $(1) -B $(BUILD)/$(1) $(CMAKE_ARGS) >/dev/null

.PHONY: all deps build check check-win32 fuzz bench demo preview screenshots release repro clean

all: build

deps:
	@sh tools/install-deps.sh

build: deps
	$(call configure,win32)
	cmake --build $(BUILD)/win32 -j$(JOBS)
	$(call configure,win64)
	cmake --build $(BUILD)/win64 -j$(JOBS)

# Every tier (unit, static, e2e, fuzz); the fuzzers at their fixed modest
# count, whatever the environment says.
check: build
	cd $(BUILD)/win64 && env -u FUZZ_COUNT -u FUZZ_SEED ctest -j$(JOBS) --output-on-failure $(CTEST_ARGS)

# The fuzzers alone, long: `make fuzz FUZZ_COUNT=100000 FUZZ_SEED=7`.
FUZZ_COUNT ?= 10000
fuzz: build
	cd $(BUILD)/win64 && FUZZ_COUNT=$(FUZZ_COUNT) $(if $(FUZZ_SEED),FUZZ_SEED=$(FUZZ_SEED)) \
	  ctest -L fuzz --timeout 86400 --output-on-failure $(CTEST_ARGS)

# The whole suite built for i686 (posix MinGW compilers, build/win32-tests)
# against dist/win32, run by 32-bit Wine inside a QEMU VM (tools/vm/).
check-win32: deps
	@sh tools/install-deps.sh win32
	$(call configure,win32)
	cmake --build $(BUILD)/win32 -j$(JOBS)
	$(call configure,win32-tests)
	cmake --build $(BUILD)/win32-tests -j$(JOBS)
	sh tools/vm/ctest.sh $(BUILD)/win32-tests $(CTEST_ARGS)

# Benchmarks print figures; they never fail on speed.
bench: build
	sh tools/bench.sh $(BUILD)/win64

# Runs the sample-package scenario end to end and tells what happened.
demo: build
	sh tools/demo.sh $(BUILD)/win64

# Pictures of the gauge in a few lever settings.
preview: build
	sh tools/preview.sh $(BUILD)/win64

# Screenshots of the uninstall dialog under Xvfb with Wine's normal driver.
screenshots: build
	sh tools/screenshots.sh $(BUILD)/win64

# The release bundle: dist/release/ with one zip (the 32-bit files, their
# sums, the package makers' notes) and the zip's sum.
release: deps
	$(call configure,win32)
	cmake --build $(BUILD)/win32 -j$(JOBS) --target release

# Builds the committed HEAD twice in build/repro/{a,b} and compares the sums
# of every shipped file and of the release zip; leaves build/ and dist/ alone.
repro: deps
	JOBS=$(JOBS) sh tools/repro.sh $(BUILD)/repro

clean:
	rm -rf $(BUILD) dist
