# Front door of the project. `make test` and `make demo` install what is
# missing (make deps), build, then run.
SHELL := /bin/bash
JOBS ?= $(shell nproc)

.PHONY: all deps deps-demo build build-asan test unit-tests demo bench docs clean

all: build

# Every package of scripts/packages/ (make test); deps-demo only the Linux
# build's and the demo's.
deps:
	@bash scripts/deps.sh all

deps-demo:
	@bash scripts/deps.sh demo

build:
	cmake --preset linux >/dev/null
	cmake --build --preset linux -j $(JOBS)

build-asan:
	cmake --preset linux-asan >/dev/null
	cmake --build --preset linux-asan -j $(JOBS)

unit-tests: build build-asan
	ctest --preset linux -L unit -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset linux-asan -L unit -j $(JOBS)

# The Linux transports for real (loopback TCP, a pty, files, sysfs, a
# private CUPS server), in both builds at once (they mostly wait on
# time-outs; each starts its own servers on free ports).
.PHONY: posix-tests
posix-tests: build build-asan
	@ctest --preset linux -L posix >build/posix-linux.log 2>&1 & plain=$$!; \
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset linux-asan -L posix; asan=$$?; \
	wait $$plain; plain=$$?; echo "== posix tests, plain build:"; cat build/posix-linux.log; \
	[ $$plain -eq 0 ] && [ $$asan -eq 0 ]

# Every suite, in this order, each step timed (scripts/test_steps.sh prints
# the table at the end and keeps it in build/test-times.txt).
# The Wine suite runs in the background from the DLLs' build to its own step.
TEST_STEPS := deps dll bg:wine-tests build build-asan unit-tests posix-tests fuzz-build \
  fuzz-smoke python-tests dotnet-tests check-jobs printer-app-tests browser-tests docs wine-tests \
  package package-tests source-lists export-guards
test:
	@bash scripts/test_steps.sh $(TEST_STEPS)

# The Python package: the wheel (bundling libqovlib.so) built with Debian's
# python3-build, installed in a fresh venv, its pytest suite against qovemu,
# and the example printing a label from outside the source tree.
.PHONY: python-tests wheel
python-tests: build
	@bash scripts/python_tests.sh

wheel: build
	cd python && QOVLIB_BUILD_LIBRARY=$(CURDIR)/build/linux/libqovlib.so /usr/bin/python3 -m build --no-isolation --wheel --outdir $(CURDIR)/build/linux/python/dist

# The fuzz targets (clang, libFuzzer, AddressSanitizer and UBSan) in
# build/fuzz. `make fuzz` runs each for FUZZ_SECONDS; the smoke run of
# `make test` only shows that every target builds and starts.
FUZZ_SECONDS ?= 60
.PHONY: fuzz fuzz-build fuzz-smoke
fuzz-build:
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

fuzz: fuzz-build
	@bash scripts/fuzz.sh $(FUZZ_SECONDS)

fuzz-smoke: fuzz-build
	@FUZZ_TIMEOUT=10 bash scripts/fuzz.sh 3

# QOVLIB.dll for x64 and x86 (MinGW-w64), with the Wine test program and the
# Windows example.
.PHONY: dll wine-tests
dll:
	cmake --preset win64 >/dev/null
	cmake --build --preset win64 -j $(JOBS)
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -j $(JOBS)

# The export tables of both DLLs, then the DLLs under wine64 and wine32.
wine-tests: dll
	@bash scripts/check_exports.sh
	@bash scripts/wine_tests.sh

# The .NET package (Mono): build/dotnet/Qovlib.<version>.nupkg with both DLLs
# and libqovlib.so; dotnet-tests runs its NUnit suite against qovemu
# (QOVLIB_THREAD_SECONDS=60 for the full minute of the eight-thread test).
.PHONY: dotnet dotnet-tests
dotnet: build dll
	@bash dotnet/build.sh

dotnet-tests: build dll
	@bash scripts/dotnet_tests.sh

# Debian packages (runtime, development files, tools) and
# qovlib-<version>-windows.zip, into build/packages/.
.PHONY: package package-tests
package: build dll
	rm -rf build/packages
	cpack --config build/linux/CPackConfig.cmake -B build/packages
	cpack --config build/win64/CPackConfig.cmake -B build/packages

# The packages used from outside: install tree, .deb contents, the zip's
# import libraries under Wine.
package-tests: package
	@bash scripts/package_tests.sh

# Every export's body starts with the exception guard.
.PHONY: export-guards
export-guards:
	@bash scripts/check_guards.sh

# Every tracked source is in some build file's list (the lists are explicit).
.PHONY: source-lists
source-lists: build dll
	@bash scripts/check_sources.sh

# Only what the demo runs: the library, the emulator, the renderer's tool
# and the example (no tests, no benchmarks).
DEMO_TARGETS := qovlib qovemu qovpreview print_label
demo: deps-demo
	cmake --preset linux >/dev/null
	cmake --build --preset linux -j $(JOBS) --target $(DEMO_TARGETS)
	@bash scripts/demo.sh

# Every example job of tests/jobs rendered and fed to the emulator, each
# checked against its expect.json (pictures, barcodes, texts, notes, counts).
.PHONY: check-jobs
check-jobs: build
	@/usr/bin/python3 scripts/check_jobs.py --jobs $(or $(JOBS_DIR),tests/jobs) --build build/linux

# The workbench page in headless chromium (Selenium) against a live
# qovemu --http with two printers: editor, fault switches, live galleries.
.PHONY: browser-tests
browser-tests: build
	@/usr/bin/python3 tests/browser/workbench_page_test.py --qovemu build/linux/qovemu

bench: build
	@for b in build/linux/bench_*; do [ -x "$$b" ] && "$$b"; done

# The API reference from include/qovlib.h: build/docs/html/index.html. Any
# doxygen warning (an undocumented export or parameter) fails it.
docs:
	@command -v doxygen >/dev/null || bash scripts/deps.sh all
	mkdir -p build/docs
	doxygen docs/Doxyfile
	@echo "API reference: build/docs/html/index.html"

clean:
	rm -rf build

# qovprint, the printer application (PAPPL), against qovemu: `make test`
# runs the quick part (a printer made by `add` prints a PNG and raw jobs;
# the status mapping; the live fault test when qovemu has --http), the bad
# input and a PDF through a private cupsd (about 26 s in all); the ipptool
# conformance and the closed loop (grey barcodes) are targets of their own.
.PHONY: printer-app-tests printer-app-conformance printer-app-loop printer-app-bench
printer-app-tests: build
	@bash scripts/printer_app_tests.sh quick bad-input cups

printer-app-conformance: build
	@bash scripts/printer_app_tests.sh conformance

printer-app-loop: build
	@bash scripts/printer_app_tests.sh loop cups bad-input

# qovprint against Debian's lprint, side by side, the same PNGs.
printer-app-bench: build
	@bash scripts/printer_app_tests.sh bench

# qovprint and its tests built with AddressSanitizer and UBSan
# (build/linux-asan); PAPPL's own leaks are suppressed, each with its reason
# (tools/qovprint/tests/lsan.supp).
.PHONY: printer-app-asan
printer-app-asan:
	cmake --preset linux-asan
	cmake --build --preset linux-asan -j2 --target qovprint qovprint_tests qovemu
	@BUILD_DIR=$(CURDIR)/build/linux-asan bash scripts/printer_app_tests.sh quick bad-input loop cups

# The workbench's soak (bench/workbench): 8 printers, 100,000 labels through
# the library from several processes; SOAK_ARGS scales it (--labels N).
.PHONY: soak-workbench
soak-workbench: build
	build/linux/soak_workbench $(SOAK_ARGS)
