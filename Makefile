# The two commands a new user needs: `make run` and `make test`.
# Both install whatever Debian package is missing, then configure and build.

BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all setup configure build run run-real test test-sanitize fuzz lint format bench clean

all: build

setup:
	@./tools/setup-debian.sh

configure: setup
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

# The program with the virtual printer beside it (tools/run-with-virtual-printer.sh
# says which port to choose), after a quiet build (tools/quiet-build.sh shows
# only warnings and errors); `make run-real` starts only the program, for a
# real serial adapter.
run: configure
	@./tools/quiet-build.sh $(BUILD_DIR) $(JOBS)
	@./tools/run-with-virtual-printer.sh $(BUILD_DIR)

run-real: build
	./$(BUILD_DIR)/app/printer-kivo

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The whole suite under AddressSanitizer (with leak checking) and
# UndefinedBehaviorSanitizer, in its own build folder.
SANITIZE_DIR ?= build-sanitize
test-sanitize: setup
	@cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVO_SANITIZE=ON >/dev/null
	@cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && QT_QPA_PLATFORM=offscreen \
	    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp:print_suppressions=0 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    ctest --output-on-failure -j $(JOBS)

# The libFuzzer targets (image path, virtual printer) built with clang in
# build-fuzz/ and run FUZZ_SECONDS each (default 60); see tools/fuzz.sh.
fuzz:
	@./tools/fuzz.sh

# The house rules: format (.clang-format), layering, cppcheck and clang-tidy
# (.clang-tidy) on the project's code; `make format` applies the format.
# It uses the build of `make test` (compile commands and generated headers),
# so after `make test` it compiles nothing again.
lint:
	@./tools/setup-debian.sh lint
	./tools/lint.sh $(CURDIR)/$(BUILD_DIR)

format:
	@./tools/setup-debian.sh lint
	@./tools/format.sh

# The bench programs (bench/ and the virtual printer's), built Release, one
# line per figure; README, "Performance".
bench:
	@./tools/setup-debian.sh bench
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target benchmarks
	@./bench/run.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) build-fuzz
