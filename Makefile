# The two commands of the README: `make run` and `make test`.
# Both install what is missing (scripts/install-deps), configure with a CMake preset and build.
PRESET ?= dev
RUN_PRESET ?= release
BUILD := build

.PHONY: all deps configure build test run clean format fuzz windows windows-check package \
	web web-serve web-check library-check

all: build

deps:
	@scripts/install-deps

configure: deps
	cmake --preset $(PRESET)

build: configure
	cmake --build --preset $(PRESET)

# The soak tests (label soak) take minutes and run only with `make soak`.
test: build
	ctest --preset $(PRESET) -LE soak

# The viewer on the bundled scene (svet.3ds in the working directory, as with no arguments);
# with ARGS, the program given ARGS in the directory make was called from (PWD, which make -C
# leaves as the caller's), so that relative paths in ARGS mean what they say there. With no
# display at all the run is drawn headless into build/ instead (scripts/run-viewer).
CALLER_DIR := $(if $(wildcard $(PWD)),$(PWD),$(CURDIR))
run: deps
	cmake --preset $(RUN_PRESET)
	cmake --build --preset $(RUN_PRESET)
	@scripts/run-viewer $(CURDIR)/$(BUILD)/$(RUN_PRESET)/src/trellis $(CURDIR)/assets \
	    $(CURDIR)/$(BUILD) "$(CALLER_DIR)" $(ARGS)

# Fuzzes for SECONDS seconds each (clang, libFuzzer, ASan+UBSan) the loader, the whole
# pipeline (load, animation, a small frame under the work budget), the glTF export and the
# image decoder: builds the fuzz preset, writes the seed scenes into build/fuzz/corpus and adds
# the inputs kept in fuzz/corpus (the first three targets share it), writes the seed images
# into build/fuzz/image_corpus (inputs found by earlier runs stay in both) and fails when a
# fuzzer reports a crash, a leak, a slow input, a memory blow-up or a broken invariant; the
# input is then in build/fuzz/artifacts/.
SECONDS ?= 60
FUZZ_DIR := $(BUILD)/fuzz
FUZZ_FLAGS = -dict=fuzz/chunks.dict -max_total_time=$(SECONDS) -timeout=10 \
	-rss_limit_mb=512 -malloc_limit_mb=128 -artifact_prefix=$(FUZZ_DIR)/artifacts/ \
	-print_final_stats=1
fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz
	$(FUZZ_DIR)/fuzz/make_corpus $(FUZZ_DIR)/corpus
	cp fuzz/corpus/* $(FUZZ_DIR)/corpus/
	mkdir -p $(FUZZ_DIR)/artifacts
	$(FUZZ_DIR)/fuzz/load_fuzzer $(FUZZ_DIR)/corpus $(FUZZ_FLAGS)
	$(FUZZ_DIR)/fuzz/pipeline_fuzzer $(FUZZ_DIR)/corpus $(FUZZ_FLAGS)
	$(FUZZ_DIR)/fuzz/export_fuzzer $(FUZZ_DIR)/corpus $(FUZZ_FLAGS) -rss_limit_mb=1024 \
	    -artifact_prefix=$(FUZZ_DIR)/artifacts/export-
	$(FUZZ_DIR)/fuzz/make_image_corpus $(FUZZ_DIR)/image_corpus
	$(FUZZ_DIR)/fuzz/image_fuzzer $(FUZZ_DIR)/image_corpus -dict=fuzz/images.dict \
	    -max_total_time=$(SECONDS) -timeout=10 -rss_limit_mb=512 -malloc_limit_mb=128 \
	    -artifact_prefix=$(FUZZ_DIR)/artifacts/image- -print_final_stats=1

# The native Windows program, cross-built with mingw-w64: build/windows/src/trellis.exe, one
# static executable over the system's own Win32 and DirectDraw (and tick_bench.exe beside it).
windows:
	@scripts/install-deps --windows
	cmake --preset windows
	cmake --build --preset windows

# Runs trellis.exe under Wine in a fresh prefix on an Xvfb screen: the screen must equal a
# frame of the Linux program's --output exactly, Escape must end it with status 0, and a
# missing scene must be reported. Prints the start-up time and the tick cost under Wine.
windows-check: windows
	cmake --preset release
	cmake --build --preset release --target trellis viewer_fixture_scene
	tests/windows/wine_check.sh $(BUILD)/windows/src/trellis.exe $(BUILD)/windows/tick_bench.exe \
	    $(BUILD)/release/src/trellis $(BUILD)/release/tests/viewer_fixture_scene \
	    $(BUILD)/windows/wine_check assets/svet.3ds

# The viewer in the browser: the page, trellis.js and trellis.wasm in build/web/, built with
# Debian's emscripten (nothing is downloaded) ...
WEB_ENV := NODE_PATH=/usr/share/nodejs
web:
	@scripts/install-deps --web
	$(WEB_ENV) cmake --preset web
	$(WEB_ENV) cmake --build --preset web

# ... served on http://localhost:$(WEB_PORT)/ for a person to try (Ctrl+C ends it) ...
WEB_PORT ?= 8000
web-serve: web
	@echo "make web-serve: open http://localhost:$(WEB_PORT)/"
	python3 -m http.server $(WEB_PORT) --bind 127.0.0.1 --directory $(BUILD)/web

# ... and checked in headless chromium against the desktop program's frames.
web-check: web
	cmake --preset release
	cmake --build --preset release --target trellis viewer_fixture_scene
	cd tests/web && npm ci --no-audit --no-fund --loglevel=error
	node tests/web/web_check.js $(BUILD)/web $(BUILD)/release/src/trellis \
	    $(BUILD)/release/tests/viewer_fixture_scene $(BUILD)/web-check

# The soak run on the release build, one test at a time so the timings are its own: the viewer
# on the bundled scene for 100,000 ticks, checking that no tick allocates and resident memory
# does not grow, then every display failure switch armed at random ticks of 10,000-tick runs.
# Prints the figures (resident memory, allocations per tick, ticks per second, faults armed).
.PHONY: soak
soak: deps
	cmake --preset release
	cmake --build --preset release
	ctest --preset release -L soak --parallel 1 --verbose

# The library alone (TRELLIS_VIEWER=OFF): configured with SDL, libpng, giflib and nlohmann_json
# out of CMake's sight, built, installed into a scratch prefix, and used from there by the
# example program through CMake and pkg-config; nothing of the viewer may be installed.
library-check: deps
	tests/install/install_test.sh --library $(BUILD)/library $(CURDIR) $(BUILD)/library-check c++

# The Debian package, build/package/trellis_VERSION_ARCH.deb: the program, its desktop files
# and the library, installed under /usr; dependencies from dpkg-shlibdeps. `lintian` on it
# shows no errors (CI checks, then installs it in a scratch root and uses it).
package: deps
	cmake --preset package
	cmake --build --preset package
	cd $(BUILD)/package && cpack -G DEB
	@ls $(BUILD)/package/*.deb

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
