# The two everyday commands: `make run` and `make test`. Both install what is missing first.
BUILD_DIR ?= build
JOBS ?= $(shell getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
VESK_BIN = $(BUILD_DIR)/vesk
ifeq ($(shell uname -s),Darwin)
  override CMAKE_FLAGS += -DCMAKE_PREFIX_PATH="$(shell brew --prefix qt 2>/dev/null)"
  VESK_BIN = $(BUILD_DIR)/Vesk.app/Contents/MacOS/Vesk
endif

.PHONY: run test build setup configure bench clean format

run: build
	./$(VESK_BIN) README.md

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

build: setup configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

setup:
	./scripts/setup.sh

configure:
	cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS) > /dev/null

bench: build
	@for b in $(BUILD_DIR)/bench/*_bench; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD_DIR)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
