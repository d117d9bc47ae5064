# make run [PROGRAM=name]   build and run one program (planeanim by default)
# make test                 build and run every test, then the checks below
# make bench                build and run the benchmarks (not part of the tests)
# make pictures             rewrite the README's pictures in docs/images
#
# The checks make test runs after the tests, each on its own:
# make test-asan            the unit and somrun tests built with ASan and UBSan (build-asan)
# make test-tsan            the same with TSan (build-tsan)
# make test-fuzz            a short fuzzing run of the terminal input and somrun's command
#                           line, when clang++-14 is there (build-fuzz; docs/fuzzing.md)
# make clean-checks         remove the trees of those checks
PROGRAM ?= planeanim
BUILD   ?= build
JOBS    ?= $(shell nproc)

ASAN_BUILD   ?= build-asan
TSAN_BUILD   ?= build-tsan
FUZZ_BUILD   ?= build-fuzz
FUZZ_CXX     ?= clang++-14
FUZZ_SECONDS ?= 60
FUZZERS       = keys_fuzz somrun_args_fuzz

.PHONY: all deps build run test bench pictures clean test-asan test-tsan test-fuzz clean-checks

all: build

deps:
	@tools/setup

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/$(PROGRAM)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-asan
	@$(MAKE) --no-print-directory test-tsan
	@$(MAKE) --no-print-directory test-fuzz

bench: build
	$(BUILD)/bin/engine_bench

pictures: build
	tools/make-pictures

clean:
	rm -rf $(BUILD)

# --- Sanitizer trees. They build the target sanitized_tests only: every test but those
# that drive the eight programs end to end, which ctest then lists as <target>_NOT_BUILT
# and which are skipped here, as are the package test and memcheck (valgrind cannot run
# a sanitized program, and would check the same memory again). Every report ends its
# process with a failure status.
SANITIZED_SKIP = _NOT_BUILT$$|^package$$|^memcheck$$

$(ASAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOM_SANITIZE=address

$(TSAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOM_SANITIZE=thread

# Leaks: window_test leaves the X connection of a server it killed open on purpose
# (closing a dead connection only fails again), with what Xlib and xcb allocated for it.
ASAN_ENV = ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1 \
           LSAN_OPTIONS=suppressions=$(abspath $(ASAN_BUILD))/lsan.supp \
           UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Mutexes: on a connection whose server is gone, libX11 (1.8) comes back from XSync having
# unlocked the display's mutex when it no longer held it; window_test's own connection
# meets that when the test kills its server.
TSAN_ENV = TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(abspath $(TSAN_BUILD))/tsan.supp

test-asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS) --target sanitized_tests
	@printf '%s\n' 'leak:libX11.so' 'leak:libxcb.so' >$(ASAN_BUILD)/lsan.supp
	$(ASAN_ENV) ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) \
	    --no-tests=error -E '$(SANITIZED_SKIP)'

test-tsan: deps $(TSAN_BUILD)/CMakeCache.txt
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target sanitized_tests
	@printf '%s\n' 'mutex:libX11.so' >$(TSAN_BUILD)/tsan.supp
	$(TSAN_ENV) ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) \
	    --no-tests=error -E '$(SANITIZED_SKIP)'

# --- Fuzzing: each target for FUZZ_SECONDS from the committed seeds (and what earlier
# runs here found, in $(FUZZ_BUILD)/corpus). A crash, a leak, a failed check, an input
# slower than 10 s or an allocation over 64 MB fails; the input is kept in
# $(FUZZ_BUILD)/crashes.
test-fuzz:
	@if ! command -v $(FUZZ_CXX) >/dev/null 2>&1; then \
	    echo "test-fuzz: skipped, there is no $(FUZZ_CXX)"; exit 0; fi; \
	set -e; \
	test -f $(FUZZ_BUILD)/CMakeCache.txt || \
	    cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=$(FUZZ_CXX); \
	cmake --build $(FUZZ_BUILD) -j $(JOBS); \
	for f in $(FUZZERS); do \
	    mkdir -p $(FUZZ_BUILD)/corpus/$$f $(FUZZ_BUILD)/crashes; \
	    echo "fuzzing $$f for $(FUZZ_SECONDS) s"; \
	    if $(FUZZ_BUILD)/$$f -max_total_time=$(FUZZ_SECONDS) -timeout=10 -malloc_limit_mb=64 \
	           -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/crashes/$$f- \
	           $(FUZZ_BUILD)/corpus/$$f fuzz/corpus/$$f >$(FUZZ_BUILD)/$$f.log 2>&1; then \
	        grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|DONE' $(FUZZ_BUILD)/$$f.log; \
	    else \
	        tail -n 60 $(FUZZ_BUILD)/$$f.log; \
	        echo "$$f failed; the input is in $(FUZZ_BUILD)/crashes, the log in $(FUZZ_BUILD)/$$f.log"; \
	        exit 1; \
	    fi; \
	done

clean-checks:
	rm -rf $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
