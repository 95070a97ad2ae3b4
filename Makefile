# The two set-up commands: `make test` and `make demo`. Both install what is missing first.
JOBS ?= $(shell nproc)
PRESET ?= release
BUILD := build/$(PRESET)

.PHONY: all deps configure build test e2e demo asan tsan fuzz format clean

all: build

deps:
	scripts/install-deps

configure: deps
	cmake --preset $(PRESET)

build: configure
	cmake --build --preset $(PRESET) -j $(JOBS)

test: build
	ctest --preset $(PRESET) -j $(JOBS)

# Against a private JACK server each test starts and stops itself; not yet part of make test.
e2e: build
	ctest --preset e2e

demo: build
	$(BUILD)/src/cli/corvane --help

asan:
	$(MAKE) test PRESET=asan

tsan:
	$(MAKE) test PRESET=tsan

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	scripts/replay-fuzz build/fuzz

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
