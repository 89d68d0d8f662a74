# Front door of the project. `make test` and `make demo` install what is
# missing (make deps), build, then run.
SHELL := /bin/bash
JOBS ?= $(shell nproc)

.PHONY: all deps build build-asan test unit-tests demo bench clean

all: build

deps:
	@bash scripts/deps.sh all

build:
	cmake --preset linux >/dev/null
	cmake --build --preset linux -j $(JOBS)

build-asan:
	cmake --preset linux-asan >/dev/null
	cmake --build --preset linux-asan -j $(JOBS)

unit-tests: build build-asan
	ctest --preset linux -L unit -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset linux-asan -L unit -j $(JOBS)

test: deps unit-tests

demo: deps build
	@bash scripts/demo.sh

bench: build
	@for b in build/linux/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf build
