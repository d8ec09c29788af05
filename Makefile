# The README's two commands, `make run` and `make test`, and the others it names.
.PHONY: build run test test-native test-asan test-fuzz test-windows windows package bench
.DEFAULT_GOAL := build

# The Windows program is built where this cross compiler is, and tested where Wine is too.
CROSS_COMPILER := i686-w64-mingw32-g++-posix
HAVE_CROSS_COMPILER := $(shell command -v $(CROSS_COMPILER))
HAVE_WINE := $(shell command -v wine)

# Set to 1 (as CI does) to fail instead of skipping the Windows tests when the
# cross compiler or Wine is missing.
REQUIRE_WINDOWS ?= 0

build:
	cmake --preset default
	cmake --build --preset default

run: build
	./build/pituus

# Every test: the native suite (with the end-to-end tests also under
# valgrind), the same under AddressSanitizer and UBSan, a bounded fuzz run,
# and the Windows program under Wine.
test: test-native test-asan test-fuzz test-windows

test-native: build
	ctest --preset default

test-asan:
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

# Seconds of fuzzing; new inputs it finds stay in build-fuzz/corpus.
FUZZ_SECONDS ?= 60

test-fuzz:
	cmake --preset fuzz
	cmake --build --preset fuzz
	mkdir -p build-fuzz/corpus
	./build-fuzz/fuzz/line_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=8192 \
		-print_final_stats=1 -artifact_prefix=build-fuzz/ build-fuzz/corpus fuzz/corpus

windows:
	cmake --preset windows
	cmake --build --preset windows

# Wine runs 32-bit programs only where the kernel does: on a kernel built
# without 32-bit support the program is still built, and the run is skipped.
test-windows:
ifneq ($(and $(HAVE_CROSS_COMPILER),$(HAVE_WINE)),)
	$(MAKE) --no-print-directory windows
	@if wine --version >/dev/null 2>&1; then ctest --preset windows; else \
		echo "Built the Windows program but skipped its tests: this kernel cannot run 32-bit programs, which Wine needs (wine --version fails)."; fi
else ifeq ($(REQUIRE_WINDOWS),1)
	@echo "The Windows tests need $(CROSS_COMPILER) and wine, and one is missing." >&2
	@exit 1
else
	@echo "Skipped the Windows tests: $(CROSS_COMPILER) or wine is not installed (see README)."
endif

# build/packages/*.deb, and build-windows/packages/*.zip where the cross compiler is.
package: build
	cd build && cpack
ifneq ($(HAVE_CROSS_COMPILER),)
	$(MAKE) --no-print-directory windows
	cd build-windows && cpack
else
	@echo "Skipped the Windows zip: $(CROSS_COMPILER) is not installed."
endif

# Speed and memory against wc and cat: see bench/README.md.
bench:
	bench/run
