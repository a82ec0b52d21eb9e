# Wrapper over CMake: `make run` and `make test` install what is missing, build and go.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

SOURCES = $(shell git ls-files '*.h' '*.cpp' 2>/dev/null || find include src modules tools tests bench -name '*.h' -o -name '*.cpp')

.PHONY: all deps configure build run screenshot test test-asan test-tsan fuzz format format-check clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	    $(BUILD)/bin/lumo-publisher; \
	else \
	    echo "No DISPLAY or WAYLAND_DISPLAY: running on a virtual X server and saving a screenshot"; \
	    scripts/run-headless.sh $(BUILD)/bin/lumo-publisher $(BUILD)/screenshot.png; \
	fi

# The manual's screenshot, which the AppStream metadata names too, made by the program itself.
screenshot: build
	scripts/make-screenshot.sh $(BUILD) docs/manual/main-window.png

format-check:
	@clang-format --dry-run -Werror $(SOURCES)
	@echo "clang-format: $(words $(SOURCES)) files clean"

format:
	clang-format -i $(SOURCES)

test: build format-check
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory test-asan
	$(MAKE) --no-print-directory fuzz

# The tests that need no window, again under AddressSanitizer and UBSan.
test-asan: deps
	@test -f $(ASAN_BUILD)/build.ninja || cmake -S . -B $(ASAN_BUILD) -G Ninja -DLUMO_SANITIZE=ON -DLUMO_WITH_UI=OFF $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) -L nonui

# The tests of code that runs on several threads, under ThreadSanitizer (by hand: it needs a
# build of its own and is not part of make test).
TSAN_BUILD ?= build-tsan
TSAN_TESTS ?= MyMediaItemTest|UpdateQueueTest|FolderWatcherTest|PublishingTest|ApiManager
test-tsan: deps
	@test -f $(TSAN_BUILD)/build.ninja || cmake -S . -B $(TSAN_BUILD) -G Ninja -DLUMO_TSAN=ON -DLUMO_WITH_UI=OFF $(CMAKE_ARGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

# The libFuzzer targets of fuzz/, a short run each; skipped with a note where clang or its
# fuzzer runtime is missing. FUZZ_SECONDS=300 for a longer run.
fuzz:
	@$(MAKE) --no-print-directory -C fuzz

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
