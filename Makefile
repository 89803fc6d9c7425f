# Trevalune: `make run` builds and starts the application, `make test` builds
# and runs every test, `make test-sanitized` does the same in a build of its
# own with AddressSanitizer and UndefinedBehaviorSanitizer, `make bench` runs
# the benchmarks. Each installs what is missing first. `make install` installs the application with its desktop
# entry and project type under PREFIX.
BUILD ?= build
JOBS ?= $(shell nproc)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

PREFIX ?= /usr/local

SANITIZED_BUILD ?= build-asan

.PHONY: all deps configure build run test test-sanitized bench install clean

all: build

deps:
	@scripts/install-deps

# Both trees keep line tables (-g1), which is all that a backtrace or a
# sanitizer's finding needs; full debugging information doubled the time of
# compiling the controller. A tree for a debugger is configured with -g.
LINE_TABLES := -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"

$(BUILD)/CMakeCache.txt:
	@$(MAKE) --no-print-directory deps
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LINE_TABLES)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/src/trevalune

# A test gets up to three tries: one that talks to the JACK dummy server can
# fail to open its client on a loaded machine. A wrong result or a sanitizer
# finding fails every try.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --repeat until-pass:3

# Any finding of the sanitizers fails the test it happens in. The benchmarks
# are left out of this tree: they measure the optimised build. The tree is
# optimised at -O1, as the sanitizers' authors advise: it finds the same
# faults, and compiling the instrumented code at -O2 took half as long again.
SANITIZED_FLAGS := -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG"

test-sanitized: deps
	cmake -S . -B $(SANITIZED_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(SANITIZED_FLAGS) \
	      -DSANITIZE=address,undefined -DTREVALUNE_BENCHMARKS=OFF
	cmake --build $(SANITIZED_BUILD) -j $(JOBS)
	cd $(SANITIZED_BUILD) && ctest --output-on-failure -j $(JOBS) --repeat until-pass:3

bench: build
	bench/run $(BUILD)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)
	@if command -v update-desktop-database >/dev/null; then update-desktop-database $(PREFIX)/share/applications; fi
	@if command -v update-mime-database >/dev/null; then update-mime-database $(PREFIX)/share/mime; fi

clean:
	rm -rf $(BUILD)
