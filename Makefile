# corvina: `make test` and `make demo` do all the set-up they need.
JOBS ?= 2
PREFIX_DIR := $(CURDIR)/build/wineprefix

.PHONY: all deps wine-prefix build build-native build-asan build-tsan build-win64 build-win32 package test-packages analyze test demo \
        bench fuzz mutate coverage clean

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

# dist/corvina-<version>-x64/ and -x86/: the driver packages (scripts/package.sh)
# of the printers whose PPDs PPD="a.ppd b.ppd" names (default: the sample
# printer's), each linted first by the native corvina-ppd; LINT=warn packages
# despite lint errors; PROVIDER=, MANUFACTURER= and INF= override the INF's names.
# make's own LINT, the lint program of its built-in rules, is not this one.
ifeq ($(origin LINT),default)
LINT :=
endif
package: build-win64 build-win32
	@cmake --preset native >/dev/null
	@cmake --build build/native -j $(JOBS) --target corvina-ppd
	@PPD="$(PPD)" LINT="$(LINT)" PROVIDER="$(PROVIDER)" MANUFACTURER="$(MANUFACTURER)" INF="$(INF)" \
	  bash scripts/package.sh

# build/test-packages/: a family of two models and the families make package
# must refuse, made by scripts/package.sh, for the INF/INI checks.
test-packages: package
	@bash tests/wine/test-packages.sh build/test-packages

# clang-tidy with the checks of .clang-tidy over the product and tools sources,
# natively and for x86_64-w64-mingw32 (scripts/analyze.py); the compile
# commands come from configuring the builds. FILES="ppd/PpdReader.cpp ..."
# analyzes only those sources. make test runs it too.
analyze: deps
	@cmake --preset native >/dev/null
	@cmake --preset win64 >/dev/null
	@python3 scripts/analyze.py -j $(JOBS) $(FILES)

# The binary checks, the end-to-end run and the INF/INI checks read the packages.
test: build wine-prefix package test-packages
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
