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

# The viewer on the bundled scene (svet.3ds in the working directory, as with no arguments).
run: deps
	cmake --preset $(RUN_PRESET)
	cmake --build --preset $(RUN_PRESET)
	cd assets && ../$(BUILD)/$(RUN_PRESET)/src/trellis $(ARGS)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
