# `make run` and `make test` do all the set-up on a fresh Debian 12 machine.
BUILD ?= build
SANITIZED ?= build-sanitize
FUZZ ?= build-fuzz
JOBS ?= 2
FUZZ_SECONDS ?= 60
VERSION := $(shell sed -n 's/^project.Kadenzo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
DEB := dist/kadenzo_$(VERSION)_amd64.deb

.PHONY: all setup setup-test build run test test-plain test-sanitized test-threads test-fuzz fuzz bench screenshot \
	windows windows-test package package-test format clean

all: build

setup:
	@scripts/setup.sh build

build: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/kadenzo

# Every test twice, in the ordinary build and under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the fuzzer for FUZZ_SECONDS. The test tools are installed
# first: the configure step looks for some of them (clang-format, Debian's python3).
test: setup-test test-plain test-sanitized test-fuzz

setup-test:
	@scripts/setup.sh build test

test-plain: build
	cd $(BUILD) && ctest --output-on-failure

test-sanitized:
	@scripts/setup.sh test
	cmake -S . -B $(SANITIZED) -DCMAKE_BUILD_TYPE=Debug -DKADENZO_SANITIZE=ON
	cmake --build $(SANITIZED) -j $(JOBS)
	cd $(SANITIZED) && ctest --output-on-failure

# The tests of the code that runs on several threads (the batch, the window's batch) under
# ThreadSanitizer. Not part of `make test`: it is run by hand when that code changes. Qt is
# not built for it, so the window's tests that open Qt's file dialogs (whose own threads it
# cannot follow) are left out. QProcess starts kadenzo-batch through a vfork-like clone, whose
# child shares the test's memory: ThreadSanitizer then takes the test itself for a forked child
# and would stop its next thread (die_after_fork).
THREADS ?= build-tsan
WINDOW_BATCH_TESTS := dropRunsOneBatch dropDuringABatchIsRefused summaryDetailsListChangesAndFailures \
	ignoringStopsTheBoxesForTheRestOfTheBatch stoppingWalksTheStartedSongsWholeAndNoOther \
	noSongStartsWhileAFailureWaits commandLineSongsAndFoldersRunOneBatch restoringPutsBackTheBatchsKits
test-threads:
	@scripts/setup.sh test
	cmake -S . -B $(THREADS) -DCMAKE_BUILD_TYPE=Debug -DKADENZO_TSAN=ON
	cmake --build $(THREADS) -j $(JOBS) --target tst_batch tst_mainwindow kadenzo-batch
	cd $(THREADS) && export QT_QPA_PLATFORM=offscreen \
		TSAN_OPTIONS="halt_on_error=1 die_after_fork=0 suppressions=$(CURDIR)/tests/tsan.supp" && \
		./tst_batch && ./tst_mainwindow $(WINDOW_BATCH_TESTS)

# The fuzzer needs clang's libFuzzer: its own build tree, engine and fuzz target only.
$(FUZZ)/fuzz_engine: FORCE
	@scripts/setup.sh test
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DKADENZO_FUZZ=ON -DKADENZO_FUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build $(FUZZ) -j $(JOBS)

test-fuzz: $(FUZZ)/fuzz_engine
	cd $(FUZZ) && ctest --output-on-failure

# Fuzzes until stopped (Ctrl+C); the corpus grows in $(FUZZ)/corpus and is kept across runs.
fuzz: $(FUZZ)/fuzz_engine
	cmake --build $(FUZZ) --target fuzz_seeds
	$(FUZZ)/fuzz_engine -timeout=10 $(FUZZ)/corpus $(FUZZ)/seeds $(FUZZ)/layout-seeds

# The benchmark times kadenzo-batch as it was at BENCH_BEFORE too, built once under $(BUILD).
BENCH_BEFORE ?= b32b54e

bench: build
	@scripts/setup.sh bench
	/usr/bin/python3 bench/run_bench.py --build $(BUILD) --before $(BENCH_BEFORE)

# The window as it opens, then during a batch: 1600 songs on a share where each open takes
# 100 ms (bench/slow_open.cpp), with the journal kept in the build tree.
SHOT_SONGS := $(CURDIR)/$(BUILD)/screenshot-songs
screenshot: build
	@scripts/setup.sh screenshot
	scripts/screenshot.sh $(BUILD)/kadenzo docs/window.png
	rm -rf $(SHOT_SONGS) && $(BUILD)/kadenzo-songs $(SHOT_SONGS) 1600 20000 60000 >/dev/null
	LD_PRELOAD=$(CURDIR)/$(BUILD)/bench/libkadenzo-slow-open.so KADENZO_SLOW_OPEN_MS=100 \
		KADENZO_SLOW_OPEN_FOLDER=$(SHOT_SONGS) XDG_DATA_HOME=$(CURDIR)/$(BUILD)/screenshot-data \
		scripts/screenshot.sh $(BUILD)/kadenzo docs/window-batch.png $(SHOT_SONGS)

# Kadenzo for Windows, cross-built here: the programs, dist/*.zip and dist/*-setup.exe. The
# first run builds a static Qt for Windows (about 35 minutes on 2 cores), cached in
# ~/.cache/kadenzo; later runs take about two minutes.
WINDOWS_BUILD ?= build-windows

windows:
	@scripts/setup.sh windows
	scripts/windows.sh $(WINDOWS_BUILD)

# Needs `make windows` first: the Windows tests, programs and installer under Wine. The
# Linux build makes the songs that the Windows build must match.
windows-test: build
	@scripts/setup.sh windows test
	scripts/windows-test.sh $(WINDOWS_BUILD) $(BUILD)

# dist/kadenzo_<version>_amd64.deb from the ordinary build (packaging/linux/install.cmake),
# then lintian's verdict on it. Installs only what those two need.
package: build
	@scripts/setup.sh package
	cd $(BUILD) && cpack -G DEB
	lintian --display-info $(DEB)

# Installs the package on a fresh Debian 12, runs both programs there and removes it again.
# Not part of `make test`: the first run downloads a Debian system (cached afterwards), and
# the set-up brings debootstrap and the real songs.
package-test: package
	@scripts/setup.sh package-test
	scripts/package-test.sh $(DEB) $(BUILD)/kadenzo-batch

format:
	clang-format -i $$(git ls-files --cached --others --exclude-standard '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(SANITIZED) $(THREADS) $(FUZZ) $(WINDOWS_BUILD)

FORCE:
