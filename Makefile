# Trevalune: `make run` builds and starts the application, `make test` builds
# and runs every test, `make bench` runs the benchmarks. Each installs what is
# missing first.
BUILD ?= build
JOBS ?= $(shell nproc)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all deps configure build run test bench clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	@$(MAKE) --no-print-directory deps
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/src/trevalune

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	bench/run $(BUILD)

clean:
	rm -rf $(BUILD)
