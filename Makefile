# The two everyday commands: `make run` and `make test`. Both install what is missing first.
BUILD_DIR ?= build
JOBS ?= $(shell getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
VESK_BIN = $(BUILD_DIR)/vesk
ifeq ($(shell uname -s),Darwin)
  override CMAKE_FLAGS += -DCMAKE_PREFIX_PATH="$(shell brew --prefix qt 2>/dev/null)"
  VESK_BIN = $(BUILD_DIR)/Vesk.app/Contents/MacOS/Vesk
endif

.PHONY: run test test-sanitize build setup configure bench clean format

run: build
	./$(VESK_BIN) README.md

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# Every test built with AddressSanitizer and UBSan in a build folder of its own; the first report
# of undefined behaviour fails the test that caused it. Strict string checks stay off: with them
# the strndup interceptor reads past the bound it is given, and libxkbcommon-x11 (which every
# program on a real X display loads) hands strndup names that are not NUL-terminated.
SANITIZE_DIR ?= build-asan
SANITIZE_ENV = ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:abort_on_error=0 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0

test-sanitize: setup
	cmake -S . -B $(SANITIZE_DIR) -G Ninja -DVESK_SANITIZE=ON -DVESK_BUILD_BENCH=OFF $(CMAKE_FLAGS) > /dev/null
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && $(SANITIZE_ENV) ctest --output-on-failure -j $(JOBS)

build: setup configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

setup:
	./scripts/setup.sh

configure:
	cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS) > /dev/null

bench: build
	@for b in $(BUILD_DIR)/bench/*_bench; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
