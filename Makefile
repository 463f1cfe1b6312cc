# Two commands do all set-up: `make run` and `make test`.
BUILD    ?= build
JOBS     ?= $(shell nproc)
BUILD_TYPE ?= Release
# Where `make run` installs the program; the book is kept there, beside it.
APP_DIR  ?= $(HOME)/Tarnwick
# Warnings stop the developer's and CI's build; `cmake` alone leaves them warnings.
WERROR   ?= ON

# Everything the build, the tests and the benchmarks need, from Debian's archive.
DEB_PACKAGES := cmake ninja-build g++ make pkg-config ccache \
	qt6-base-dev qt6-webengine-dev qt6-qpa-plugins qt6-image-formats-plugins libgl-dev \
	xvfb xauth e2fsprogs libssl-dev libsodium-dev 7zip libbenchmark-dev fonts-dejavu-core \
	php-cli php-sqlite3

# What `make bench` needs beyond the build: a session bus and the accessibility
# bus, for the measurements with the accessibility bridge on.
BENCH_PACKAGES := at-spi2-core dbus-daemon dbus-bin

# Only `make fuzz` needs these: clang and its libFuzzer runtime.
FUZZ_PACKAGES := clang libclang-rt-14-dev
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)
ROOT := $(shell [ "$$(id -u)" -eq 0 ] && echo yes)
LAUNCHER := $(shell command -v ccache >/dev/null 2>&1 && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# make dist BRAND=DIR and make publisher-kit build what ships only (no tests,
# no benchmarks) in a folder of their own; VERSION, UPDATE_URL and UPDATE_KEY
# set the release's identity there (see the README's Releases).
DIST_BUILD ?= build-dist
DIST_CONFIG := -DTARNWICK_TESTS=OFF -DTARNWICK_BENCH=OFF \
	$(if $(VERSION),-DTARNWICK_VERSION=$(VERSION)) \
	$(if $(UPDATE_URL),-DTARNWICK_UPDATE_BASE_URL=$(UPDATE_URL)) \
	$(if $(UPDATE_KEY),-DTARNWICK_UPDATE_PUBLIC_KEY=$(abspath $(UPDATE_KEY)))

.PHONY: all deps bench-deps fuzz-deps configure build run test bench check-asan fuzz clean dist dist-build \
	publisher-kit

# $(call install_missing,<packages>): apt-get installs those not yet installed.
define install_missing
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing >/dev/null; \
	fi
endef

all: build

deps:
	$(call install_missing,$(DEB_PACKAGES))

fuzz-deps:
	$(call install_missing,$(FUZZ_PACKAGES))

$(BUILD)/build.ninja: CMakeLists.txt | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTARNWICK_WERROR=$(WERROR) $(LAUNCHER)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Installed outside the build tree, so that rebuilding or `make clean` never
# touches the book that lives beside the program.
run: build
	cmake --install $(BUILD) --prefix "$(APP_DIR)" >/dev/null
	@echo "Tarnwick runs from $(APP_DIR); its book is kept there."
	@if [ -n "$(ROOT)" ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi; \
	cd "$(APP_DIR)" && ./tarnwick

test: build
	cd $(BUILD) && xvfb-run -a -s "-screen 0 1600x1200x24" \
	  ctest --output-on-failure -j $(JOBS) --timeout 600

bench-deps:
	$(call install_missing,$(BENCH_PACKAGES))

# On a virtual display: the accessibility bridge needs a real platform.
bench: build bench-deps
	@xvfb-run -a -s "-screen 0 1600x1200x24" sh -c \
	  'for b in $$(find $(BUILD)/bench -type f -perm -u+x -name "bench_*" | sort); do \
	     echo "== $$b"; "$$b" || exit 1; done'

# The portable archive; refuses a build that trusts the development key unless
# ALLOW_DEVELOPMENT_KEY=yes is given. With BRAND=DIR (the publisher's
# dbsettings.dat, banners, mainskin.dat, main.ico), the branded archive, made
# in $(DIST_BUILD).
ifeq ($(BRAND),)
dist: build
	cmake -DBUILD_DIR=$(BUILD) -DALLOW_DEVELOPMENT_KEY=$(ALLOW_DEVELOPMENT_KEY) -P packaging/dist.cmake
else
dist: dist-build
	cmake -DBUILD_DIR=$(DIST_BUILD) -DALLOW_DEVELOPMENT_KEY=$(ALLOW_DEVELOPMENT_KEY) \
	  -DBRAND_DIR=$(abspath $(BRAND)) -P packaging/dist.cmake
endif

dist-build: deps
	cmake -S . -B $(DIST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(DIST_CONFIG) $(LAUNCHER)
	cmake --build $(DIST_BUILD) -j $(JOBS)

# The publisher's tools, the news service and the guide in one archive, for a
# Debian 12 machine with the program's runtime libraries and no build tree.
publisher-kit: dist-build
	cmake -DBUILD_DIR=$(DIST_BUILD) -DSOURCE_DIR=$(CURDIR) -P packaging/publisher_kit.cmake

# The suite built with AddressSanitizer and UndefinedBehaviorSanitizer in its
# own folder (preset asan); the tests' environment names the suppressions.
check-asan: deps
	cmake --preset asan -B $(ASAN_BUILD) $(LAUNCHER)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && xvfb-run -a -s "-screen 0 1600x1200x24" \
	  ctest --output-on-failure -j $(JOBS)

# Builds the fuzz targets with clang (preset fuzz) and runs each for
# FUZZ_SECONDS; new inputs collect in $(FUZZ_BUILD)/corpus, crashes in
# $(FUZZ_BUILD)/crashes. Copy a crash into fuzz/corpus/<target>/ with the fix.
fuzz: deps fuzz-deps
	cmake --preset fuzz -B $(FUZZ_BUILD) $(LAUNCHER)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets
	@mkdir -p $(FUZZ_BUILD)/crashes; \
	for seeds in fuzz/corpus/*/; do t=$$(basename $$seeds); \
	  echo "== $$t ($(FUZZ_SECONDS) s)"; mkdir -p $(FUZZ_BUILD)/corpus/$$t; \
	  $(FUZZ_BUILD)/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 \
	    -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/crashes/$$t- \
	    $(FUZZ_BUILD)/corpus/$$t $$seeds || exit 1; \
	done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(DIST_BUILD)
