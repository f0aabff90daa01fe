# Pelloran: the two commands a new machine needs are `make run` and `make test`.
JOBS     ?= $(shell nproc)
BUILD    ?= build
ASAN     ?= build-asan
BENCHDIR ?= build-bench
FUZZDIR  ?= build-fuzz
# Seconds each fuzz target runs for `make fuzz` (CI runs them for 20).
FUZZ_TIME ?= 300
# CI builds treat warnings as errors.
WERROR   ?= $(if $(CI),ON,OFF)

.PHONY: all deps build run test test-sanitize bench fuzz clean format

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLORAN_WERROR=$(WERROR)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/pelloran -windowed $(ARGS)

test: build
	scripts/run-tests.sh $(BUILD)

test-sanitize: deps
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DPELLORAN_SANITIZE=ON -DPELLORAN_WERROR=$(WERROR)
	cmake --build $(ASAN) -j $(JOBS)
	scripts/run-tests.sh $(ASAN)

bench:
	@scripts/install-deps.sh bench
	cmake -S . -B $(BENCHDIR) -DCMAKE_BUILD_TYPE=Release -DPELLORAN_TESTS=OFF -DPELLORAN_BENCH=ON
	cmake --build $(BENCHDIR) -j $(JOBS)
	scripts/run-bench.sh $(BENCHDIR)

# The fuzz targets under tests/fuzz, built with clang (libFuzzer, ASan, UBSan)
# and run one after the other, one process each, for FUZZ_TIME seconds.
fuzz:
	@scripts/install-deps.sh fuzz
	cmake -S . -B $(FUZZDIR) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLORAN_TESTS=OFF -DPELLORAN_FUZZ=ON
	cmake --build $(FUZZDIR) -j $(JOBS)
	scripts/run-fuzz.sh $(FUZZDIR) $(FUZZ_TIME)

format:
	find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN) $(BENCHDIR) $(FUZZDIR)
