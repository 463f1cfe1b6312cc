# Two commands do all set-up: `make run` and `make test`.
BUILD    ?= build
JOBS     ?= $(shell nproc)
BUILD_TYPE ?= Release
# Where `make run` installs the program; the book is kept there, beside it.
APP_DIR  ?= $(HOME)/Tarnwick

# Everything the build, the tests and the benchmarks need, from Debian's archive.
DEB_PACKAGES := cmake ninja-build g++ make pkg-config ccache \
	qt6-base-dev qt6-webengine-dev qt6-qpa-plugins qt6-image-formats-plugins libgl-dev \
	xvfb xauth e2fsprogs libssl-dev 7zip libbenchmark-dev fonts-dejavu-core \
	php-cli php-sqlite3

# What `make bench` needs beyond the build: a session bus and the accessibility
# bus, for the measurements with the accessibility bridge on.
BENCH_PACKAGES := at-spi2-core dbus-daemon dbus-bin

SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)
ROOT := $(shell [ "$$(id -u)" -eq 0 ] && echo yes)
LAUNCHER := $(shell command -v ccache >/dev/null 2>&1 && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: all deps bench-deps configure build run test bench clean dist

all: build

deps:
	@missing=""; for p in $(DEB_PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing >/dev/null; \
	fi

$(BUILD)/build.ninja: CMakeLists.txt | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(LAUNCHER)

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
	@missing=""; for p in $(BENCH_PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing >/dev/null; \
	fi

# On a virtual display: the accessibility bridge needs a real platform.
bench: build bench-deps
	@xvfb-run -a -s "-screen 0 1600x1200x24" sh -c \
	  'for b in $$(find $(BUILD)/bench -type f -perm -u+x -name "bench_*" | sort); do \
	     echo "== $$b"; "$$b" || exit 1; done'

# The portable archive; refuses a build that trusts the development key unless
# ALLOW_DEVELOPMENT_KEY=yes is given.
dist: build
	cmake -DBUILD_DIR=$(BUILD) -DALLOW_DEVELOPMENT_KEY=$(ALLOW_DEVELOPMENT_KEY) -P packaging/dist.cmake

clean:
	rm -rf $(BUILD)
