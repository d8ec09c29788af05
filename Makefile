# The README's two commands, `make run` and `make test`, and the others it names.
.PHONY: build run test prerequisites test-native test-asan test-fuzz test-windows windows windows32 windows64 package bench
.DEFAULT_GOAL := build

# The Windows programs are built where their cross compilers are, and tested
# under Wine: the 64-bit one everywhere Wine's 64-bit loader is, the 32-bit
# one (the product) where the kernel also runs 32-bit programs.
CROSS_COMPILER_32 := i686-w64-mingw32-g++-posix
CROSS_COMPILER_64 := x86_64-w64-mingw32-g++-posix
HAVE_CROSS_COMPILER_32 := $(shell command -v $(CROSS_COMPILER_32))
HAVE_CROSS_COMPILER_64 := $(shell command -v $(CROSS_COMPILER_64))
WINE_32 := /usr/lib/wine/wine
WINE_64 := /usr/lib/wine/wine64
# Whether this kernel runs 32-bit programs, asked of the loader the tests use.
WINE_32_RUNS = cmake/wine-run i686 --version >/dev/null 2>&1

# Set to 1 (as CI does) to fail instead of skipping when the 64-bit Windows
# suite cannot run: a machine without it is no reason to land unseen.
REQUIRE_WINDOWS ?= 0

build:
	cmake --preset default
	cmake --build --preset default

# Only the program, not the tests, so that it runs in seconds on a new machine.
run:
	cmake --preset default
	cmake --build --preset default --target pituus
	./build/pituus

# Every test: the native suite (with the end-to-end tests also under
# valgrind), the same under AddressSanitizer and UBSan, a bounded fuzz run,
# and the Windows program under Wine; each stage says first what it runs and
# about how long it takes.
test: prerequisites
	@cmake/stage native "the native build and its tests, the end-to-end ones also under valgrind" \
		"2 min" $(MAKE) --no-print-directory test-native
	@cmake/stage asan "everything again under AddressSanitizer and UBSan" \
		"2 min" $(MAKE) --no-print-directory test-asan
	@cmake/stage fuzz "$(FUZZ_SECONDS) s of fuzzing, after its build" \
		"2 min" $(MAKE) --no-print-directory test-fuzz
	@cmake/stage windows "the Windows programs' builds and their tests under Wine" \
		"3 min" $(MAKE) --no-print-directory test-windows

# What the tests need: installed where this is root, else named in one line.
prerequisites:
	@cmake/prerequisites

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
		-dict=fuzz/line_fuzzer.dict \
		-print_final_stats=1 -artifact_prefix=build-fuzz/ build-fuzz/corpus fuzz/corpus

windows: windows32 windows64

windows32:
	cmake --preset windows
	cmake --build --preset windows

windows64:
	cmake --preset windows64
	cmake --build --preset windows64

# The 32-bit suite is skipped, with a line that says why, where this kernel
# cannot run 32-bit programs ("Exec format error").
test-windows:
	@ran=""; skipped=""; \
	if [ -n "$(HAVE_CROSS_COMPILER_64)" ] && [ -x $(WINE_64) ]; then \
		$(MAKE) --no-print-directory windows64 && ctest --preset windows64 || exit 1; \
		ran="the 64-bit program"; \
	else skipped="the 64-bit program ($(CROSS_COMPILER_64) or wine64 is not installed)"; fi; \
	if [ -z "$(HAVE_CROSS_COMPILER_32)" ] || [ ! -x $(WINE_32) ]; then \
		skipped="$${skipped:+$$skipped; }the 32-bit program ($(CROSS_COMPILER_32) or wine32 is not installed)"; \
	elif ! $(WINE_32_RUNS); then \
		$(MAKE) --no-print-directory windows32 || exit 1; \
		skipped="$${skipped:+$$skipped; }the 32-bit program (built, but this kernel cannot run 32-bit programs)"; \
	else \
		$(MAKE) --no-print-directory windows32 && ctest --preset windows || exit 1; \
		ran="$${ran:+$$ran and }the 32-bit program"; \
	fi; \
	echo "Windows tests: ran $${ran:-nothing}$${skipped:+; skipped $$skipped}."; \
	if [ "$(REQUIRE_WINDOWS)" = 1 ] && [ -z "$(HAVE_CROSS_COMPILER_64)" -o ! -x $(WINE_64) ]; then \
		echo "The 64-bit Windows suite did not run, and REQUIRE_WINDOWS=1 needs it." >&2; exit 1; fi

# build/packages/*.deb, and build-windows/packages/*.zip where the cross
# compiler is: the same bytes from the same commit, whenever it is packed.
package: build
	cd build && cpack
ifneq ($(HAVE_CROSS_COMPILER_32),)
	$(MAKE) --no-print-directory windows32
	cd build-windows && cpack
else
	@echo "Skipped the Windows zip: $(CROSS_COMPILER_32) is not installed."
endif

# Speed and memory against wc, cat, ICU and Perl: see bench/README.md.
bench:
	bench/run
