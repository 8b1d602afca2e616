# corvina: `make test` and `make demo` do all the set-up they need.
JOBS ?= 2
PREFIX_DIR := $(CURDIR)/build/wineprefix

.PHONY: all deps wine-prefix build build-native build-asan build-tsan build-win64 build-win32 package test demo bench fuzz \
        mutate coverage clean

all: build

deps:
	@bash scripts/install-deps.sh

wine-prefix: deps
	@bash scripts/setup-wine.sh $(PREFIX_DIR)

build-native: deps
	@cmake --preset native >/dev/null
	@cmake --build build/native -j $(JOBS)

build-asan: deps
	@cmake --preset native-asan >/dev/null
	@cmake --build build/native-asan -j $(JOBS)

build-tsan: deps
	@cmake --preset native-tsan >/dev/null
	@cmake --build --preset native-tsan -j $(JOBS)

build-win64: deps
	@cmake --preset win64 >/dev/null
	@cmake --build build/win64 -j $(JOBS)

build-win32: deps
	@cmake --preset win32 >/dev/null
	@cmake --build build/win32 -j $(JOBS)

build: build-native build-asan build-tsan build-win64 build-win32

# dist/corvina-<version>-x64/ and -x86/: the driver packages (scripts/package.sh).
package: build-win64 build-win32
	@bash scripts/package.sh

# The binary checks, the end-to-end run and the INF/INI checks read the packages.
test: build wine-prefix package
	@bash scripts/run-tests.sh

demo: build-win64 build-win32 wine-prefix
	@bash scripts/demo.sh $(DEMO_ARGS)

bench: build-native
	@bash scripts/bench.sh

fuzz: deps
	@bash scripts/fuzz.sh

# Mutants of the product against the native unit tests (scripts/mutate.py; its
# options in MUTATE_ARGS, e.g. "--sample 60 --seed 7" or "--resume").
mutate: build-native
	@python3 scripts/mutate.py $(MUTATE_ARGS)

# Line and branch coverage of the native unit tests: build/coverage/index.html.
coverage: deps
	@bash scripts/coverage.sh

clean:
	rm -rf build dist
