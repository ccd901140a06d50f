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

# The viewer on the bundled scene; until that exists, on the fixture scene of the tests.
run: deps
	cmake --preset $(RUN_PRESET)
	cmake --build --preset $(RUN_PRESET)
	@if [ -f assets/svet.3ds ]; then \
		cd assets && ../$(BUILD)/$(RUN_PRESET)/src/trellis $(ARGS); \
	else \
		$(BUILD)/$(RUN_PRESET)/tests/viewer_fixture_scene $(BUILD)/$(RUN_PRESET)/svet.3ds && \
		cd $(BUILD)/$(RUN_PRESET) && src/trellis $(ARGS); \
	fi

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
