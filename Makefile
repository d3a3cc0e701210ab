# The two commands that matter: `make run` and `make test`.
JOBS ?= $(shell nproc)
RELEASE_DIR := build/release
DEBUG_DIR := build/debug

.PHONY: all deps build run test bench clean

all: build

deps:
	@bash scripts/install-deps

build: deps
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRANMOOR_TESTS=OFF
	cmake --build $(RELEASE_DIR) -j $(JOBS)

run: build
	$(RELEASE_DIR)/src/veltranmoor

test: deps
	cmake -S . -B $(DEBUG_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELTRANMOOR_SANITIZE=ON
	cmake --build $(DEBUG_DIR) -j $(JOBS)
	bash scripts/run-tests $(DEBUG_DIR) $(JOBS)

bench: build
	@for b in $(RELEASE_DIR)/bench/bench_*; do echo "== $$(basename $$b)"; $$b; done

clean:
	rm -rf build
