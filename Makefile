# The four commands of the README. Each installs what is missing and builds what is stale.
BUILD ?= build
JOBS  ?= $(shell nproc)
MAKEFLAGS += --no-print-directory

.PHONY: deps build test demo run run-sim bench clean

deps:
	@bash scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

demo: build
	@bash scripts/demo.sh $(BUILD)

run: build
	$(BUILD)/ui/morvaup $(ARGS)

run-sim: build
	@bash scripts/run-sim.sh $(BUILD) $(MODEL)

bench: build
	@bash scripts/bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)
