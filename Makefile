# Two commands for a player: `make run` builds and starts the game, `make test` runs every test.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: run test build test-build references sanitize clean

run: build
	cd $(BUILD)/data && ../kobaltix

build:
	@bash scripts/deps.sh run
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target kobaltix

test: test-build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-build:
	@bash scripts/deps.sh test
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# Re-draws every reference frame in tests/reference/ from the current code (after a deliberate
# change to what is drawn); look at each changed picture before committing it.
references:
	@bash scripts/deps.sh test
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target test_game
	cd $(BUILD) && KX_UPDATE_REFERENCES=1 SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
	  ./tests/test_game --gtest_filter='ReferenceFrames.*'

# The tests again with AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	@bash scripts/deps.sh test
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKX_SANITIZE=ON -DKX_BENCH=OFF >/dev/null
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) build-asan
