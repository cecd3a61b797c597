# The commands people type. Everything builds into build/ (the app: build/zorvik).
BUILD   ?= build
FLAVOUR ?= local
JOBS    ?= $(shell nproc)

.PHONY: all bootstrap build run test bench fuzz service-host install-desktop-entry package clean

all: build

bootstrap:
	@scripts/bootstrap

build: bootstrap
	@cmake -S . -B $(BUILD) -DZORVIK_FLAVOUR=$(FLAVOUR) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run

test: build
	@scripts/test

bench: build
	@scripts/bench

# The local stand-in of the service host, in the foreground on 127.0.0.1:8787
# (PORT=... for another port; SERVICE_HOST_TEST=1 adds the test control endpoint).
service-host: bootstrap
	@node service-host/server.mjs

# Bounded fuzzing runs of the host's parsers (not part of make test).
fuzz: build
	@scripts/fuzz

# Registers the app as the handler of zorvik:// and tsd-auth:// links for this user.
install-desktop-entry: build
	@scripts/install-desktop-entry

# The versioned, signed bundle of the built app in build/package/ (VERSION=... stamps another version).
package: build
	@packaging/linux/make-package --build $(BUILD) $(if $(VERSION),--version $(VERSION))

clean:
	rm -rf $(BUILD)
