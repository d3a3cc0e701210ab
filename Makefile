# The two commands that matter: `make run` and `make test`.
JOBS ?= $(shell nproc)
RELEASE_DIR := build/release
DEBUG_DIR := build/debug
PREFIX ?= $(HOME)/.local

.PHONY: all deps build run test bench install uninstall clean

# Builds a tree; when an update turned plain classes into Qt objects, stale generated moc files
# can break the link once, so a failed build clears them and tries again.
define build_tree
	cmake --build $(1) -j $(JOBS) || (rm -rf $(1)/src/*_autogen $(1)/tests/*_autogen $(1)/bench/*_autogen && cmake --build $(1) -j $(JOBS))
endef

all: build

deps:
	@bash scripts/install-deps

build: deps
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRANMOOR_TESTS=OFF
	$(call build_tree,$(RELEASE_DIR))

run: build
	$(RELEASE_DIR)/src/veltranmoor

test: deps
	cmake -S . -B $(DEBUG_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELTRANMOOR_SANITIZE=ON
	$(call build_tree,$(DEBUG_DIR))
	bash scripts/run-tests $(DEBUG_DIR) $(JOBS)

# Only the benchmark programs: the build tree also holds their generated-code folders.
bench: build
	@for b in $(RELEASE_DIR)/bench/bench_*; do \
	  if [ -f "$$b" ] && [ -x "$$b" ]; then echo "== $$(basename $$b)"; "$$b" || exit 1; fi; \
	done

# The binary, its desktop entry (the veltranmoor:// address) and its icon, under $(PREFIX).
install: build
	bash scripts/install install $(RELEASE_DIR) "$(PREFIX)"

uninstall:
	bash scripts/install uninstall "$(PREFIX)"

clean:
	rm -rf build
