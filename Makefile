# The two commands: `make test` and `make run`. Each installs what it needs first.
PRESET ?= release
BUILD := build/$(PRESET)
XVFB := xvfb-run -a -s "-screen 0 1280x1024x24"

.PHONY: all setup configure build test run bench bench-scale fuzz clean

all: build

setup:
	./scripts/setup

configure: setup
	cmake --preset $(PRESET)

build: configure
	cmake --build --preset $(PRESET)

test: build
	cd $(BUILD) && $(XVFB) ctest --output-on-failure -j2

run: build
	./scripts/demo $(BUILD)

bench: build
	./scripts/setup --bench
	./bench/run $(BUILD)

# Not part of bench: it builds sites of up to 100 million points and needs about 15 GB of disk.
bench-scale: build
	./scripts/setup --bench
	./bench/scale.sh $(BUILD)

fuzz: setup
	cmake --preset fuzz
	cmake --build --preset fuzz

clean:
	rm -rf build
