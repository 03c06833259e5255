# `make run` and `make test` do all the set-up on a fresh Debian or Ubuntu machine.
BUILD ?= build
SANITIZED ?= build-sanitize
JOBS ?= 2

.PHONY: all setup build run test test-plain test-sanitized format clean

all: build

setup:
	@scripts/setup.sh

build: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/kadenzo

# Every test twice: in the ordinary build, then under AddressSanitizer and
# UndefinedBehaviorSanitizer.
test: test-plain test-sanitized

test-plain: build
	cd $(BUILD) && ctest --output-on-failure

test-sanitized: setup
	cmake -S . -B $(SANITIZED) -DCMAKE_BUILD_TYPE=Debug -DKADENZO_SANITIZE=ON
	cmake --build $(SANITIZED) -j $(JOBS)
	cd $(SANITIZED) && ctest --output-on-failure

format:
	clang-format -i $$(git ls-files --cached --others --exclude-standard '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(SANITIZED)
