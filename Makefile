# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# The whole set-up on a fresh Debian 12 machine: `make run` and `make test`.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo $(if $(CI),-DOCULA_WERROR=ON,)

DEB_PACKAGES := cmake g++ make pkg-config git clang-format python3 dpkg-dev desktop-file-utils appstream lintian groff-base man-db \
	qt6-base-dev qt6-base-dev-tools libxcb-shm0-dev libxcb-damage0-dev libxcb-xinput-dev libxcb-xtest0-dev libxcb-randr0-dev libx11-xcb-dev libpipewire-0.3-dev libbenchmark-dev \
	fonts-dejavu-core fonts-dejavu-extra xvfb xauth xdotool xclip x11-utils x11-apps x11-xserver-utils imagemagick \
	mutter xwayland pipewire pipewire-bin wireplumber qt6-wayland dbus-daemon dbus-bin python3-dbus python3-gi \
	gir1.2-glib-2.0 gstreamer1.0-pipewire gstreamer1.0-tools gstreamer1.0-plugins-base

SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

.PHONY: all deps configure build run test bench clean format

all: build

deps:
	@missing=""; \
	for p in $(DEB_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/src/ocula

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: build
	cd $(BUILD_DIR) && ./bench/ocula_bench

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)

.PHONY: package screenshot

# A Debian package of the build: $(BUILD_DIR)/ocula_<version>_<arch>.deb.
package: build
	cd $(BUILD_DIR) && cpack -G DEB

# docs/screenshot.png: Ocula magnifying a made-up desktop under Xvfb.
screenshot: build
	tools/make_screenshot.sh $(BUILD_DIR)/src/ocula docs/screenshot.png

# Ocula against kmag and xzoom (whichever are installed) under Xvfb: CPU per frame, X server
# CPU, peak memory and start-up, side by side. PEERS_SECONDS=2 PEERS_RUNS=1 for a quick look.
PEERS_BUILD_DIR ?= build-peers
PEERS_SECONDS ?= 10
PEERS_RUNS ?= 3
.PHONY: bench-peers
bench-peers: deps
	@dpkg-query -W -f='$${Status}' python3-xlib 2>/dev/null | grep -q 'install ok installed' || \
	  { $(SUDO) apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends python3-xlib; }
	cmake -S . -B $(PEERS_BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DOCULA_BUILD_BENCH=OFF -DBUILD_TESTING=OFF
	cmake --build $(PEERS_BUILD_DIR) -j $(JOBS) --target ocula ocula_qtfloor
	PEERS_SECONDS=$(PEERS_SECONDS) PEERS_RUNS=$(PEERS_RUNS) bash bench/peers/run.sh \
	  $(PEERS_BUILD_DIR)/src/ocula $(PEERS_BUILD_DIR)/bench/peers/ocula_qtfloor
