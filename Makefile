# Thin wrapper over CMake. `make test` and `make demo` work on a fresh Debian 12 machine.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build test demo bench asan fuzz format clean

all: build

# Installs the Debian packages (and npm packages) only when something is missing.
deps:
	@scripts/install-deps --check >/dev/null 2>&1 || scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	scripts/demo $(BUILD)

# The Google Benchmark programs, then the click benchmark of the window in headless
# Chromium (needs node and tests/browser/node_modules, which `npm ci` there installs).
bench: deps
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DLARKEDI_BUILD_BENCH=ON -DLARKEDI_BUILD_TESTS=OFF
	cmake --build $(BUILD)-bench -j $(JOBS) --target larkedi_bench larkedi
	$(BUILD)-bench/bench/larkedi_bench
	@if command -v node >/dev/null && [ -d tests/browser/node_modules/playwright-core ]; then \
	  NODE_PATH=$(CURDIR)/tests/browser/node_modules node bench/click_bench.js \
	    $(BUILD)-bench/module/larkedi $(BUILD)-bench/module; \
	else echo "click benchmark skipped: node or tests/browser/node_modules is missing"; fi

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer, warnings as errors.
asan: deps
	cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=Debug -DLARKEDI_SANITIZE=ON -DLARKEDI_WERROR=ON
	cmake --build $(BUILD)-asan -j $(JOBS)
	cd $(BUILD)-asan && ctest --output-on-failure -j $(JOBS)

# The libFuzzer targets of tests/fuzz, built with clang, each run for FUZZ_TIME seconds in
# turn, starting from its checked-in corpus (new inputs go to $(BUILD)-fuzz/corpus/<target>;
# crashes are written to the current folder as crash-*). Not part of `make test`, which runs
# each corpus once.
FUZZ_TARGETS ?= xme reg_import partner_answers xml_design settings window_request
FUZZ_TIME ?= 600
fuzz: deps
	cmake -S . -B $(BUILD)-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DLARKEDI_FUZZ=ON -DLARKEDI_BUILD_TESTS=OFF
	cmake --build $(BUILD)-fuzz -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(BUILD)-fuzz/corpus/$$t && \
	  $(BUILD)-fuzz/tests/fuzz/fuzz_$$t -max_total_time=$(FUZZ_TIME) -rss_limit_mb=4096 \
	    $(BUILD)-fuzz/corpus/$$t tests/fuzz/corpus/$$t || exit 1; \
	done

format:
	find src tests tools bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-bench $(BUILD)-fuzz
