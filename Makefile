# Two commands for a player: `make run` builds and starts the game, `make test` runs every test.
# `make web` builds the game as a web page in build-web/, `make web-serve` serves it locally.
# `make install` (PREFIX, default /usr/local; DESTDIR honoured), `make uninstall`, and
# `make package` (the Debian package, in build-deb/).
BUILD ?= build
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
DEB_BUILD ?= build-deb
WEB_BUILD ?= build-web
WEB_PORT ?= 8000
# Emscripten's tools run under node and need Debian's packaged node modules.
export NODE_PATH ?= /usr/share/nodejs:/usr/lib/nodejs

.PHONY: run test build test-build references replays sanitize clean install uninstall package \
        web web-serve web-test

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

# The browser build: the asset generator runs natively (it is a tool of the build machine), then
# Emscripten compiles the game with the web platform driver into $(WEB_BUILD)/index.html and its
# files, ready for any static web server.
web:
	@bash scripts/deps.sh web
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target kx_data kx_install_files
	emcmake cmake -S . -B $(WEB_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DKX_NATIVE_BUILD=$(abspath $(BUILD)) >/dev/null
	cmake --build $(WEB_BUILD) -j $(JOBS)
	@echo "The page is in $(WEB_BUILD)/ (index.html); make web-serve serves it."

web-serve: web
	@echo "Play at http://127.0.0.1:$(WEB_PORT)/  (Ctrl+C stops the server)"
	python3 -m http.server --bind 127.0.0.1 --directory $(WEB_BUILD) $(WEB_PORT)

# The page played in headless chromium (scripts/web_test.py); screenshots in $(WEB_BUILD)/shots.
web-test: web
	python3 scripts/web_test.py $(WEB_BUILD)

clean:
	rm -rf $(BUILD) build-asan $(DEB_BUILD) $(WEB_BUILD)
