# The two commands of the README: `make run` and `make test`.
# Both install what is missing (scripts/install-deps), configure with a CMake preset and build.
PRESET ?= dev
RUN_PRESET ?= release
BUILD := build

.PHONY: all deps configure build test run clean format

all: build

deps:
	@scripts/install-deps

configure: deps
	cmake --preset $(PRESET)

build: configure
	cmake --build --preset $(PRESET)

test: build
	ctest --preset $(PRESET)

run: deps
	cmake --preset $(RUN_PRESET)
	cmake --build --preset $(RUN_PRESET)
	@echo "trellis: the viewer arrives with the application shell; the core library is built."

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
