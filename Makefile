# Thin wrapper over CMake; see README.md.
SHELL := /bin/bash
JOBS ?= $(shell nproc)

# Debian 12 packages the build and the tests need.
DEPS := cmake g++ ninja-build pkg-config qt6-base-dev libjpeg62-turbo-dev libpng-dev \
        zlib1g-dev libtiff-dev libavcodec-dev libavutil-dev googletest libgtest-dev \
        libbenchmark-dev libexiv2-dev libheif-dev libwebp-dev libraw-dev \
        libwmf-dev libemf2svg-dev libuemf-dev librsvg2-dev libcairo2-dev fonts-urw-base35
# Only for the tests: movies written by the program are checked with other readers,
# decoded pictures against each format's own tools, the metadata of saved pictures
# with exiftool, the shared web page in headless Chromium driven from node, the
# installed layout with the desktop validators.
TEST_DEPS := ffmpeg quicktime-utils libheif-examples webp libraw-bin netpbm imagemagick \
             libimage-exiftool-perl chromium nodejs desktop-file-utils appstream man-db
# Only for `make bench` (reference tools timed in the same run).
BENCH_DEPS := libjpeg-turbo-progs libopencv-dev
# Only for `make fuzz`.
FUZZ_DEPS := clang libclang-rt-14-dev

define install_missing
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  if [ "$$(id -u)" = 0 ]; then SUDO=""; else SUDO=sudo; fi; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi
endef

# Warnings are errors for the tests and CI (WERROR=ON), not in a user's build.
WERROR ?= OFF
PREFIX ?= /usr/local
# Seconds each fuzz target explores in `make fuzz`; 0 only replays the seed corpora.
# FUZZ_SEED fixes libFuzzer's random seed, so that a short run (CI's) explores the same
# inputs in the same order every time: a red run is then reproducible, never luck.
FUZZ_SECONDS ?= 60
FUZZ_SEED ?=

.PHONY: deps build test run bench fuzz demo screenshots manual-images clean format install package

deps:
	$(call install_missing,$(DEPS))

build: deps
	cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBELUNE_TESTS=OFF \
	  -DORBELUNE_WERROR=$(WERROR)
	cmake --build build/release -j $(JOBS)

install: build
	cmake --install build/release --prefix $(PREFIX)

# A Debian package of the release build in build/release/.
package: build
	$(call install_missing,dpkg-dev)
	cd build/release && cpack -G DEB

test: deps
	$(call install_missing,$(TEST_DEPS))
	@# Debian's nodejs comes without npm; other builds of nodejs bring their own.
	@command -v npm >/dev/null 2>&1 || { if [ "$$(id -u)" = 0 ]; then SUDO=""; else SUDO=sudo; fi; \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq npm; }
	@# The browser test's driver (puppeteer-core), exactly as locked.
	@[ tests/browser/node_modules/.package-lock.json -nt tests/browser/package-lock.json ] || \
	  (cd tests/browser && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
	cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORBELUNE_SANITIZE=ON -DORBELUNE_WERROR=ON
	cmake --build build/asan -j $(JOBS)
	cd build/asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

run: build
	@if [ -x build/release/bin/orbelune ]; then build/release/bin/orbelune; \
	else build/release/bin/orbelune-cli --help; fi

bench: deps
	$(call install_missing,$(BENCH_DEPS))
	cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBELUNE_TESTS=OFF -DORBELUNE_BENCH=ON
	cmake --build build/release -j $(JOBS)
	@for b in build/release/bin/bench_*; do echo "== $$b"; $$b; done

fuzz: deps
	$(call install_missing,$(FUZZ_DEPS))
	CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORBELUNE_FUZZ=ON
	cmake --build build/fuzz -j $(JOBS)
	@set -e; for f in build/fuzz/bin/fuzz_*; do \
	  name=$$(basename $$f); mkdir -p build/fuzz/corpus/$$name; \
	  if [ "$(FUZZ_SECONDS)" = 0 ]; then run="-runs=0"; dirs="fuzz/corpus/$${name#fuzz_}"; \
	  else run="-max_total_time=$(FUZZ_SECONDS)$(if $(FUZZ_SEED), -seed=$(FUZZ_SEED))"; dirs="build/fuzz/corpus/$$name fuzz/corpus/$${name#fuzz_}"; fi; \
	  echo "== $$name ($(FUZZ_SECONDS) s)"; \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  $$f $$run -rss_limit_mb=4096 -timeout=10 $$dirs; \
	done

demo: build
	@mkdir -p out
	build/release/bin/orbelune-cli unwarp data/sample-ring.jpg -d out
	@echo "$(CURDIR)/out/sample-ring_pano.jpg"

screenshots: build
	@mkdir -p out/screenshots
	QT_QPA_PLATFORM=offscreen build/release/bin/orbelune --screenshots out/screenshots

# The manual's pictures in docs/images/, drawn by the release build (needs ImageMagick).
manual-images: build
	tools/make_manual_images.sh build/release/bin docs/images

clean:
	rm -rf build out

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
