# Tovo box: build, run and test the Windows client on Debian with mingw-w64 and Wine.
BUILD ?= build
# The development and test build keeps every portal address on loopback, on a port of the build
# tree's own (tools/test-port.sh), chosen when the tree is configured.
TOVO_TEST_PORT ?= $(shell tools/test-port.sh $(BUILD))
LOOPBACK = http://127.0.0.1:$(TOVO_TEST_PORT)
# Test builds target what this host's Wine runs (tools/wine-arch.sh); the release is 32-bit.
CMAKE_FLAGS = -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-$$(tools/wine-arch.sh).cmake \
	-DTOVO_BOX_SERVER=$(LOOPBACK) -DTOVO_HOME_PAGE=$(LOOPBACK)/home -DTOVO_PROBE_URL=$(LOOPBACK)/probe \
	-DTOVO_TEST_PORT=$(TOVO_TEST_PORT)

.PHONY: deps build test run release installer bench fuzz soak clean update-key update-manifest

deps:
	@tools/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

# A port given to make (make test TOVO_TEST_PORT=n) reconfigures a tree made with another one.
ifneq ($(filter command line environment,$(origin TOVO_TEST_PORT)),)
configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
else
configure: deps $(BUILD)/build.ninja
endif
.PHONY: configure

# What running needs: the client and its skin, in $(BUILD)/bin.
build: configure
	cmake --build $(BUILD) --target TovoBox

# Everything else the suite runs: the test programs, the i686 twin of the release with the bench,
# and on hosts without 32-bit programs the twin's test programs too. The persistent Wine servers
# of the test prefixes are stopped again whatever the outcome. The last line says which
# architecture ran and whether the shipped image passed its checks.
test: configure
	cmake --build $(BUILD)
	cmake --build $(BUILD) --target shipped_i686_tests
	cd $(BUILD) && ctest --output-on-failure -j$$(nproc) --timeout 300; rc=$$?; \
	for p in $(CURDIR)/$(BUILD)/wine/*/; do WINEPREFIX=$$p wineserver -k 2>/dev/null; done; \
	$(CURDIR)/tools/suite-summary.sh $(CURDIR)/$(BUILD); exit $$rc

run: build
	tools/run-client.sh $(BUILD)

# The shipped configuration: the product's own portal addresses, no tests. Reproducible: what it
# records of time is the commit's. With SIGN_PKCS12 and SIGN_PASSWORD_FILE (and optionally
# SIGN_TIMESTAMP_URL) the installer is signed (docs/releasing.md).
SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null)
# The addresses it is built with, passed on every configure so that the tree never keeps old ones:
# the release's in CMakeLists.txt (TOVO_RELEASE_*), or a partner's given to make
# (make release TOVO_BOX_SERVER=http://... TOVO_HOME_PAGE=... TOVO_PROBE_URL=...). The update
# manifest's address is the box server's /update unless TOVO_UPDATE_URL names another.
release_address = $(shell sed -n 's/^set(TOVO_RELEASE_$(1) "\(.*\)")$$/\1/p' CMakeLists.txt)
TOVO_BOX_SERVER ?= $(call release_address,BOX_SERVER)
TOVO_HOME_PAGE ?= $(call release_address,HOME_PAGE)
TOVO_PROBE_URL ?= $(call release_address,PROBE_URL)
TOVO_UPDATE_URL ?=
ADDRESS_FLAGS = '-DTOVO_BOX_SERVER=$(TOVO_BOX_SERVER)' '-DTOVO_HOME_PAGE=$(TOVO_HOME_PAGE)' \
	'-DTOVO_PROBE_URL=$(TOVO_PROBE_URL)' '-DTOVO_UPDATE_URL=$(TOVO_UPDATE_URL)'
SIGN_FLAGS = -DTOVO_SIGN_PKCS12=$(if $(SIGN_PKCS12),$(abspath $(SIGN_PKCS12))) \
	-DTOVO_SIGN_PASSWORD_FILE=$(if $(SIGN_PASSWORD_FILE),$(abspath $(SIGN_PASSWORD_FILE))) \
	-DTOVO_SIGN_TIMESTAMP_URL=$(SIGN_TIMESTAMP_URL)
release: deps
	cmake -S . -B build-release -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
		-DTOVO_TESTS=OFF -DTOVO_STRIP=ON -DTOVO_SOURCE_DATE_EPOCH=$(SOURCE_DATE_EPOCH) $(SIGN_FLAGS) \
		$(ADDRESS_FLAGS)
	SOURCE_DATE_EPOCH=$(SOURCE_DATE_EPOCH) cmake --build build-release

# The setup program for the release build: build-release/TovoBoxSetup.exe (installer/).
installer: release
	cmake --build build-release --target installer

# The client side by side with a baseline program under one warm Wine server on a private
# Xvfb screen (the X display is where a window's pixels and the tray can be seen from outside);
# the server and the screen are stopped again at the end. docs/benchmark.md.
bench: configure
	cmake --build $(BUILD) --target client_bench
	TOVO_WINE_TIMEOUT=1200 tools/xvfb-run-test.sh 1280x1024 $(BUILD)/wine/bench \
		$(BUILD)/bin/client_bench.exe $(BENCH_ARGS)

# The lifecycle tests at full length (TOVO_SOAK=1): 50 rounds of simultaneous starts, 100
# start/Exit cycles, 1000 hide/show cycles and tab clicks.
soak: configure
	cmake --build $(BUILD)
	cd $(BUILD) && TOVO_SOAK=1 ctest -R '^e2e\.Lifecycle\.' --output-on-failure --timeout 1800; rc=$$?; \
	WINEPREFIX=$(CURDIR)/$(BUILD)/wine/null wineserver -k 2>/dev/null; exit $$rc

# Every native fuzz target for FUZZ_SECONDS each (tools/fuzz.sh, fuzz/CMakeLists.txt).
FUZZ_SECONDS ?= 60
fuzz: deps
	tools/fuzz.sh --seconds $(FUZZ_SECONDS) build-fuzz

clean:
	rm -rf $(BUILD) build-release build-fuzz build-repro

# Builds the release client and the unsigned setup program twice, from two copies of this tree in
# different folders, and compares them byte for byte (docs/releasing.md).
.PHONY: verify-reproducible
verify-reproducible: deps
	tools/verify-reproducible.sh build-repro

# Checks a setup program from elsewhere against this tree's release build, signed or not, without
# running it: make check-setup SETUP=downloaded.exe SIGNER_SHA256=<the signing certificate's
# fingerprint> [INSTALLED=folder it installed] [a partner's TOVO_BOX_SERVER=... as it was built]
# (docs/releasing.md). Its signature is checked first, before anything is built. The file names
# reach the script as they were typed, read by neither make nor a shell: the recipe's environment
# holds them unexpanded, and make's own export, which would expand them, is off.
.PHONY: check-setup
unexport SETUP SIGNER_SHA256 INSTALLED
check-setup: export TOVO_CHECK_SETUP := $(value SETUP)
check-setup: export TOVO_CHECK_SIGNER := $(value SIGNER_SHA256)
check-setup: export TOVO_CHECK_INSTALLED := $(value INSTALLED)
check-setup: deps
	tools/check-setup.sh --signer "$$TOVO_CHECK_SIGNER" --pin-only build-release "$$TOVO_CHECK_SETUP"
	$(MAKE) installer
	tools/check-setup.sh --signer "$$TOVO_CHECK_SIGNER" build-release "$$TOVO_CHECK_SETUP" \
		$${TOVO_CHECK_INSTALLED:+"$$TOVO_CHECK_INSTALLED"}

# Update signing keys (docs/releasing.md): make update-key [UPDATE_KEY_NAME=release-2] makes a
# key pair, the private half outside the tree (UPDATE_KEY_DIR), the public half in res/update-keys/
# where the release build reads it.
UPDATE_KEY_DIR ?= $(HOME)/.tovo/update-keys
UPDATE_KEY_NAME ?= release-1
update-key:
	tools/update-key.sh $(UPDATE_KEY_DIR)/$(UPDATE_KEY_NAME).pem res/update-keys/$(UPDATE_KEY_NAME).pub

# make update-manifest SETUP=TovoBoxSetup.exe VERSION=1.0.0.3 SERIAL=7 URL=http://... \
#     UPDATE_KEY=~/.tovo/update-keys/release-1.pem [EXPIRES=2027-01-31T00:00:00Z] [CHANNELS=a,b]
#     [OUT=update]: the signed manifest to publish at the box server's /update.
# Its arguments reach the script unread by make or a shell, as check-setup's do.
.PHONY: update-key update-manifest
unexport VERSION SERIAL URL UPDATE_KEY EXPIRES CHANNELS OUT
update-manifest: export TOVO_UM_SETUP := $(value SETUP)
update-manifest: export TOVO_UM_VERSION := $(value VERSION)
update-manifest: export TOVO_UM_SERIAL := $(value SERIAL)
update-manifest: export TOVO_UM_URL := $(value URL)
update-manifest: export TOVO_UM_KEY := $(value UPDATE_KEY)
update-manifest: export TOVO_UM_EXPIRES := $(value EXPIRES)
update-manifest: export TOVO_UM_CHANNELS := $(value CHANNELS)
update-manifest: export TOVO_UM_OUT := $(or $(value OUT),update)
update-manifest:
	tools/update-manifest.sh --setup "$$TOVO_UM_SETUP" --version "$$TOVO_UM_VERSION" \
		--serial "$$TOVO_UM_SERIAL" --url "$$TOVO_UM_URL" --key "$$TOVO_UM_KEY" \
		$${TOVO_UM_EXPIRES:+--expires "$$TOVO_UM_EXPIRES"} \
		$${TOVO_UM_CHANNELS:+--channels "$$TOVO_UM_CHANNELS"} --out "$$TOVO_UM_OUT"
