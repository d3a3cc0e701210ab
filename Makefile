# The two commands that matter: `make run` and `make test`.
JOBS ?= $(shell nproc)
RELEASE_DIR := build/release
DEBUG_DIR := build/debug
RELEASE_TESTS_DIR := build/release-tests
PREFIX ?= $(HOME)/.local
TSAN_DIR := build/tsan
FUZZ_DIR := build/fuzz
FUZZ_SECONDS ?= 60

.PHONY: all deps test-deps build run test test-release tsan bench install uninstall fuzz clean

# Builds a tree; when an update turned plain classes into Qt objects, stale generated moc files
# can break the link once, so a failed build clears them and tries again.
define build_tree
	cmake --build $(1) -j $(JOBS) || (rm -rf $(1)/src/*_autogen $(1)/tests/*_autogen $(1)/bench/*_autogen && cmake --build $(1) -j $(JOBS))
endef

all: build

# What building and running need; the test targets add the test suite's packages.
deps:
	@bash scripts/install-deps

test-deps:
	@bash scripts/install-deps test

build: deps
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRANMOOR_TESTS=OFF
	$(call build_tree,$(RELEASE_DIR))

run: build
	$(RELEASE_DIR)/src/veltranmoor

test: test-deps
	cmake -S . -B $(DEBUG_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELTRANMOOR_SANITIZE=ON
	$(call build_tree,$(DEBUG_DIR))
	bash scripts/run-tests $(DEBUG_DIR) $(JOBS)

# The tests built optimised, where the window tests hold the main-loop watchdog's release
# bound (50 ms): what a user's build does, without the sanitizers' slowdown.
test-release: test-deps
	cmake -S . -B $(RELEASE_TESTS_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRANMOOR_TESTS=ON
	$(call build_tree,$(RELEASE_TESTS_DIR))
	VELTRANMOOR_WATCHDOG_MS=50 bash scripts/run-tests $(RELEASE_TESTS_DIR) $(JOBS)

# The tests labelled "tsan" (the learning engine's, whose state lives on its own queue), built
# with ThreadSanitizer and run; any report fails them.
tsan: test-deps
	cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELTRANMOOR_TSAN=ON
	cmake --build $(TSAN_DIR) -j $(JOBS) --target test_learning
	QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="halt_on_error=1 exitcode=66" \
		dbus-run-session -- ctest --test-dir $(TSAN_DIR) -L tsan -j $(JOBS) --output-on-failure --no-tests=error

# Only the benchmark programs: the build tree also holds their generated-code folders.
bench: build
	@bash scripts/install-deps bench
	@for b in $(RELEASE_DIR)/bench/bench_*; do \
	  if [ -f "$$b" ] && [ -x "$$b" ]; then echo "== $$(basename $$b)"; "$$b" || exit 1; fi; \
	done

# The binary, its desktop entry (the veltranmoor:// address) and its icon, under $(PREFIX).
install: build
	bash scripts/install install $(RELEASE_DIR) "$(PREFIX)"

uninstall:
	bash scripts/install uninstall "$(PREFIX)"

# Every parser of stored files, /proc, /sys and model replies under libFuzzer for FUZZ_SECONDS
# each; fails on a finding (kept in build/fuzz/findings).
fuzz:
	@bash scripts/install-deps fuzz
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DVELTRANMOOR_TESTS=OFF -DVELTRANMOOR_FUZZ=ON
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzzers
	bash scripts/run-fuzz $(FUZZ_DIR) $(FUZZ_SECONDS) $(JOBS)

clean:
	rm -rf build
