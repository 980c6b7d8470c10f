# Two commands for a player: `make run` builds and starts the game, `make test` runs every test.
# `make install` (PREFIX, default /usr/local; DESTDIR honoured), `make uninstall`, and
# `make package` (the Debian package, in build-deb/).
BUILD ?= build
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
DEB_BUILD ?= build-deb

.PHONY: run test build test-build references replays sanitize clean install uninstall package

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

# Re-records the real games of tests/replays/ by playing the program on a virtual X screen (after
# a deliberate change to the game's rules or the replay format); check what changed before
# committing them.
replays:
	@bash scripts/deps.sh test
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target kobaltix
	bash scripts/record_replays.sh $(BUILD)

# The tests again with AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	@bash scripts/deps.sh test
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKX_SANITIZE=ON -DKX_BENCH=OFF >/dev/null
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

install:
	@bash scripts/deps.sh run
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=$(PREFIX) >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target kobaltix kx_install_files kx_dist
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --strip

# Removes exactly the files the last install from $(BUILD) wrote (its install_manifest.txt, under
# the same DESTDIR), then the folders of the game's own that are left empty.
uninstall:
	@test -f $(BUILD)/install_manifest.txt || { echo "nothing to uninstall: no $(BUILD)/install_manifest.txt" >&2; exit 1; }
	@while IFS= read -r f || [ -n "$$f" ]; do rm -fv -- "$(DESTDIR)$$f"; done < $(BUILD)/install_manifest.txt
	@grep -E '/share/(kobaltix|doc/kobaltix)/' $(BUILD)/install_manifest.txt | xargs -r -d '\n' -n1 dirname | \
	  sort -ru | while IFS= read -r d; do rmdir --ignore-fail-on-non-empty -- "$(DESTDIR)$$d" 2>/dev/null || true; done

package:
	@bash scripts/deps.sh package
	cmake -S . -B $(DEB_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	  -DCMAKE_INSTALL_BINDIR=games -DKX_TESTS=OFF -DKX_BENCH=OFF >/dev/null
	cmake --build $(DEB_BUILD) -j $(JOBS)
	cd $(DEB_BUILD) && cpack -G DEB
	@ls -l $(DEB_BUILD)/kobaltix_*.deb

clean:
	rm -rf $(BUILD) build-asan $(DEB_BUILD)
