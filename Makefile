# make run [PROGRAM=name]   build and run one program (planeanim by default)
# make test                 build and run every test
# make bench                build and run the benchmarks (not part of the tests)
# make pictures             rewrite the README's pictures in docs/images
PROGRAM ?= planeanim
BUILD   ?= build
JOBS    ?= $(shell nproc)

.PHONY: all deps build run test bench pictures clean

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

bench: build
	$(BUILD)/bin/engine_bench

pictures: build
	tools/make-pictures

clean:
	rm -rf $(BUILD)
